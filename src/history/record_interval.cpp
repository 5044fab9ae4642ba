#include "record_interval.h"

namespace history {

namespace {
// Station 0..255, channel and position well below 2^12 each.
quint32 sensorKey(const Reading& r)
{
    return quint32(r.station & 0xFF) << 24 | quint32(r.channel & 0xFFF) << 12 | quint32(r.position & 0xFFF);
}
} // namespace

bool RecordInterval::admit(const Reading& reading)
{
    const quint32 key = sensorKey(reading);
    const auto last = m_lastRecordedMs.constFind(key);
    if (last != m_lastRecordedMs.cend() && reading.timeMs >= *last && reading.timeMs - *last < m_intervalMs)
        return false;
    m_lastRecordedMs.insert(key, reading.timeMs);
    return true;
}

QVector<Reading> RecordInterval::filter(const QVector<Reading>& batch)
{
    QVector<Reading> kept;
    kept.reserve(batch.size());
    for (const Reading& reading : batch) {
        if (admit(reading))
            kept.append(reading);
    }
    return kept;
}

} // namespace history
