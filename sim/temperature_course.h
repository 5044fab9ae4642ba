#pragma once
// How the simulated sensors' temperatures move over time: a daily swing around
// the value each sensor is set to, a little noise, and hot spots that keep
// rising. A pure function of the set value and the simulated time, so the same
// seed and time always give the same reading.

#include "protocol/module_limits.h"

#include <QList>
#include <QtGlobal>

#include <array>

namespace sim {

// One sensor that heats up steadily, as a failing bearing or a fire would.
struct HotSpot
{
    int channel = 0;
    int position = 0;
    double degreesPerHour = 0;
    double delaySeconds = 0; // simulated time before it starts to rise

    bool operator==(const HotSpot& other) const
    {
        return channel == other.channel && position == other.position &&
               degreesPerHour == other.degreesPerHour && delaySeconds == other.delaySeconds;
    }
};

struct TemperatureCourse
{
    // The sensors' measuring range; a moving temperature stays within it.
    static constexpr int LowestHundredths = -5500;
    static constexpr int HighestHundredths = 12500;
    static constexpr double DaySeconds = 24 * 3600;

    double swingDegrees = 0; // amplitude of the daily swing: set value +- this
    // Hours by which each channel's swing lags: with 0 it crosses the set
    // value rising at time 0 and peaks 6 h later.
    std::array<double, protocol::MaxChannelsPerModule> phaseHours{};
    double noiseDegrees = 0; // each reading lies within +- this of the smooth course
    QList<HotSpot> hotSpots;
    double timeScale = 1; // simulated seconds per real second
    quint32 seed = 1;     // picks the noise

    // Whether any temperature moves at all; when none does, the module reports
    // every sensor exactly as set, even outside the measuring range.
    bool moves() const { return swingDegrees != 0 || noiseDegrees != 0 || !hotSpots.isEmpty(); }

    // The reading, in hundredths, of a sensor set to `setHundredths`, after
    // `seconds` of simulated time: clamped to the measuring range and never
    // -0.01, whose register is the "no value" code.
    int hundredthsAt(int channel, int position, int setHundredths, double seconds) const;
};

} // namespace sim
