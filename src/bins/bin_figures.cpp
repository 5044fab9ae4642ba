#include "bin_figures.h"

#include <cmath>

namespace bins {

void SensorReadings::add(const history::Reading& r)
{
    auto it = m_readings.find(key(r.station, r.channel, r.position));
    if (it == m_readings.end())
        m_readings.insert(key(r.station, r.channel, r.position), r);
    else if (it->timeMs <= r.timeMs)
        *it = r;
}

void SensorReadings::add(const QVector<history::Reading>& readings)
{
    for (const history::Reading& r : readings)
        add(r);
}

const history::Reading* SensorReadings::find(int station, int channel, int position) const
{
    auto it = m_readings.constFind(key(station, channel, position));
    return it == m_readings.cend() ? nullptr : &*it;
}

void Figures::add(double celsius, int cable, int layer)
{
    sumHundredths += std::llround(celsius * 100);
    ++values;
    average = double(sumHundredths) / 100 / values;
    if (!highest || celsius > highest->celsius)
        highest = Extreme{celsius, cable, layer};
    if (!lowest || celsius < lowest->celsius)
        lowest = Extreme{celsius, cable, layer};
}

QVector<history::Reading> BinView::faults() const
{
    QVector<history::Reading> result;
    for (const QVector<Cell>& row : cells) {
        for (const Cell& cell : row) {
            if (cell.inFault())
                result.append(*cell.reading);
        }
    }
    return result;
}

BinView binView(const Bin& bin, const SensorReadings& readings)
{
    BinView view;
    view.bin = bin;
    const int layers = bin.layers();
    const int cables = int(bin.cables.size());
    view.cells = QVector<QVector<Cell>>(layers, QVector<Cell>(cables));
    view.layers = QVector<Figures>(layers);
    view.cables = QVector<Figures>(cables);
    for (int layer = 1; layer <= layers; ++layer) {
        for (int c = 0; c < cables; ++c) {
            const Cable& cable = bin.cables[c];
            const int position = cable.positionAt(layer);
            if (position == 0)
                continue;
            Cell& cell = view.cells[layer - 1][c];
            cell.hasSensor = true;
            const history::Reading* r = readings.find(cable.station, cable.channel, position);
            if (!r)
                continue;
            cell.reading = *r;
            view.newestMs = std::max(view.newestMs, r->timeMs);
            if (!r->celsius) {
                ++view.layers[layer - 1].faults;
                ++view.cables[c].faults;
                ++view.whole.faults;
                continue;
            }
            view.layers[layer - 1].add(*r->celsius, c, layer);
            view.cables[c].add(*r->celsius, c, layer);
            view.whole.add(*r->celsius, c, layer);
        }
    }
    return view;
}

BinComparison compareReadings(const BinView& now, const BinView& before, double riseLimit)
{
    BinComparison result;
    const int layers = now.layerCount();
    const int cables = int(now.bin.cables.size());
    result.change = QVector<QVector<std::optional<double>>>(layers, QVector<std::optional<double>>(cables));
    result.risen = QVector<QVector<bool>>(layers, QVector<bool>(cables, false));
    result.layerAverageChange = QVector<std::optional<double>>(layers);
    for (int l = 0; l < layers && l < before.layerCount(); ++l) {
        for (int c = 0; c < cables && c < before.cells[l].size(); ++c) {
            const Cell& a = now.cells[l][c];
            const Cell& b = before.cells[l][c];
            if (!a.hasValue() || !b.hasValue())
                continue;
            const double change = *a.reading->celsius - *b.reading->celsius;
            result.change[l][c] = change;
            if (change > riseLimit) {
                result.risen[l][c] = true;
                ++result.risenCount;
            }
        }
        if (now.layers[l].average && before.layers[l].average)
            result.layerAverageChange[l] = *now.layers[l].average - *before.layers[l].average;
    }
    if (now.whole.average && before.whole.average)
        result.averageChange = *now.whole.average - *before.whole.average;
    if (now.whole.highest && before.whole.highest)
        result.highestChange = now.whole.highest->celsius - before.whole.highest->celsius;
    return result;
}

} // namespace bins
