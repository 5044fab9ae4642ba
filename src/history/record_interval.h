#pragma once
// Which readings go into the history: per sensor at most one in every interval.
// The grid still shows every reading; only the history is thinned.

#include "reading.h"

#include <QHash>
#include <QVector>

namespace history {

class RecordInterval
{
public:
    // `intervalMs` 0 records every reading.
    explicit RecordInterval(qint64 intervalMs) : m_intervalMs(intervalMs) {}

    // Whether the reading is recorded: when none was recorded for its sensor
    // (station, channel, position) in the `intervalMs` before its time. A
    // reading from before the last recorded one (the clock was set back) is
    // recorded and starts the sensor's interval afresh.
    bool admit(const Reading& reading);

    // The readings of `batch` that admit() lets through, in their order.
    QVector<Reading> filter(const QVector<Reading>& batch);

private:
    qint64 m_intervalMs;
    QHash<quint32, qint64> m_lastRecordedMs; // by sensor key
};

} // namespace history
