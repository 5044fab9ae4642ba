#pragma once
// A column of numbers beside a text box that stays level with its lines: each
// line of the gutter is as high as the line (the block) of the text it numbers,
// and the gutter scrolls with the text. Fonts that differ (a Chinese heading
// takes a taller line), a line that wraps, or a zoom cannot make them drift.

#include <QObject>

class QTextEdit;

class LineGutter : public QObject
{
    Q_OBJECT
public:
    LineGutter(QTextEdit* gutter, QTextEdit* text, QObject* parent = nullptr);

    // Levels the gutter's lines with the text's; after either was given new text.
    void align();

private:
    QTextEdit* m_gutter;
    QTextEdit* m_text;
    bool m_aligning = false;
};
