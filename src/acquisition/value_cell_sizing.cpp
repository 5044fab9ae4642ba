#include "value_cell_sizing.h"

#include <algorithm>

namespace acquisition {

ColumnWidths columnWidths(const GridLayout& layout, int column, float designedBoxWidth,
                          float designedLabelWidth, float frameWidth)
{
    const float boxLeft = layout.elements.at(std::size_t(column * kRowsPerColumn)).boxLeft;
    const bool lastColumn = column + 1 >= layout.columns;
    const float roomEnd = lastColumn
                              ? layout.groupWidth - frameWidth
                              : layout.elements.at(std::size_t((column + 1) * kRowsPerColumn)).labelLeft;
    const float room = roomEnd - boxLeft;
    if (room >= designedBoxWidth)
        return ColumnWidths{true, designedBoxWidth, designedLabelWidth};
    return ColumnWidths{false, room, std::min(designedLabelWidth, kLabelOffset)};
}

std::optional<ValueFont> fitValueFont(int designedPixelSize, int roomPixels,
                                      const std::function<int(const ValueFont&)>& textWidth)
{
    const auto fits = [&](const ValueFont& font) { return textWidth(font) <= roomPixels; };
    const ValueFont designed{designedPixelSize, 100};
    if (fits(designed))
        return designed;
    // A designed font already below the floor is not made smaller still.
    const int floorSize = std::min(designedPixelSize, kMinValuePixelSize);
    if (roomPixels <= 0 || !fits(ValueFont{floorSize, kMinValueStretch}))
        return std::nullopt;
    for (int size = designedPixelSize - 1; size >= floorSize; --size) {
        if (fits(ValueFont{size, 100}))
            return ValueFont{size, 100};
    }
    for (int stretch = 100 - kValueStretchStep; stretch > kMinValueStretch; stretch -= kValueStretchStep) {
        if (fits(ValueFont{floorSize, stretch}))
            return ValueFont{floorSize, stretch};
    }
    return ValueFont{floorSize, kMinValueStretch};
}

} // namespace acquisition
