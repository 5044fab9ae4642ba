// The alarms' record in history.db: a row per alarm, written from the engine's events.

#include "history_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace history {

namespace {

QVariant optionalCelsius(bool has, double celsius)
{
    return has ? QVariant(celsius) : QVariant(QMetaType::fromType<double>());
}

std::optional<double> celsiusAt(const QSqlQuery& query, int column)
{
    const QVariant value = query.value(column);
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

constexpr const char* kAlarmColumns =
    "id, kind, level, station, channel, position, start_ms, end_ms, end_reason, "
    "fault_reason, first_value, peak, limit_value, acked_by, acked_ms";

alarms::AlarmEntry alarmAt(const QSqlQuery& q)
{
    alarms::AlarmEntry e;
    e.id = q.value(0).toLongLong();
    e.kind = alarms::AlarmNotice::Kind(q.value(1).toInt());
    e.level = alarms::AlarmNotice::Level(q.value(2).toInt());
    e.where = {q.value(3).toInt(), q.value(4).toInt(), q.value(5).toInt()};
    e.startMs = q.value(6).toLongLong();
    e.endMs = q.value(7).toLongLong();
    e.endReason = q.value(8).toString();
    e.faultReason = q.value(9).toString();
    e.firstValue = celsiusAt(q, 10);
    e.peak = celsiusAt(q, 11);
    e.limit = celsiusAt(q, 12);
    e.ackedBy = q.value(13).toString();
    e.ackedMs = q.value(14).toLongLong();
    return e;
}

// The statement and its values for one event.
void prepareNotice(QSqlQuery& q, const alarms::AlarmNotice& n)
{
    using Event = alarms::AlarmNotice::Event;
    switch (n.event) {
    case Event::Started:
        q.prepare(
            QStringLiteral("INSERT OR REPLACE INTO alarms (id, kind, level, station, channel, position, "
                           "start_ms, fault_reason, first_value, peak, limit_value) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(n.alarmId);
        q.addBindValue(int(n.kind));
        q.addBindValue(int(n.level));
        q.addBindValue(n.station);
        q.addBindValue(n.channel);
        q.addBindValue(n.position);
        q.addBindValue(n.startedAt.toMSecsSinceEpoch());
        q.addBindValue(n.kind == alarms::AlarmNotice::Kind::SensorFault ? n.reason : QString());
        q.addBindValue(optionalCelsius(n.hasValue, n.value));
        q.addBindValue(optionalCelsius(n.hasLimit, n.peak));
        q.addBindValue(optionalCelsius(n.hasLimit, n.limit));
        return;
    case Event::Ended:
        q.prepare(QStringLiteral("UPDATE alarms SET end_ms = ?, end_reason = ?, peak = ? WHERE id = ?"));
        q.addBindValue(n.at.toMSecsSinceEpoch());
        q.addBindValue(n.reason);
        q.addBindValue(optionalCelsius(n.hasLimit, n.peak));
        q.addBindValue(n.alarmId);
        return;
    case Event::Acknowledged:
        q.prepare(QStringLiteral("UPDATE alarms SET acked_by = ?, acked_ms = ? WHERE id = ?"));
        q.addBindValue(n.acknowledgedBy);
        q.addBindValue(n.at.toMSecsSinceEpoch());
        q.addBindValue(n.alarmId);
        return;
    }
}

} // namespace

bool HistoryStore::recordAlarmNotices(const QVector<alarms::AlarmNotice>& notices)
{
    if (m_off)
        return false;
    if (notices.isEmpty())
        return true;
    if (!m_db.transaction())
        return fail("无法写入", m_db.lastError());
    for (const alarms::AlarmNotice& notice : notices) {
        QSqlQuery q(m_db);
        prepareNotice(q, notice);
        if (!q.exec())
            return abandonWrite(q.lastError());
    }
    return commitWrite();
}

std::optional<QVector<alarms::AlarmEntry>> HistoryStore::recentAlarms(int endedCount)
{
    if (m_off)
        return std::nullopt;
    QVector<alarms::AlarmEntry> entries;
    const QString inForce =
        QStringLiteral("SELECT %1 FROM alarms WHERE end_ms = 0 ORDER BY start_ms DESC, id DESC")
            .arg(QLatin1String(kAlarmColumns));
    const QString ended =
        QStringLiteral("SELECT %1 FROM alarms WHERE end_ms <> 0 ORDER BY end_ms DESC, id DESC LIMIT %2")
            .arg(QLatin1String(kAlarmColumns))
            .arg(endedCount);
    for (const QString& statement : {inForce, ended}) {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(statement)) {
            fail("无法查询", q.lastError());
            return std::nullopt;
        }
        while (q.next())
            entries.append(alarmAt(q));
    }
    return entries;
}

std::optional<qint64> HistoryStore::highestAlarmId()
{
    if (m_off)
        return std::nullopt;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT MAX(id) FROM alarms")) || !q.next()) {
        fail("无法查询", q.lastError());
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

int HistoryStore::deleteAlarmsEndedBefore(qint64 beforeMs)
{
    if (m_off)
        return -1;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM alarms WHERE end_ms <> 0 AND end_ms < ?"));
    q.addBindValue(beforeMs);
    if (!run(q, "无法删除旧记录"))
        return -1;
    return q.numRowsAffected();
}

} // namespace history
