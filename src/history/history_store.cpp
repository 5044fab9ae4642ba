#include "history_store.h"

#include <QAtomicInteger>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace history {

namespace {

QString newConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("tq_history_%1").arg(counter.fetchAndAddRelaxed(1));
}

// The channel index serves the chart's query (one channel's positions in a
// time range, in time order: no sorting) and the rise query (one sensor's first
// reading after a time). Time before position: a pass's readings of a channel
// land side by side in it, so a commit writes a few pages per channel instead
// of one per sensor, which made writing eight times slower. It holds raw too,
// so the chart's query never reads the table (a fifth faster, 4 % more file).
// The time index serves retention and the range the store holds.
constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS readings ("
    " time_ms INTEGER NOT NULL,"
    " station INTEGER NOT NULL,"
    " channel INTEGER NOT NULL,"
    " position INTEGER NOT NULL,"
    " raw INTEGER NOT NULL,"
    " celsius REAL,"
    " state INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS readings_by_channel ON readings (station, channel, time_ms, position, raw)",
    "CREATE INDEX IF NOT EXISTS readings_by_time ON readings (time_ms)",
    // The alarms' record (history_alarms.cpp): one row an alarm, its id the engine's.
    "CREATE TABLE IF NOT EXISTS alarms ("
    " id INTEGER PRIMARY KEY,"
    " kind INTEGER NOT NULL,"
    " level INTEGER NOT NULL,"
    " station INTEGER NOT NULL,"
    " channel INTEGER NOT NULL,"
    " position INTEGER NOT NULL,"
    " start_ms INTEGER NOT NULL,"
    " end_ms INTEGER NOT NULL DEFAULT 0,"
    " end_reason TEXT NOT NULL DEFAULT '',"
    " fault_reason TEXT NOT NULL DEFAULT '',"
    " first_value REAL,"
    " peak REAL,"
    " limit_value REAL,"
    " acked_by TEXT NOT NULL DEFAULT '',"
    " acked_ms INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS alarms_by_end ON alarms (end_ms)",
};

// The columns a Reading is made from, with the station and channel that the
// query names; celsius and state follow from raw. All of them are in the
// channel index, and each column fetched costs the chart's query time.
constexpr const char* kReadingColumns = "time_ms, position, raw";

// The positions are numbers, written into the text.
QString rangeStatement(const char* columns, const ReadingQuery& range, const char* tail)
{
    QStringList positions;
    for (int position : range.positions)
        positions << QString::number(position);
    return QStringLiteral("SELECT %1 FROM readings WHERE station = ? AND channel = ? AND position IN (%2) "
                          "AND time_ms BETWEEN ? AND ?%3")
        .arg(QLatin1String(columns), positions.join(QLatin1Char(',')), QLatin1String(tail));
}

// SQLite hands integers over as 64-bit values; reading them as such needs no conversion.
Reading readingAt(const QSqlQuery& query, int station, int channel)
{
    return readingFromRaw(query.value(0).toLongLong(), station, channel, int(query.value(1).toLongLong()),
                          quint16(query.value(2).toLongLong()));
}

} // namespace

QString readingsStatement(const ReadingQuery& query)
{
    return rangeStatement(kReadingColumns, query, " ORDER BY time_ms, position");
}

QString firstReadingStatement()
{
    return QStringLiteral("SELECT %1 FROM readings WHERE station = ? AND channel = ? AND position = ? "
                          "AND time_ms >= ? ORDER BY time_ms LIMIT 1")
        .arg(QLatin1String(kReadingColumns));
}

QString newestReadingsStatement()
{
    // SQLite takes the bare column raw from the row that holds MAX(time_ms).
    return QStringLiteral("SELECT station, channel, position, MAX(time_ms), raw FROM readings "
                          "WHERE time_ms BETWEEN ? AND ? GROUP BY station, channel, position");
}

