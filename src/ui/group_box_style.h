#pragma once
// Group boxes with their caption on the top border line, as the form lays
// them out: a control placed 240 twips below a frame's top sits inside it.
// A proxy style set on the group boxes alone; a window-wide style sheet would
// do the same but makes every one of the thousands of value cells go through
// style-sheet matching, which multiplies the window's start-up time.

#include <QProxyStyle>

class GroupBoxStyle : public QProxyStyle
{
    Q_OBJECT
public:
    // One shared instance, owned by the application.
    static GroupBoxStyle* instance();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;

private:
    GroupBoxStyle();
};
