#include "history_writer.h"

#include "history_store.h"

#include <QDateTime>

namespace history {

namespace {
constexpr qint64 kDayMs = 24 * 3600 * 1000LL;
}

HistoryWriter::HistoryWriter(const QString& databasePath, const HistorySettings& settings)
    : m_path(databasePath), m_interval(settings.intervalSeconds * 1000LL),
      m_retentionMs(settings.retentionDays * kDayMs)
{
}

HistoryWriter::~HistoryWriter() = default;

void HistoryWriter::open()
{
    m_store = std::make_unique<HistoryStore>(m_path);
    if (!m_store->ok()) {
        reportFailure();
        return;
    }
    m_retentionRunning = true;
    retentionStep();
}

void HistoryWriter::write(const QVector<Reading>& batch)
{
    if (!m_store || !m_store->ok())
        return;
    const QVector<Reading> admitted = m_interval.filter(batch);
    if (!m_store->append(admitted)) {
        reportFailure();
        return;
    }
    if (!admitted.isEmpty())
        emit recorded(admitted);
    if (!m_retentionRunning && QDateTime::currentMSecsSinceEpoch() >= m_nextRetentionMs) {
        m_retentionRunning = true;
        retentionStep();
    }
}

void HistoryWriter::close()
{
    m_store.reset();
}

void HistoryWriter::retentionStep()
{
    if (!m_store || !m_store->ok())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int deleted = m_store->deleteOlderThan(now - m_retentionMs, kRetentionChunkRows);
    if (deleted < 0) {
        reportFailure();
        return;
    }
    if (deleted == kRetentionChunkRows) {
        // More to delete: the next chunk queues behind the batches already waiting.
        QMetaObject::invokeMethod(this, &HistoryWriter::retentionStep, Qt::QueuedConnection);
        return;
    }
    m_retentionRunning = false;
    m_nextRetentionMs = now + kRetentionPeriodMs;
}

void HistoryWriter::reportFailure()
{
    if (m_failureReported)
        return;
    m_failureReported = true;
    emit failed(m_store->errorText());
}

HistoryRecorder::HistoryRecorder(const QString& databasePath, const HistorySettings& settings,
                                 QObject* parent)
    : QObject(parent), m_writer(new HistoryWriter(databasePath, settings))
{
    m_thread.setObjectName(QStringLiteral("history writer"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &HistoryWriter::failed, this, &HistoryRecorder::failed);
    connect(m_writer, &HistoryWriter::recorded, this, &HistoryRecorder::recorded);
    m_thread.start();
    QMetaObject::invokeMethod(m_writer, &HistoryWriter::open, Qt::QueuedConnection);
}

HistoryRecorder::~HistoryRecorder()
{
    // Queued behind every batch handed over, so those are written first.
    QMetaObject::invokeMethod(
        m_writer,
        [writer = m_writer] {
            writer->close();
            writer->deleteLater(); // the ending thread deletes it
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
}

void HistoryRecorder::record(const QVector<Reading>& batch)
{
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, batch] { writer->write(batch); }, Qt::QueuedConnection);
}

} // namespace history