HistoryStore::HistoryStore(const QString& path, int busyTimeoutMs)
    : m_path(path), m_connectionName(newConnectionName())
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!m_db.isValid()) {
        m_off = true;
        m_errorText =
            QStringLiteral("历史数据库 %1 无法打开：没有 SQLite 驱动").arg(QDir::toNativeSeparators(m_path));
        return;
    }
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!m_db.open()) {
        fail("无法打开", m_db.lastError());
        return;
    }
    setUp();
}

HistoryStore::~HistoryStore()
{
    // Every query and handle on the connection must be gone before it is removed.
    m_insert.reset();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString HistoryStore::pathIn(const QString& folder)
{
    return QDir(folder).filePath(kHistoryDbName);
}

bool HistoryStore::setUp()
{
    QSqlQuery query(m_db);
    // WAL: a commit is one append to the log, readers never block the writer, and
    // a process killed mid-write leaves the last committed state. NORMAL syncs at
    // checkpoints only, which keeps that guarantee for a crash of the program.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return fail("无法打开", query.lastError());
    if (!query.next() || query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        m_off = true;
        m_errorText =
            QStringLiteral("历史数据库 %1 无法打开：不能使用 WAL 日志").arg(QDir::toNativeSeparators(m_path));
        return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return fail("无法打开", query.lastError());
    for (const char* statement : kSchema) {
        if (!query.exec(QString::fromLatin1(statement)))
            return fail("无法打开", query.lastError());
    }
    m_insert = std::make_unique<QSqlQuery>(m_db);
    if (!m_insert->prepare(QStringLiteral("INSERT INTO readings (time_ms, station, channel, position, raw, "
                                          "celsius, state) VALUES (?, ?, ?, ?, ?, ?, ?)")))
        return fail("无法打开", m_insert->lastError());
    return true;
}

bool HistoryStore::fail(const char* what, const QSqlError& error)
{
    if (!m_off) {
        m_off = true;
        QString message = error.databaseText();
        if (message.isEmpty())
            message = error.text();
        m_errorText = QStringLiteral("历史数据库 %1 %2：%3")
                          .arg(QDir::toNativeSeparators(m_path), QString::fromUtf8(what), message);
    }
    return false;
}

bool HistoryStore::run(QSqlQuery& query, const char* what)
{
    if (query.exec())
        return true;
    return fail(what, query.lastError());
}

bool HistoryStore::append(const QVector<Reading>& batch)
{
    if (m_off)
        return false;
    if (batch.isEmpty())
        return true;
    if (!m_db.transaction())
        return fail("无法写入", m_db.lastError());
    const QVariant noCelsius(QMetaType::fromType<double>());
    for (const Reading& r : batch) {
        m_insert->bindValue(0, r.timeMs);
        m_insert->bindValue(1, r.station);
        m_insert->bindValue(2, r.channel);
        m_insert->bindValue(3, r.position);
        m_insert->bindValue(4, int(r.raw));
        m_insert->bindValue(5, r.celsius ? QVariant(*r.celsius) : noCelsius);
        m_insert->bindValue(6, int(r.state));
        if (!m_insert->exec())
            return abandonWrite(m_insert->lastError());
    }
    return commitWrite();
}

bool HistoryStore::abandonWrite(const QSqlError& error)
{
    m_db.rollback();
    return fail("无法写入", error);
}

bool HistoryStore::commitWrite()
{
    return m_db.commit() || abandonWrite(m_db.lastError());
}

bool HistoryStore::prepareRange(QSqlQuery& query, const QString& statement, const ReadingQuery& range)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return fail("无法查询", query.lastError());
    query.addBindValue(range.station);
    query.addBindValue(range.channel);
    query.addBindValue(range.fromMs);
    query.addBindValue(range.toMs);
    return true;
}

bool HistoryStore::forEachReading(const ReadingQuery& query, const std::function<bool(const Reading&)>& row)
{
    if (m_off)
        return false;
    if (query.positions.isEmpty())
        return true;
    QSqlQuery select(m_db);
    if (!prepareRange(select, readingsStatement(query), query) || !run(select, "无法查询"))
        return false;
    while (select.next()) {
        if (!row(readingAt(select, query.station, query.channel)))
            return true;
    }
    if (select.lastError().isValid())
        return fail("无法查询", select.lastError());
    return true;
}

QVector<Reading> HistoryStore::readings(const ReadingQuery& query)
{
    QVector<Reading> result;
    forEachReading(query, [&result](const Reading& r) {
        result.append(r);
        return true;
    });
    return result;
}

std::optional<qint64> HistoryStore::countReadings(const ReadingQuery& query)
{
    if (m_off)
        return std::nullopt;
    if (query.positions.isEmpty())
        return 0;
    QSqlQuery select(m_db);
    if (!prepareRange(select, rangeStatement("COUNT(*)", query, ""), query) || !run(select, "无法查询") ||
        !select.next())
        return std::nullopt;
    return select.value(0).toLongLong();
}

std::optional<Reading> HistoryStore::firstReadingAtOrAfter(int station, int channel, int position,
                                                           qint64 timeMs)
{
    if (m_off)
        return std::nullopt;
    QSqlQuery select(m_db);
    select.setForwardOnly(true);
    if (!select.prepare(firstReadingStatement())) {
        fail("无法查询", select.lastError());
        return std::nullopt;
    }
    select.addBindValue(station);
    select.addBindValue(channel);
    select.addBindValue(position);
    select.addBindValue(timeMs);
    if (!run(select, "无法查询") || !select.next())
        return std::nullopt;
    return readingAt(select, station, channel);
}

std::optional<QVector<Reading>> HistoryStore::newestReadingsAtOrBefore(qint64 atMs, qint64 notBeforeMs)
{
    if (m_off)
        return std::nullopt;
    QSqlQuery select(m_db);
    select.setForwardOnly(true);
    if (!select.prepare(newestReadingsStatement())) {
        fail("无法查询", select.lastError());
        return std::nullopt;
    }
    select.addBindValue(notBeforeMs);
    select.addBindValue(atMs);
    if (!run(select, "无法查询"))
        return std::nullopt;
    QVector<Reading> result;
    while (select.next())
        result.append(readingFromRaw(select.value(3).toLongLong(), int(select.value(0).toLongLong()),
                                     int(select.value(1).toLongLong()), int(select.value(2).toLongLong()),
                                     quint16(select.value(4).toLongLong())));
    if (select.lastError().isValid()) {
        fail("无法查询", select.lastError());
        return std::nullopt;
    }
    return result;
}

std::optional<TimeRange> HistoryStore::timeRange()
{
    if (m_off)
        return std::nullopt;
    QSqlQuery select(m_db);
    // Two subqueries: each MIN or MAX alone is one step down the time index.
    if (!select.exec(QStringLiteral(
            "SELECT (SELECT MIN(time_ms) FROM readings), (SELECT MAX(time_ms) FROM readings)"))) {
        fail("无法查询", select.lastError());
        return std::nullopt;
    }
    if (!select.next() || select.value(0).isNull())
        return std::nullopt;
    return TimeRange{select.value(0).toLongLong(), select.value(1).toLongLong()};
}

int HistoryStore::deleteOlderThan(qint64 beforeMs, int maxRows)
{
    if (m_off)
        return -1;
    QSqlQuery remove(m_db);
    if (!remove.prepare(QStringLiteral("DELETE FROM readings WHERE rowid IN "
                                       "(SELECT rowid FROM readings WHERE time_ms < ? LIMIT ?)"))) {
        fail("无法删除旧记录", remove.lastError());
        return -1;
    }
    remove.addBindValue(beforeMs);
    remove.addBindValue(maxRows);
    if (!run(remove, "无法删除旧记录"))
        return -1;
    return remove.numRowsAffected();
}

} // namespace history
