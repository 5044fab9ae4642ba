#pragma once
// The history of readings: an SQLite database "history.db" in the program's
// folder. Each store has its own connection, so stores in several threads never
// share one; use a store only in the thread that made it.

#include "reading.h"

#include "alarms/alarm_engine.h"

#include <QLatin1String>
#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class QSqlError;
class QSqlQuery;

namespace history {

inline constexpr QLatin1String kHistoryDbName("history.db");

// How long a statement waits for another connection's write lock (the headless
// reader's writer on the same file, say) before it fails with "database is locked".
inline constexpr int kBusyTimeoutMs = 5000;

// The readings of some positions of one channel in a time range (both ends included).
struct ReadingQuery
{
    int station = 0;
    int channel = 0;
    QVector<int> positions; // none: no readings
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

struct TimeRange
{
    qint64 firstMs = 0;
    qint64 lastMs = 0;
};

// The statement that selects the query's readings in time order (then
// position): the positions are in its text; station, channel, fromMs and toMs
// are bound to its four placeholders in that order.
QString readingsStatement(const ReadingQuery& query);

// The statement of firstReadingAtOrAfter: station, channel, position and the
// time are bound to its four placeholders in that order.
QString firstReadingStatement();

// The statement of newestReadingsAtOrBefore: the earliest and the latest time
// are bound to its two placeholders in that order.
QString newestReadingsStatement();

// How far back newestReadingsAtOrBefore looks by default: a sensor not read
// for a day has no reading "at" a time.
inline constexpr qint64 kNewestLookBackMs = 24LL * 3600 * 1000;

class HistoryStore
{
public:
    // Opens (creating if need be) the database at `path`. A store that cannot be
    // opened is off: ok() is false and errorText() says why.
    explicit HistoryStore(const QString& path, int busyTimeoutMs = kBusyTimeoutMs);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // The database's path in the program's folder.
    static QString pathIn(const QString& folder);

    // False once anything failed: the store is off and does nothing more.
    bool ok() const { return !m_off; }
    // The first failure: the file and SQLite's message. Empty while ok().
    QString errorText() const { return m_errorText; }
    QString path() const { return m_path; }

    // Writes the whole batch in one transaction, or nothing of it: false, and the
    // store off, when any step failed (a write lock held past the busy timeout,
    // a full disk), the batch rolled back. False when the store was off already.
    bool append(const QVector<Reading>& batch);

    // Hands each reading of the query to `row` in time order (then position),
    // one at a time, until `row` returns false. False when the query failed.
    bool forEachReading(const ReadingQuery& query, const std::function<bool(const Reading&)>& row);
    QVector<Reading> readings(const ReadingQuery& query);
    std::optional<qint64> countReadings(const ReadingQuery& query);

    // The sensor's first reading at or after `timeMs`, if any.
    std::optional<Reading> firstReadingAtOrAfter(int station, int channel, int position, qint64 timeMs);

    // The newest reading of each sensor read in [notBeforeMs, atMs], in
    // station, channel, position order; nullopt when the query failed.
    std::optional<QVector<Reading>> newestReadingsAtOrBefore(qint64 atMs, qint64 notBeforeMs);

    // The times of the oldest and the newest reading held; nullopt when there are none.
    std::optional<TimeRange> timeRange();

    // Deletes up to `maxRows` readings older than `beforeMs`: how many, or -1 on failure.
    int deleteOlderThan(qint64 beforeMs, int maxRows);

    // ---- The alarms' record (history_alarms.cpp)
    // Writes the events in one transaction: a start adds its alarm's row, an
    // end its end, reason and peak, an acknowledgement who and when. False,
    // and the store off, when it failed.
    bool recordAlarmNotices(const QVector<alarms::AlarmNotice>& notices);
    // Every alarm in force, then the `endedCount` that ended last, newest first; nullopt when the query
    // failed.
    std::optional<QVector<alarms::AlarmEntry>> recentAlarms(int endedCount);
    // The largest id ever recorded (0 for none): ids go on from it.
    std::optional<qint64> highestAlarmId();
    // Deletes the alarms that ended before `beforeMs` (kept as long as the readings): how many, or -1.
    int deleteAlarmsEndedBefore(qint64 beforeMs);

private:
    bool setUp();
    bool run(QSqlQuery& query, const char* what);
    bool fail(const char* what, const QSqlError& error);
    // The end of a write in a transaction: rolled back with its error, or committed (false when that fails).
    bool abandonWrite(const QSqlError& error);
    bool commitWrite();
    bool prepareRange(QSqlQuery& query, const QString& statement, const ReadingQuery& range);

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
    std::unique_ptr<QSqlQuery> m_insert; // prepared once, reused for every row
    bool m_off = false;
    QString m_errorText;
};

} // namespace history
