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

// The sensor's index serves the chart's and the rise queries (one sensor, a time
// range); the time index serves retention and the range the store holds.
constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS readings ("
    " time_ms INTEGER NOT NULL,"
    " station INTEGER NOT NULL,"
    " channel INTEGER NOT NULL,"
    " position INTEGER NOT NULL,"
    " raw INTEGER NOT NULL,"
    " celsius REAL,"
    " state INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS readings_by_sensor ON readings (station, channel, position, time_ms)",
    "CREATE INDEX IF NOT EXISTS readings_by_time ON readings (time_ms)",
};

// Columns a Reading is made from; celsius and state follow from raw.
constexpr const char* kReadingColumns = "time_ms, station, channel, position, raw";

Reading readingAt(const QSqlQuery& query)
{
    return readingFromRaw(query.value(0).toLongLong(), query.value(1).toInt(), query.value(2).toInt(),
                          query.value(3).toInt(), quint16(query.value(4).toUInt()));
}

} // namespace

HistoryStore::HistoryStore(const QString& path) : m_path(path), m_connectionName(newConnectionName())
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!m_db.isValid()) {
        m_off = true;
        m_errorText =
            QStringLiteral("历史数据库 %1 无法打开：没有 SQLite 驱动").arg(QDir::toNativeSeparators(m_path));
        return;
    }
    m_db.setDatabaseName(m_path);
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
        if (!m_insert->exec()) {
            const QSqlError error = m_insert->lastError();
            m_db.rollback();
            return fail("无法写入", error);
        }
    }
    if (!m_db.commit()) {
        const QSqlError error = m_db.lastError();
        m_db.rollback();
        return fail("无法写入", error);
    }
    return true;
}

bool HistoryStore::prepareRange(QSqlQuery& query, const char* columns, const ReadingQuery& range,
                                const char* tail)
{
    // Positions are numbers, written into the text; the index then serves each of them.
    QStringList positions;
    for (int position : range.positions)
        positions << QString::number(position);
    const QString text =
        QStringLiteral("SELECT %1 FROM readings WHERE station = ? AND channel = ? AND position "
                       "IN (%2) AND time_ms BETWEEN ? AND ?%3")
            .arg(QLatin1String(columns), positions.join(QLatin1Char(',')), QLatin1String(tail));
    query.setForwardOnly(true);
    if (!query.prepare(text))
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
    if (!prepareRange(select, kReadingColumns, query, " ORDER BY time_ms, position") ||
        !run(select, "无法查询"))
        return false;
    while (select.next()) {
        if (!row(readingAt(select)))
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
    if (!prepareRange(select, "COUNT(*)", query, "") || !run(select, "无法查询") || !select.next())
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
    if (!select.prepare(
            QStringLiteral("SELECT %1 FROM readings WHERE station = ? AND channel = ? AND position = ? "
                           "AND time_ms >= ? ORDER BY time_ms LIMIT 1")
                .arg(QLatin1String(kReadingColumns)))) {
        fail("无法查询", select.lastError());
        return std::nullopt;
    }
    select.addBindValue(station);
    select.addBindValue(channel);
    select.addBindValue(position);
    select.addBindValue(timeMs);
    if (!run(select, "无法查询") || !select.next())
        return std::nullopt;
    return readingAt(select);
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
