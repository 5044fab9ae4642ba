#include "history_writer.h"

#include <QDateTime>
#include <QDir>
#include <QTimer>
#include <algorithm>

namespace history {

namespace {
constexpr qint64 kDayMs = 24 * 3600 * 1000LL;
}

QString lostReadingsText(const QString& databasePath, qint64 rows)
{
    return QStringLiteral("历史数据库 %1 有 %2 条读数未能写入")
        .arg(QDir::toNativeSeparators(databasePath))
        .arg(rows);
}

QString recoveredText(qint64 droppedRows)
{
    if (droppedRows == 0)
        return QStringLiteral("历史数据已恢复写入");
    return QStringLiteral("历史数据已恢复写入，中断期间有 %1 条读数因暂存已满未能保存").arg(droppedRows);
}

HistoryWriter::HistoryWriter(const QString& databasePath, const HistorySettings& settings,
                             const WriterOptions& options)
    : m_path(databasePath), m_interval(settings.intervalSeconds * 1000LL),
      m_retentionMs(settings.retentionDays * kDayMs), m_options(options), m_retryTimer(new QTimer(this)),
      m_retryDelayMs(options.firstRetryMs)
{
    // A child: it moves to the writer's thread with the writer and runs there.
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &HistoryWriter::writePending);
}

HistoryWriter::~HistoryWriter() = default;

void HistoryWriter::open()
{
    writePending();
}

void HistoryWriter::write(const QVector<Reading>& batch)
{
    keep(m_interval.filter(batch));
    if (!m_failing) {
        writePending();
        return;
    }
    // Batches queued behind a failed try (which may have waited out the busy
    // timeout) join the waiting ones first, so one try serves them all.
    if (!m_writeAgainQueued) {
        m_writeAgainQueued = true;
        QMetaObject::invokeMethod(this, &HistoryWriter::writeAgain, Qt::QueuedConnection);
    }
}

void HistoryWriter::writeAlarms(const QVector<alarms::AlarmNotice>& notices)
{
    m_pendingAlarms += notices;
    if (!m_failing)
        writePending();
}

void HistoryWriter::writeAgain()
{
    m_writeAgainQueued = false;
    writePending();
}

void HistoryWriter::keep(const QVector<Reading>& readings)
{
    if (readings.isEmpty())
        return;
    m_pending.push_back(readings);
    m_pendingRows += readings.size();
    // The oldest go first: the newest readings matter most to whoever looks later.
    while (m_pendingRows > m_options.maxPendingRows) {
        QVector<Reading>& oldest = m_pending.front();
        const qint64 excess = m_pendingRows - m_options.maxPendingRows;
        const qint64 dropped = std::min<qint64>(excess, oldest.size());
        if (dropped == oldest.size())
            m_pending.pop_front();
        else
            oldest.remove(0, dropped);
        m_pendingRows -= dropped;
        m_droppedRows += dropped;
    }
}

void HistoryWriter::writePending()
{
    if (!m_store) {
        m_store = std::make_unique<HistoryStore>(m_path, m_options.busyTimeoutMs);
        if (!m_store->ok()) {
            failedNow(m_store->errorText());
            return;
        }
    }
    while (!m_pending.empty()) {
        if (!m_store->append(m_pending.front())) {
            failedNow(m_store->errorText());
            return;
        }
        const QVector<Reading> written = std::move(m_pending.front());
        m_pending.pop_front();
        m_pendingRows -= written.size();
        emit recorded(written);
    }
    if (!m_store->recordAlarmNotices(m_pendingAlarms)) {
        failedNow(m_store->errorText());
        return;
    }
    m_pendingAlarms.clear();
    if (m_failing) {
        m_failing = false;
        m_retryTimer->stop();
        m_retryDelayMs = m_options.firstRetryMs;
        const qint64 dropped = m_droppedRows;
        m_droppedRows = 0;
        emit recovered(dropped);
    }
    if (!m_retentionRunning && QDateTime::currentMSecsSinceEpoch() >= m_nextRetentionMs) {
        m_retentionRunning = true;
        retentionStep();
    }
}

void HistoryWriter::failedNow(const QString& text)
{
    // A store that failed is off; the next try opens the database afresh.
    m_store.reset();
    if (!m_failing) {
        m_failing = true;
        emit failed(text);
    }
    if (!m_retryTimer->isActive()) {
        m_retryTimer->start(m_retryDelayMs);
        m_retryDelayMs = std::min(2 * m_retryDelayMs, m_options.lastRetryMs);
    }
}

qint64 HistoryWriter::close()
{
    if (!m_pending.empty() || !m_pendingAlarms.isEmpty())
        writePending();
    m_retryTimer->stop();
    m_store.reset();
    const qint64 lost = m_pendingRows + m_droppedRows;
    m_pending.clear();
    m_pendingRows = 0;
    m_droppedRows = 0;
    return lost;
}

void HistoryWriter::retentionStep()
{
    if (!m_store) { // a failure came between two steps; it starts again once the store is back
        m_retentionRunning = false;
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int deleted = m_store->deleteOlderThan(now - m_retentionMs, kRetentionChunkRows);
    if (deleted < 0) {
        m_retentionRunning = false;
        failedNow(m_store->errorText());
        return;
    }
    if (deleted == kRetentionChunkRows) {
        // More to delete: the next chunk queues behind the batches already waiting.
        QMetaObject::invokeMethod(this, &HistoryWriter::retentionStep, Qt::QueuedConnection);
        return;
    }
    // The alarms are kept as long as the readings.
    if (m_store->deleteAlarmsEndedBefore(now - m_retentionMs) < 0) {
        m_retentionRunning = false;
        failedNow(m_store->errorText());
        return;
    }
    m_retentionRunning = false;
    m_nextRetentionMs = now + kRetentionPeriodMs;
}

HistoryRecorder::HistoryRecorder(const QString& databasePath, const HistorySettings& settings,
                                 QObject* parent)
    : HistoryRecorder(databasePath, settings, WriterOptions{}, parent)
{
}

HistoryRecorder::HistoryRecorder(const QString& databasePath, const HistorySettings& settings,
                                 const WriterOptions& options, QObject* parent)
    : QObject(parent), m_path(databasePath), m_writer(new HistoryWriter(databasePath, settings, options))
{
    m_thread.setObjectName(QStringLiteral("history writer"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &HistoryWriter::failed, this, &HistoryRecorder::failed);
    connect(m_writer, &HistoryWriter::recovered, this, &HistoryRecorder::recovered);
    connect(m_writer, &HistoryWriter::recorded, this, &HistoryRecorder::recorded);
    m_thread.start();
    QMetaObject::invokeMethod(m_writer, &HistoryWriter::open, Qt::QueuedConnection);
}

HistoryRecorder::~HistoryRecorder()
{
    // Queued behind every batch handed over, so those are written first.
    qint64 lost = 0;
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer] { return writer->close(); }, Qt::BlockingQueuedConnection, &lost);
    QMetaObject::invokeMethod(
        m_writer,
        [writer = m_writer] {
            writer->deleteLater(); // the ending thread deletes it
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    if (lost > 0)
        emit failed(lostReadingsText(m_path, lost));
}

void HistoryRecorder::record(const QVector<Reading>& batch)
{
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, batch] { writer->write(batch); }, Qt::QueuedConnection);
}

void HistoryRecorder::recordAlarms(const QVector<alarms::AlarmNotice>& notices)
{
    if (notices.isEmpty())
        return;
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, notices] { writer->writeAlarms(notices); }, Qt::QueuedConnection);
}

} // namespace history
