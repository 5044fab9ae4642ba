#include "value_cell_font.h"

#include "acquisition/value_cell_sizing.h"

#include <QFontInfo>
#include <QTextLayout>

namespace {
// A line edit keeps one pixel after the text for the cursor.
constexpr int LineEditCursorWidth = 1;

QFont valueFont(const QFont& formFont, const acquisition::ValueFont& font)
{
    QFont changed = formFont;
    changed.setPixelSize(font.pixelSize);
    if (font.stretch != 100)
        changed.setStretch(font.stretch);
    return changed;
}

// The widest reading's width in `font`, laid out as a line edit lays out its text.
int readingWidth(const QFont& font)
{
    QTextLayout layout(acquisition::widestReading(), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return qRound(line.naturalTextWidth());
}
} // namespace

std::optional<QFont> fittedValueFont(const QFont& formFont, int boxWidth)
{
    const std::optional<acquisition::ValueFont> font = acquisition::fitValueFont(
        QFontInfo(formFont).pixelSize(), boxWidth - LineEditCursorWidth,
        [&](const acquisition::ValueFont& f) { return readingWidth(valueFont(formFont, f)); });
    if (!font)
        return std::nullopt;
    return valueFont(formFont, *font);
}
