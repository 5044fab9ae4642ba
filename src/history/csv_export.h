#pragma once
// Readings as a CSV file for spreadsheet programs: UTF-8 with a byte-order mark
// (so that they take it for UTF-8 on Chinese Windows), a header line, one line
// per reading, CR LF line ends.
//
// Columns: 时间 (local time, yyyy-MM-dd HH:mm:ss.zzz), 站号, 通道, 位置,
// 温度(°C) (two decimals as the grid shows them; empty when there is no
// temperature), 状态 (ok, not_wired, not_recognised, no_value), 原始值 (the raw
// register, 0..65535).

#include "history_store.h"
#include "reading.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace history {

// A field as CSV writes it: in double quotes, inner quotes doubled, when it holds
// a comma, a quote, a line end or blanks at either end; otherwise as it is.
QString csvField(const QString& text);

// The header line and a reading's line, each with its CR LF.
QByteArray csvHeaderLine();
QByteArray csvLine(const Reading& reading);

// Told how many rows are written of how many; false cancels the export.
using ExportProgress = std::function<bool(qint64 rowsDone, qint64 rowsTotal)>;

struct ExportResult
{
    enum Status { Written, Cancelled, Failed, NothingToWrite };
    Status status = Failed;
    qint64 rows = 0;
    QString errorText; // when Failed: the file or the database and what went wrong
};

// Writes the query's readings to `path`, row by row as the store hands them
// over. The file appears only when it is complete: a cancelled or failed export
// leaves no file behind and an existing one as it was. A query without readings
// writes nothing (NothingToWrite).
ExportResult exportCsv(HistoryStore& store, const ReadingQuery& query, const QString& path,
                       const ExportProgress& progress = {});

// One export in a thread of its own, with a store (a connection) of its own, so
// that whoever asked for it goes on with its work meanwhile.
class CsvExportTask : public QObject
{
    Q_OBJECT
public:
    CsvExportTask(const QString& databasePath, const ReadingQuery& query, const QString& path,
                  QObject* parent = nullptr);
    // Cancels an export still running and waits for its thread.
    ~CsvExportTask() override;

    void start();
    // The export stops at its next progress step (every 1000 rows) and finishes Cancelled.
    void cancel();

Q_SIGNALS:
    // As exportCsv tells its progress; in this object's thread.
    void progressed(qint64 rowsDone, qint64 rowsTotal);
    // The export's result, once; in this object's thread.
    void finished(const history::ExportResult& result);

private:
    QString m_databasePath;
    ReadingQuery m_query;
    QString m_path;
    std::atomic<bool> m_cancelled{false}; // read by the export's thread at each progress step
    std::unique_ptr<QThread> m_thread;
};

} // namespace history
