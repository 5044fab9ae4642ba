#pragma once
// How alarms start and end beyond the limits themselves: the warning level's
// limits, how long a condition must hold before its alarm starts, the margin
// a value must come back by, what makes a sensor faulty and a station silent,
// and when something no longer read stops being in alarm. The defaults start
// an alarm on the first reading past a limit and end it on the first inside.

#include "alarm_limits.h"

namespace alarms {

// A condition must hold for `readings` readings in a row, or for `minutes`
// since its first reading, before its alarm starts; 0 leaves either unused,
// and with both unused the first reading starts it.
struct Persistence
{
    int readings = 0;
    int minutes = 0;

    bool reached(int heldReadings, qint64 heldMs) const
    {
        if (readings == 0 && minutes == 0)
            return heldReadings >= 1;
        return (readings > 0 && heldReadings >= readings) ||
               (minutes > 0 && heldMs >= qint64(minutes) * 60 * 1000);
    }
    bool isSet() const { return readings > 0 || minutes > 0; }
    friend bool operator==(const Persistence& a, const Persistence& b)
    {
        return a.readings == b.readings && a.minutes == b.minutes;
    }
};

// The most readings or minutes a persistence, and rounds a count, may take.
inline constexpr int MaxPersistReadings = 1000;
inline constexpr int MaxPersistMinutes = 7 * 24 * 60;
inline constexpr int MaxRounds = 1000;
// The largest hysteresis margin, °C.
inline constexpr double MaxMarginCelsius = 50;

// The value a sensor reports before its first conversion after power-on.
inline constexpr double PowerOnCelsius = 85.0;

struct AlarmRules
{
    AlarmLimits warning;          // 预警: the same kinds as the alarm level's limits
    Persistence limitPersistence; // high and low, both levels
    Persistence risePersistence;  // rise, both levels
    Persistence faultPersistence; // a sensor in fault
    double marginCelsius = 0;     // a high or low alarm ends only this far back inside
    int powerOnRepeats = 3;       // 85.00 this many readings in a row is a fault; 0: never
    int silentRounds = 3;         // a station that answered nothing this many rounds; 0: never
    int goneRounds = 3;           // not read this many rounds: its alarms end as "不再读取"

    friend bool operator==(const AlarmRules& a, const AlarmRules& b)
    {
        return a.warning == b.warning && a.limitPersistence == b.limitPersistence &&
               a.risePersistence == b.risePersistence && a.faultPersistence == b.faultPersistence &&
               a.marginCelsius == b.marginCelsius && a.powerOnRepeats == b.powerOnRepeats &&
               a.silentRounds == b.silentRounds && a.goneRounds == b.goneRounds;
    }
};

} // namespace alarms
