#pragma once
// A built form at another size: every control's geometry and font scaled by
// one factor from what they are at 100 %.
//
// At 100 % the widgets themselves hold the form's sizes. Leaving 100 %, the
// zoom records them (each control's geometry, each explicitly set font, the
// root's size and font) and scales from these records, so zooming back and
// forth never drifts; back at 100 % it restores them and forgets them. Code that
// places or creates controls in 100 % pixels runs inside an AtBase scope.
//
// Scaled are the controls placed by coordinates: the children of the root, of
// tab pages, group boxes and plain panels that have no layout. Widgets a layout
// or a Qt control places (a tab control's pages, a combo box's edit) follow
// their parents. Fonts follow the root's, except those set on a widget of its
// own, which are scaled one by one.

#include <QFont>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <optional>

namespace form {

class Zoom
{
public:
    // `root` holds the form at 100 % now; its size is the form's.
    explicit Zoom(QWidget* root);

    double factor() const { return m_factor; }
    // Scales the form to `factor` times its size at 100 %.
    void setFactor(double factor);
    // Leaves `widget` and what it holds at their sizes, at every zoom: for pages
    // whose layouts give some controls widths in pixels, too narrow for a
    // larger font. Given at 100 %.
    void leaveOut(QWidget* widget);
    // Runs after every change of scale, for sizes that follow rules of their own
    // (text fitted to its box).
    void setAfterScaling(std::function<void()> rule) { m_afterScaling = std::move(rule); }

    // While one lives the form's controls are at 100 % (the root keeps its size,
    // so a scroll area around it keeps its place); what is placed or created
    // meanwhile is taken as its 100 % size and scaled when the scope ends.
    class AtBase
    {
    public:
        explicit AtBase(Zoom& zoom);
        ~AtBase();
        AtBase(const AtBase&) = delete;
        AtBase& operator=(const AtBase&) = delete;

    private:
        Zoom& m_zoom;
        double m_factor;
    };

    // A rectangle at `factor`: its edges scaled and rounded, not its origin and
    // size, so that controls that do not overlap at 100 % do not overlap scaled.
    static QRect scaled(const QRect& base, double factor);
    // A font `factor` times as large: pixel sizes to the nearest whole pixel.
    static QFont scaled(const QFont& base, double factor);

private:
    struct Base
    {
        QPointer<QWidget> widget; // null once destroyed: the record is stale
        std::optional<QRect> geometry;
        std::optional<QFont> font;
    };

    // Records the widgets not recorded yet as they are now.
    void record();
    bool isLeftOut(const QWidget* w) const;
    void scaleControls(double factor);

    QWidget* m_root;
    QSize m_rootSize;
    QFont m_rootFont;
    double m_factor = 1.0;
    QHash<QWidget*, Base> m_bases; // only while not at 100 %
    QList<QPointer<QWidget>> m_leftOut;
    std::function<void()> m_afterScaling;
};

} // namespace form
