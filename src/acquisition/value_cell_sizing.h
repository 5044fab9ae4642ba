#pragma once
// Value cells in columns too narrow for the form's sizes. With many groups
// of several columns each, a column has less room than the form's box: the next
// column's labels would cover its values, and the last column's boxes would run
// past the group's frame. The cells keep the places the grid's layout gives them;
// only their widths give way, and a box too narrow for the form's font gets a
// smaller or narrower one. The window measures texts; this decides.

#include "grid_geometry.h"

#include <QString>
#include <functional>
#include <optional>

namespace acquisition {

// The widest reading a box is sized to show whole.
inline QString widestReading()
{
    return QStringLiteral("-55.00");
}

// Widths, in twips, of the boxes and labels of one column.
struct ColumnWidths
{
    bool fitFormSizes = true; // the form's widths fit and are kept
    float box = 0;        // may be 0 or less: the next column's labels start before this box
    float label = 0;
};

// The widths of the cells of `column` (0-based) in a group laid out by `layout`.
// A box has room up to the next column's labels, or, in the last column, up to
// the group's frame, `frameWidth` inside the group's right edge. Where the
// form's box fits, the form's widths stay (the form's label may reach into
// its own box). Otherwise the box takes the room it has and the label ends where
// its box begins.
ColumnWidths columnWidths(const GridLayout& layout, int column, float formBoxWidth,
                          float formLabelWidth, float frameWidth);

// A box's font: a pixel size and a stretch, in percent of the normal width.
struct ValueFont
{
    int pixelSize = 0;
    int stretch = 100;

    bool operator==(const ValueFont& other) const
    {
        return pixelSize == other.pixelSize && stretch == other.stretch;
    }
};

// Smaller or narrower than this, digits can no longer be told apart.
inline constexpr int kMinValuePixelSize = 8;
inline constexpr int kMinValueStretch = 65;
inline constexpr int kValueStretchStep = 5;

// The font in which widestReading() fits in `roomPixels`: the form's one when
// it fits; else the largest smaller size down to kMinValuePixelSize; else that
// size narrowed in steps down to kMinValueStretch. `textWidth` gives the width,
// in pixels, of widestReading() in a font. Nothing when no legible font fits.
std::optional<ValueFont> fitValueFont(int formPixelSize, int roomPixels,
                                      const std::function<int(const ValueFont&)>& textWidth);

} // namespace acquisition
