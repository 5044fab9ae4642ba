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
#include <QString>
#include <functional>

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
    enum Status { Written, Cancelled, Failed };
    Status status = Failed;
    qint64 rows = 0;
    QString errorText; // when Failed: the file or the database and what went wrong
};

// Writes the query's readings to `path`, row by row as the store hands them
// over. The file appears only when it is complete: a cancelled or failed export
// leaves no file behind and an existing one as it was.
ExportResult exportCsv(HistoryStore& store, const ReadingQuery& query, const QString& path,
                       const ExportProgress& progress = {});

} // namespace history
