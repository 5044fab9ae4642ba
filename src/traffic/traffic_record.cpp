#include "traffic_record.h"

#include "config/settings_file.h"
#include "protocol/hex_text.h"

#include <QDateTime>
#include <algorithm>

namespace traffic {

TrafficRing::TrafficRing(int capacity) : m_slots(std::size_t(std::max(capacity, 1))) {}

const TrafficEntry& TrafficRing::at(int index) const
{
    return m_slots[(m_first + quint64(index)) % m_slots.size()];
}

quint64 TrafficRing::append(TrafficEntry entry)
{
    const quint64 sequence = m_next++;
    m_slots[sequence % m_slots.size()] = std::move(entry);
    if (m_next - m_first > m_slots.size())
        ++m_first;
    return sequence;
}

TrafficEntry* TrafficRing::find(quint64 sequence)
{
    if (sequence < m_first || sequence >= m_next)
        return nullptr;
    return &m_slots[sequence % m_slots.size()];
}

QString entryLine(const TrafficEntry& entry)
{
    const QString time =
        QDateTime::fromMSecsSinceEpoch(entry.timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QString framing = entry.framing.isEmpty() ? QString() : QLatin1Char(' ') + entry.framing;
    return time + QStringLiteral("  ") + directionText(entry.direction) + framing + QStringLiteral("  ") +
           protocol::spacedHex(entry.bytes) + QStringLiteral("  ") + verdictText(entry.verdict);
}

QByteArray recordText(const TrafficRing& record)
{
    QByteArray text;
    for (int i = 0; i < record.size(); ++i)
        text += entryLine(record.at(i)).toUtf8() + "\r\n";
    return text;
}

bool saveRecord(const QString& path, const TrafficRing& record)
{
    return config::saveWholeFile(path, recordText(record));
}

} // namespace traffic
