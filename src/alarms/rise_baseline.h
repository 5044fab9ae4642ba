#pragma once
// Each sensor's readings of the last day, thinned to one per ten minutes, so
// that a rise can be judged against the earliest of them without asking the
// history store for every reading.

#include "alarm_rule.h"

#include <deque>
#include <map>
#include <optional>

namespace alarms {

// A sensor keeps the first reading of each slot this long: a day is at most 145 of them.
inline constexpr qint64 BaselineSlotMs = 10 * 60 * 1000;

class RiseBaselines
{
public:
    // The sensor's earliest kept reading from `timeMs` - DayMs up to `timeMs`
    // (both ends included): the `earlier` value brokenLimit judges a rise with.
    std::optional<EarlierValue> earlier(const Sensor& sensor, qint64 timeMs) const;

    // Keeps the reading when it has a temperature and is the sensor's first in
    // its slot, and forgets the sensor's readings more than a day older than
    // it. A reading older than the sensor's last one kept (the clock was set
    // back) starts the sensor afresh: the readings kept lie in the clock's future.
    void add(const SensorValue& value);

    int keptCount(const Sensor& sensor) const;
    void clear() { m_kept.clear(); }

private:
    std::map<Sensor, std::deque<EarlierValue>> m_kept; // per sensor, oldest first
};

} // namespace alarms
