#include "grid_geometry.h"

#include "protocol/module_limits.h"

#include <algorithm>

namespace acquisition {

float formBoxTop(int channel)
{
    switch (channel) {
    case 4:
    case 9:
        return 360.0f;
    case 7:
        return 240.0f;
    default:
        return 300.0f;
    }
}

GridElement GridLayout::element(int channel, int index) const
{
    GridElement e = elements.at(std::size_t(index));
    if (index == 0)
        e.boxTop = formBoxTop(channel);
    return e;
}

GridLayout arrangeValueGrid(int channelCount, int sensorsPerChannel, float frameWidth, float groupHeight)
{
    GridLayout layout;
    // One group per channel of the module. A group gets no more boxes than a channel
    // has positions, which is also the largest sensor count the settings can be saved
    // with: a hand-edited larger count would otherwise build hundreds of thousands of widgets.
    const int n = std::min(channelCount, protocol::MaxChannelsPerModule);
    const int sensors = std::min(sensorsPerChannel, protocol::MaxPositionsPerChannel);
    layout.channelCount = n;

    // With no group shown the columns still need a width: take the ten-group one
    // the form is laid out for.
    layout.groupWidth = (frameWidth - kGroupMargin) / float(protocol::MaxChannelsPerModule);
    if (n > 0) {
        const float width = (frameWidth - kGroupMargin) / float(n);
        const float gap = kGroupMargin / float(n + 1);
        layout.groupWidth = width;
        float left = gap;
        for (int k = 0; k < n; ++k) {
            if (k > 0)
                left = left + width + gap; // accumulated, as the groups are placed one after another
            layout.groups.push_back(GridGroup{left, kGroupTop, width, groupHeight});
        }
    }

    // For one sensor or fewer no element beyond 0 exists, so columns and row height
    // are not used; keep them finite and positive anyway.
    layout.columns = std::max(1, (sensors - 1) / kRowsPerColumn + 1);
    if (sensors >= kRowsPerColumn)
        layout.rowHeight = groupHeight / kRowDivisorFull;
    else
        layout.rowHeight = groupHeight / float(std::max(sensors, 0) + 1);

    const int elementCount = std::max(sensors, 1);
    layout.elements.reserve(std::size_t(elementCount));
    layout.elements.push_back(GridElement{kBoxLeft, 300.0f, kLabelLeft, kLabelTop, QStringLiteral("1#")});
    for (int i = 1; i < elementCount; ++i) {
        const int row = i % kRowsPerColumn;
        const int column = i / kRowsPerColumn;
        const float top = layout.rowHeight * float(row) + layout.rowHeight;
        const float left = layout.groupWidth / float(layout.columns) * float(column) + kBoxLeft;
        layout.elements.push_back(
            GridElement{left, top, left - kLabelOffset, top, QString::number(i + 1) + QLatin1Char('#')});
    }
    return layout;
}

} // namespace acquisition
