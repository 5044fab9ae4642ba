#include "csv_export.h"

#include "protocol/temperature.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QThread>

namespace history {

namespace {

constexpr qint64 kProgressEveryRows = 1000;

bool needsQuotes(const QString& text)
{
    for (QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n'))
            return true;
    }
    return !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
}

QString localTimeText(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QByteArray lineWithTime(const Reading& reading, const QString& time)
{
    const QString celsius =
        reading.state == ReadingState::Ok ? protocol::temperatureText(reading.raw) : QString();
    const QString fields[] = {time,
                              QString::number(reading.station),
                              QString::number(reading.channel),
                              QString::number(reading.position),
                              celsius,
                              stateText(reading.state),
                              QString::number(reading.raw)};
    QString line;
    for (const QString& field : fields) {
        if (!line.isEmpty())
            line += QLatin1Char(',');
        line += csvField(field);
    }
    return (line + QLatin1String("\r\n")).toUtf8();
}

// A pass's readings of a channel share their time, and turning a time into
// local time is the dearest part of a line: the last text is kept.
class TimeTexts
{
public:
    const QString& text(qint64 timeMs)
    {
        if (m_text.isNull() || timeMs != m_timeMs) {
            m_timeMs = timeMs;
            m_text = localTimeText(timeMs);
        }
        return m_text;
    }

private:
    qint64 m_timeMs = 0;
    QString m_text;
};

QString fileError(const QString& path, const QString& message)
{
    return QStringLiteral("无法写入导出文件 %1：%2").arg(QDir::toNativeSeparators(path), message);
}

} // namespace

QString csvField(const QString& text)
{
    if (!needsQuotes(text))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray csvHeaderLine()
{
    return QStringLiteral("时间,站号,通道,位置,温度(°C),状态,原始值\r\n").toUtf8();
}

QByteArray csvLine(const Reading& reading)
{
    return lineWithTime(reading, localTimeText(reading.timeMs));
}

ExportResult exportCsv(HistoryStore& store, const ReadingQuery& query, const QString& path,
                       const ExportProgress& progress)
{
    ExportResult result;
    const std::optional<qint64> total = store.countReadings(query);
    if (!total) {
        result.errorText = store.errorText();
        return result;
    }
    if (*total == 0) {
        result.status = ExportResult::NothingToWrite;
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.errorText = fileError(path, file.errorString());
        return result;
    }
    TimeTexts times;
    bool written = file.write("\xEF\xBB\xBF") == 3 && file.write(csvHeaderLine()) > 0;
    bool cancelled = progress && !progress(0, *total);
    const bool read = written && !cancelled && store.forEachReading(query, [&](const Reading& reading) {
        const QByteArray line = lineWithTime(reading, times.text(reading.timeMs));
        if (file.write(line) != line.size()) {
            written = false;
            return false;
        }
        ++result.rows;
        if (progress && result.rows % kProgressEveryRows == 0 && !progress(result.rows, *total)) {
            cancelled = true;
            return false;
        }
        return true;
    });
    if (written && read && !cancelled && progress && result.rows % kProgressEveryRows != 0)
        cancelled = !progress(result.rows, *total);
    // QSaveFile::commit() (Qt 6.4) misses a write that fails while its buffer is
    // flushed, so the flush is checked first.
    if (cancelled || !written || !read || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        result.status = cancelled ? ExportResult::Cancelled : ExportResult::Failed;
        if (!cancelled)
            result.errorText = (written && !read) ? store.errorText() : fileError(path, error);
        return result;
    }
    if (!file.commit()) {
        result.errorText = fileError(path, file.errorString());
        return result;
    }
    result.status = ExportResult::Written;
    return result;
}

CsvExportTask::CsvExportTask(const QString& databasePath, const ReadingQuery& query, const QString& path,
                             QObject* parent)
    : QObject(parent), m_databasePath(databasePath), m_query(query), m_path(path)
{
}

CsvExportTask::~CsvExportTask()
{
    if (!m_thread)
        return;
    cancel();
    m_thread->wait();
}

void CsvExportTask::start()
{
    if (m_thread)
        return;
    // The thread reads only what it was given here and the cancel flag; its
    // progress and result are queued to this object's thread and said there.
    // The destructor waits for the thread, so `this` outlives every call queued.
    m_thread.reset(QThread::create([this, databasePath = m_databasePath, query = m_query, path = m_path] {
        HistoryStore store(databasePath);
        const ExportResult result = exportCsv(store, query, path, [this](qint64 done, qint64 total) {
            if (m_cancelled.load())
                return false;
            QMetaObject::invokeMethod(
                this, [this, done, total] { emit progressed(done, total); }, Qt::QueuedConnection);
            return true;
        });
        QMetaObject::invokeMethod(
            this, [this, result] { emit finished(result); }, Qt::QueuedConnection);
    }));
    m_thread->setObjectName(QStringLiteral("csv export"));
    m_thread->start();
}

void CsvExportTask::cancel()
{
    m_cancelled.store(true);
}

} // namespace history
