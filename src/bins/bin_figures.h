#pragma once
// A bin's reading laid out by layer and cable, with each layer's and the whole
// bin's highest, lowest and average, and the comparison of two readings. Sensors
// in fault (未接线, 未识别, 无数值) are shown apart and left out of every figure.

#include "bin_layout.h"

#include <QHash>
#include <QVector>
#include <optional>

namespace bins {

// The newest reading of each sensor.
class SensorReadings
{
public:
    // Keeps `r` unless the sensor has a newer reading already.
    void add(const history::Reading& r);
    void add(const QVector<history::Reading>& readings);
    const history::Reading* find(int station, int channel, int position) const;

private:
    static quint64 key(int station, int channel, int position)
    {
        return (quint64(quint32(station)) << 32) | (quint64(quint16(channel)) << 16) | quint64(quint16(position));
    }
    QHash<quint64, history::Reading> m_readings;
};

struct Cell
{
    bool hasSensor = false;                 // the cable reaches the layer
    std::optional<history::Reading> reading; // none: no reading of the sensor yet

    bool hasValue() const { return reading && reading->celsius.has_value(); }
    bool inFault() const { return reading && !reading->celsius.has_value(); }
};

// Where a highest or lowest value is: its cable (index in the bin) and layer (1-based).
struct Extreme
{
    double celsius = 0;
    int cable = 0;
    int layer = 0;
};

struct Figures
{
    int values = 0; // the sensors with a value
    int faults = 0; // the sensors in fault
    std::optional<Extreme> highest;
    std::optional<Extreme> lowest;
    std::optional<double> average;
    qint64 sumHundredths = 0; // the values are hundredths of a degree: their sum is exact

    void add(double celsius, int cable, int layer);
};

struct BinView
{
    Bin bin;
    QVector<QVector<Cell>> cells; // [layer - 1][cable]
    QVector<Figures> layers;      // [layer - 1]
    QVector<Figures> cables;      // [cable]
    Figures whole;
    qint64 newestMs = 0; // the newest reading's time, 0 without readings

    int layerCount() const { return int(cells.size()); }
    QVector<history::Reading> faults() const; // the sensors in fault, by layer then cable
};

BinView binView(const Bin& bin, const SensorReadings& readings);

// Two readings of a bin (the same map): each point's change, each layer's
// average's change, and the points that rose more than `riseLimit` °C.
struct BinComparison
{
    QVector<QVector<std::optional<double>>> change; // [layer - 1][cable]; none unless both have a value
    QVector<QVector<bool>> risen;                   // change > riseLimit
    QVector<std::optional<double>> layerAverageChange;
    std::optional<double> averageChange;
    std::optional<double> highestChange;
    int risenCount = 0;
};

BinComparison compareReadings(const BinView& now, const BinView& before, double riseLimit);

} // namespace bins
