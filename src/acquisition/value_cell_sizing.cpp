#include "value_cell_sizing.h"

#include <algorithm>

namespace acquisition {

ColumnWidths columnWidths(const GridLayout& layout, int column, float formBoxWidth,
                          float formLabelWidth, float frameWidth)
{
    const float boxLeft = layout.elements.at(std::size_t(column * kRowsPerColumn)).boxLeft;
    const bool lastColumn = column + 1 >= layout.columns;
    const float roomEnd = lastColumn
                              ? layout.groupWidth - frameWidth
                              : layout.elements.at(std::size_t((column + 1) * kRowsPerColumn)).labelLeft;
    const float room = roomEnd - boxLeft;
    if (room >= formBoxWidth)
        return ColumnWidths{true, formBoxWidth, formLabelWidth};
    return ColumnWidths{false, room, std::min(formLabelWidth, kLabelOffset)};
}

std::optional<ValueFont> fitValueFont(int formPixelSize, int roomPixels,
                                      const std::function<int(const ValueFont&)>& textWidth)
{
    const auto fits = [&](const ValueFont& font) { return textWidth(font) <= roomPixels; };
    const ValueFont formFont{formPixelSize, 100};
    if (fits(formFont))
        return formFont;
    // The form's font already below the floor is not made smaller still.
    const int floorSize = std::min(formPixelSize, kMinValuePixelSize);
    if (roomPixels <= 0 || !fits(ValueFont{floorSize, kMinValueStretch}))
        return std::nullopt;
    for (int size = formPixelSize - 1; size >= floorSize; --size) {
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
