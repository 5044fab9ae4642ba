#pragma once
// The alarms in force, sensor by sensor: fed every reading, it tells when an
// alarm begins and ends, for a list of alarms, and whether a sensor is in
// alarm, for the value grid.

#include "alarm_rule.h"

#include <QList>
#include <map>

namespace alarms {

struct Alarm
{
    Sensor sensor;
    Limit limit = Limit::None;
    qint64 sinceMs = 0; // the time of the reading that broke the limit
    double celsius = 0; // that reading's value
};

struct AlarmEvent
{
    enum Kind { Began, Ended };
    Kind kind = Began;
    Alarm alarm;        // as it began
    qint64 timeMs = 0;  // the reading that began or ended it
    double celsius = 0; // that reading's value
};

class AlarmTracker
{
public:
    // New limits judge the readings fed from now on; alarms in force stay until then.
    void setLimits(const AlarmLimits& limits) { m_limits = limits; }
    const AlarmLimits& limits() const { return m_limits; }

    // Judges the reading (with the sensor's earlier value of the last day, see
    // brokenLimit) and returns what changed: an alarm begun, one ended, or an
    // alarm of one limit ended and one of another begun, in that order. A
    // reading without a temperature changes nothing: the sensor's alarm, if
    // any, stays until a temperature is back inside the limits.
    QList<AlarmEvent> feed(const SensorValue& value, const std::optional<EarlierValue>& earlier);

    bool inAlarm(const Sensor& sensor) const { return m_active.count(sensor) != 0; }
    // The alarms in force, ordered by station, channel and position.
    QList<Alarm> activeAlarms() const;
    // Forgets every alarm without reporting them ended (a new installation, a cleared list).
    void clear() { m_active.clear(); }

private:
    AlarmLimits m_limits;
    std::map<Sensor, Alarm> m_active;
};

} // namespace alarms
