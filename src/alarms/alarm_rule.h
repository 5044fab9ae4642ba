#pragma once
// Which alarm limit a sensor's value breaks, if any.

#include "alarm_limits.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace alarms {

// A sensor: the module's station, the channel and the position on its bus.
struct Sensor
{
    int station = 0;
    int channel = 0;
    int position = 0;

    friend bool operator==(const Sensor& a, const Sensor& b)
    {
        return a.station == b.station && a.channel == b.channel && a.position == b.position;
    }
    friend bool operator<(const Sensor& a, const Sensor& b)
    {
        if (a.station != b.station)
            return a.station < b.station;
        if (a.channel != b.channel)
            return a.channel < b.channel;
        return a.position < b.position;
    }
};

// A sensor's reading: no temperature for "未接线", "未识别" and no value.
struct SensorValue
{
    Sensor sensor;
    qint64 timeMs = 0; // UTC, ms since the epoch
    std::optional<double> celsius;
};

// The sensor's earliest reading of the last day that had a temperature, with its time.
struct EarlierValue
{
    qint64 timeMs = 0;
    double celsius = 0;
};

enum class Limit {
    None,
    High, // above the high limit in force on its channel
    Low,  // below the low limit
    Rise, // rose faster than the rise limit, in °C per day
};

// "高温", "低温", "温升" for a list of alarms; empty for None.
QString limitText(Limit limit);

// A rise is judged only over at least this long: over a shorter span a small
// wobble of the reading, scaled to a day, would look like a steep rise.
inline constexpr qint64 MinRiseSpanMs = 60 * 60 * 1000;
inline constexpr qint64 DayMs = 24 * 60 * 60 * 1000;

// The limit `value` breaks: above the high limit, below the low one (a value
// on a limit is inside), else a rise since `earlier` that, scaled to a day,
// is above the rise limit; earlier must be at least MinRiseSpanMs before.
// A value without a temperature breaks none.
Limit brokenLimit(const SensorValue& value, const std::optional<EarlierValue>& earlier,
                  const AlarmLimits& limits);

} // namespace alarms
