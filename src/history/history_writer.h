#pragma once
// Writing the history off the thread that paces the line: the caller hands over
// a batch of readings (a pass, or a single reading) and never waits; a thread of
// the history's own writes it.

#include "history_settings.h"
#include "history_store.h"
#include "reading.h"
#include "record_interval.h"

#include <QObject>
#include <QThread>
#include <QVector>
#include <deque>
#include <memory>

class QTimer;

namespace history {

// Rows deleted by one retention step; small enough that a batch waiting behind
// it is written within a few tens of milliseconds.
inline constexpr int kRetentionChunkRows = 2000;
inline constexpr qint64 kRetentionPeriodMs = 3600 * 1000;

// How the writer waits out a database it cannot use.
struct WriterOptions
{
    int busyTimeoutMs = kBusyTimeoutMs;
    // After a failed write the next try comes this long after, then twice as long each time up to
    // lastRetryMs.
    int firstRetryMs = 1000;
    int lastRetryMs = 30000;
    // Readings kept for the next try; beyond it the oldest are dropped (and counted). About 5 MB;
    // 10 channels of 40 sensors at one reading a minute fill it in four hours.
    qsizetype maxPendingRows = 100000;
};

// Does the writing in whatever thread it lives in, with a store (and so a
// database connection) of its own, made by open(). A write that fails keeps its
// readings; they are tried again, in order, with the next batch and by a timer
// that backs off, each try with the store opened afresh.
class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    HistoryWriter(const QString& databasePath, const HistorySettings& settings,
                  const WriterOptions& options = {});
    ~HistoryWriter() override;

    // Opens the store and starts deleting readings older than the retention.
    void open();
    // Records the readings of `batch` that the record interval admits, in one
    // transaction, behind any still waiting; starts retention when its hour has come.
    void write(const QVector<Reading>& batch);
    // Records alarm events behind what waits; kept and tried again like the readings.
    void writeAlarms(const QVector<alarms::AlarmNotice>& notices);
    // Tries once more to write what waits, then closes the store: the readings
    // that never reached the database (still waiting or dropped since the last
    // recovery), 0 when none.
    qint64 close();

Q_SIGNALS:
    // The database cannot be opened or written: said once until it recovers.
    void failed(const QString& text);
    // Everything kept since the failure is written: `droppedRows` readings went
    // meanwhile because more than maxPendingRows waited.
    void recovered(qint64 droppedRows);
    // The readings of a batch that were written (those the record interval admitted), when any.
    void recorded(const QVector<history::Reading>& readings);

private:
    void keep(const QVector<Reading>& readings);
    // Opens the store if need be and writes the waiting batches, oldest first.
    void writePending();
    void writeAgain();
    void failedNow(const QString& text);
    void retentionStep();

    QString m_path;
    RecordInterval m_interval;
    qint64 m_retentionMs;
    WriterOptions m_options;
    std::unique_ptr<HistoryStore> m_store;
    std::deque<QVector<Reading>> m_pending; // admitted batches not yet written, oldest first
    QVector<alarms::AlarmNotice> m_pendingAlarms; // alarm events not yet written, oldest first
    qint64 m_pendingRows = 0;
    qint64 m_droppedRows = 0; // since the last recovery
    bool m_failing = false;
    bool m_writeAgainQueued = false;
    QTimer* m_retryTimer;
    int m_retryDelayMs;
    qint64 m_nextRetentionMs = 0;
    bool m_retentionRunning = false;
};

// The text that says readings never reached the database.
QString lostReadingsText(const QString& databasePath, qint64 rows);
// The text that says the writer recovered, with the readings dropped meanwhile.
QString recoveredText(qint64 droppedRows);

// Owns the writer and its thread.
class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    // Starts the thread and opens the database at `databasePath` there.
    HistoryRecorder(const QString& databasePath, const HistorySettings& settings, QObject* parent = nullptr);
    HistoryRecorder(const QString& databasePath, const HistorySettings& settings,
                    const WriterOptions& options, QObject* parent = nullptr);
    // Writes every batch handed over so far, closes the database and ends the
    // thread. Readings that could not be written are said through failed().
    ~HistoryRecorder() override;

    // Hands the batch to the writer's thread; returns at once.
    void record(const QVector<Reading>& batch);
    // Hands alarm events to the writer's thread; returns at once.
    void recordAlarms(const QVector<alarms::AlarmNotice>& notices);

Q_SIGNALS:
    // The writer's failure, in this object's thread: said once until it recovers.
    void failed(const QString& text);
    // The writer's recovery, in this object's thread.
    void recovered(qint64 droppedRows);
    // The readings the writer wrote from a batch, in this object's thread.
    void recorded(const QVector<history::Reading>& readings);

private:
    QString m_path;
    QThread m_thread;
    HistoryWriter* m_writer; // lives in m_thread, which deletes it as it ends
};

} // namespace history
