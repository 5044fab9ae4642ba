#include "bin_layout.h"

#include <QMap>
#include <algorithm>
#include <cstdlib>

namespace bins {

namespace {

constexpr double DefaultCableSpacing = 2.0; // metres between the default map's cables

} // namespace

int Cable::layers() const
{
    return std::abs(bottomPosition - topPosition) + 1;
}

int Cable::positionAt(int layer) const
{
    if (layer < 1 || layer > layers())
        return 0;
    return topPosition <= bottomPosition ? topPosition + layer - 1 : topPosition - layer + 1;
}

int Cable::layerOf(int position) const
{
    const int layer = topPosition <= bottomPosition ? position - topPosition + 1 : topPosition - position + 1;
    return layer >= 1 && layer <= layers() ? layer : 0;
}

int Bin::layers() const
{
    int most = 0;
    for (const Cable& cable : cables)
        most = std::max(most, cable.layers());
    return most;
}

const Bin* BinLayout::find(const QString& name) const
{
    for (const Bin& bin : bins) {
        if (bin.name == name)
            return &bin;
    }
    return nullptr;
}

Bin defaultBin(int station, int channels, int positions)
{
    Bin bin;
    bin.name = QStringLiteral("%1号站").arg(station);
    bin.width = DefaultCableSpacing * std::max(channels, 1);
    bin.depth = DefaultCableSpacing;
    for (int channel = 1; channel <= channels; ++channel) {
        Cable cable;
        cable.number = channel;
        cable.station = station;
        cable.channel = channel;
        cable.x = DefaultCableSpacing * (channel - 0.5);
        cable.y = DefaultCableSpacing / 2;
        cable.topPosition = 1;
        cable.bottomPosition = std::max(positions, 1);
        bin.cables.append(cable);
    }
    return bin;
}

BinLayout defaultLayout(const QVector<history::Reading>& readings)
{
    struct Extent
    {
        int channels = 0;
        int positions = 0;
    };
    QMap<int, Extent> stations; // in station order
    for (const history::Reading& r : readings) {
        Extent& extent = stations[r.station];
        extent.channels = std::max(extent.channels, r.channel);
        extent.positions = std::max(extent.positions, r.position);
    }
    BinLayout layout;
    for (auto it = stations.cbegin(); it != stations.cend(); ++it)
        layout.bins.append(defaultBin(it.key(), it->channels, it->positions));
    return layout;
}

} // namespace bins
