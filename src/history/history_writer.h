#pragma once
// Writing the history off the thread that paces the line: the caller hands over
// a batch of readings (a pass, or a single reading) and never waits; a thread of
// the history's own writes it.

#include "history_settings.h"
#include "reading.h"
#include "record_interval.h"

#include <QObject>
#include <QThread>
#include <QVector>
#include <memory>

namespace history {

class HistoryStore;

// Rows deleted by one retention step; small enough that a batch waiting behind
// it is written within a few tens of milliseconds.
inline constexpr int kRetentionChunkRows = 2000;
inline constexpr qint64 kRetentionPeriodMs = 3600 * 1000;

// Does the writing in whatever thread it lives in, with a store (and so a
// database connection) of its own, made by open().
class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    HistoryWriter(const QString& databasePath, const HistorySettings& settings);
    ~HistoryWriter() override;

    // Opens the store and starts deleting readings older than the retention.
    void open();
    // Records the readings of `batch` that the record interval admits, in one
    // transaction; starts retention when its hour has come.
    void write(const QVector<Reading>& batch);
    // Closes the store.
    void close();

Q_SIGNALS:
    // The store failed and is off (it cannot be opened or written): said once.
    void failed(const QString& text);
    // The readings of a batch that were written (those the record interval admitted), when any.
    void recorded(const QVector<history::Reading>& readings);

private:
    void retentionStep();
    void reportFailure();

    QString m_path;
    RecordInterval m_interval;
    qint64 m_retentionMs;
    std::unique_ptr<HistoryStore> m_store;
    qint64 m_nextRetentionMs = 0;
    bool m_retentionRunning = false;
    bool m_failureReported = false;
};

// Owns the writer and its thread.
class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    // Starts the thread and opens the database at `databasePath` there.
    HistoryRecorder(const QString& databasePath, const HistorySettings& settings, QObject* parent = nullptr);
    // Writes every batch handed over so far, closes the database and ends the thread.
    ~HistoryRecorder() override;

    // Hands the batch to the writer's thread; returns at once.
    void record(const QVector<Reading>& batch);

Q_SIGNALS:
    // The writer's failure, in this object's thread: said once.
    void failed(const QString& text);
    // The readings the writer wrote from a batch, in this object's thread.
    void recorded(const QVector<history::Reading>& readings);

private:
    QThread m_thread;
    HistoryWriter* m_writer; // lives in m_thread, which deletes it as it ends
};

} // namespace history
