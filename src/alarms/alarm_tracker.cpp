#include "alarm_tracker.h"

namespace alarms {

QList<AlarmEvent> AlarmTracker::feed(const SensorValue& value, const std::optional<EarlierValue>& earlier)
{
    QList<AlarmEvent> events;
    if (!value.celsius)
        return events;
    const Limit broken = brokenLimit(value, earlier, m_limits);
    const auto active = m_active.find(value.sensor);
    if (active != m_active.end()) {
        if (active->second.limit == broken)
            return events;
        events.append({AlarmEvent::Ended, active->second, value.timeMs, *value.celsius});
        m_active.erase(active);
    }
    if (broken != Limit::None) {
        const Alarm alarm{value.sensor, broken, value.timeMs, *value.celsius};
        m_active.emplace(value.sensor, alarm);
        events.append({AlarmEvent::Began, alarm, value.timeMs, *value.celsius});
    }
    return events;
}

QList<Alarm> AlarmTracker::activeAlarms() const
{
    QList<Alarm> alarms;
    for (const auto& [sensor, alarm] : m_active)
        alarms.append(alarm);
    return alarms;
}

} // namespace alarms
