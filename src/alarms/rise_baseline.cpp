#include "rise_baseline.h"

#include <algorithm>

namespace alarms {

namespace {

qint64 slotOf(qint64 timeMs)
{
    return timeMs / BaselineSlotMs;
}

} // namespace

std::optional<EarlierValue> RiseBaselines::earlier(const Sensor& sensor, qint64 timeMs) const
{
    const auto found = m_kept.find(sensor);
    if (found == m_kept.end())
        return std::nullopt;
    const std::deque<EarlierValue>& kept = found->second;
    const auto first = std::find_if(kept.begin(), kept.end(),
                                    [&](const EarlierValue& v) { return v.timeMs >= timeMs - DayMs; });
    if (first == kept.end() || first->timeMs > timeMs)
        return std::nullopt;
    return *first;
}

void RiseBaselines::add(const SensorValue& value)
{
    if (!value.celsius)
        return;
    std::deque<EarlierValue>& kept = m_kept[value.sensor];
    if (!kept.empty() && value.timeMs < kept.back().timeMs)
        kept.clear();
    if (kept.empty() || slotOf(value.timeMs) > slotOf(kept.back().timeMs))
        kept.push_back({value.timeMs, *value.celsius});
    while (kept.front().timeMs < value.timeMs - DayMs)
        kept.pop_front();
}

int RiseBaselines::keptCount(const Sensor& sensor) const
{
    const auto found = m_kept.find(sensor);
    return found == m_kept.end() ? 0 : int(found->second.size());
}

} // namespace alarms
