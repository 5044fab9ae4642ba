#include "alarm_watch.h"

namespace reader {

AlarmWatch::AlarmWatch(const alarms::AlarmLimits& limits, const alarms::AlarmRules& rules,
                       const QString& site, QObject* parent)
    : QObject(parent)
{
    m_engine.setLimits(limits, rules);
    m_engine.setSite(site);
}

void AlarmWatch::restore(const QList<alarms::AlarmEntry>& active, qint64 highestId)
{
    m_engine.restore(active, highestId);
}

void AlarmWatch::takeChannel(const site::ChannelRecords& records)
{
    for (const history::Reading& reading : records.readings)
        tell(m_engine.feed(history::alarmReading(reading)));
    if (records.readings.isEmpty() && records.failure)
        m_engine.channelUnanswered(records.failure->station, records.failure->timeMs);
}

void AlarmWatch::roundEnded(qint64 timeMs)
{
    tell(m_engine.roundEnded(timeMs));
}

void AlarmWatch::tell(const QList<alarms::AlarmNotice>& notices)
{
    for (const alarms::AlarmNotice& notice : notices)
        Q_EMIT noticeReady(notice);
}

} // namespace reader
