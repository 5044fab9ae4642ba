#include "alarm_log.h"

#include <QDateTime>
#include <QStringList>

namespace alarms {

void applyNotice(AlarmEntry& entry, const AlarmNotice& notice)
{
    entry.id = notice.alarmId;
    entry.kind = notice.kind;
    entry.level = notice.level;
    entry.where = {notice.station, notice.channel, notice.position};
    entry.startMs = notice.startedAt.toMSecsSinceEpoch();
    if (notice.hasLimit) {
        entry.limit = notice.limit;
        entry.peak = notice.peak;
    }
    switch (notice.event) {
    case AlarmNotice::Event::Started:
        if (notice.hasValue)
            entry.firstValue = notice.value;
        if (notice.kind == AlarmNotice::Kind::SensorFault)
            entry.faultReason = notice.reason;
        break;
    case AlarmNotice::Event::Ended:
        entry.endMs = notice.at.toMSecsSinceEpoch();
        entry.endReason = notice.reason;
        break;
    case AlarmNotice::Event::Acknowledged:
        entry.ackedBy = notice.acknowledgedBy;
        entry.ackedMs = notice.at.toMSecsSinceEpoch();
        break;
    }
}

QString alarmTimeText(qint64 timeMs)
{
    if (timeMs == 0)
        return QString();
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString alarmWhatText(const AlarmEntry& entry)
{
    if (entry.faultReason.isEmpty())
        return kindText(entry.kind);
    return kindText(entry.kind) + QStringLiteral("：") + entry.faultReason;
}

namespace {

QString celsiusField(const std::optional<double>& celsius)
{
    return celsius ? QString::number(*celsius, 'f', 2) : QString();
}

// A field in double quotes when it holds a separator or a quote.
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

QByteArray alarmsCsv(const QList<AlarmEntry>& entries)
{
    QString text = QStringLiteral("编号,等级,报警,地址,通道,位置,开始时间,结束时间,结束原因,温度(°C),峰值(°C)"
                                  ",限值,确认人,确认时间\r\n");
    for (const AlarmEntry& e : entries) {
        const bool sensor = e.where.channel != 0;
        const QStringList fields{
            QString::number(e.id),
            levelText(e.level),
            alarmWhatText(e),
            QString::number(e.where.station),
            sensor ? QString::number(e.where.channel) : QString(),
            sensor ? QString::number(e.where.position) : QString(),
            alarmTimeText(e.startMs),
            alarmTimeText(e.endMs),
            e.endReason,
            celsiusField(e.firstValue),
            celsiusField(e.peak),
            celsiusField(e.limit),
            e.ackedBy,
            alarmTimeText(e.ackedMs),
        };
        QStringList quoted;
        for (const QString& field : fields)
            quoted << csvField(field);
        text += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace alarms
