#pragma once
// The reader's alarms: the alarm engine fed each channel's records and the end
// of each round; every alarm event comes out of noticeReady.

#include "alarms/alarm_engine.h"
#include "site/site_record.h"

#include <QObject>

namespace reader {

class AlarmWatch : public QObject
{
    Q_OBJECT
public:
    AlarmWatch(const alarms::AlarmLimits& limits, const alarms::AlarmRules& rules, const QString& site,
               QObject* parent = nullptr);

    // The alarms in force of the record (see AlarmEngine::restore).
    void restore(const QList<alarms::AlarmEntry>& active, qint64 highestId);
    // A channel's readings, or its failure: a channel without readings counts towards its station's silence.
    void takeChannel(const site::ChannelRecords& records);
    void roundEnded(qint64 timeMs);

    const alarms::AlarmEngine& engine() const { return m_engine; }

Q_SIGNALS:
    void noticeReady(const alarms::AlarmNotice& notice);

private:
    void tell(const QList<alarms::AlarmNotice>& notices);

    alarms::AlarmEngine m_engine;
};

} // namespace reader
