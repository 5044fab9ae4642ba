#include "alarm_messages.h"

#include "site/mqtt_topics.h"

#include <QJsonDocument>
#include <cmath>

namespace notify {

namespace {

using alarms::AlarmNotice;

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString kindText(AlarmNotice::Kind kind)
{
    switch (kind) {
    case AlarmNotice::Kind::High:
        return QStringLiteral("超上限");
    case AlarmNotice::Kind::Low:
        return QStringLiteral("超下限");
    case AlarmNotice::Kind::Rise:
        return QStringLiteral("温升过快");
    case AlarmNotice::Kind::SensorFault:
        return QStringLiteral("传感器故障");
    case AlarmNotice::Kind::StationSilent:
        break;
    }
    return QStringLiteral("站无应答");
}

const char* kindName(AlarmNotice::Kind kind)
{
    switch (kind) {
    case AlarmNotice::Kind::High:
        return "high";
    case AlarmNotice::Kind::Low:
        return "low";
    case AlarmNotice::Kind::Rise:
        return "rise";
    case AlarmNotice::Kind::SensorFault:
        return "sensor_fault";
    case AlarmNotice::Kind::StationSilent:
        break;
    }
    return "station_silent";
}

const char* eventName(AlarmNotice::Event event)
{
    switch (event) {
    case AlarmNotice::Event::Started:
        return "started";
    case AlarmNotice::Event::Ended:
        return "ended";
    case AlarmNotice::Event::Acknowledged:
        break;
    }
    return "acknowledged";
}

// Two decimals, as the readings are shown; JSON then carries 38.5, not 38.499999999.
double rounded(double value)
{
    return std::round(value * 100.0) / 100.0;
}

QString subjectPrefix(const QString& site)
{
    return site.isEmpty() ? QStringLiteral("[tq5900k]") : QStringLiteral("[tq5900k %1]").arg(site);
}

// A header's text as RFC 2047 encoded words, each within 75 characters, folded between them.
QByteArray encodedHeaderText(const QString& text)
{
    bool plain = true;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            plain = false;
    if (plain && text.size() < 900)
        return text.toLatin1();
    QByteArray out;
    for (qsizetype from = 0; from < text.size();) {
        qsizetype count = std::min<qsizetype>(12, text.size() - from); // 12 UTF-16 units: at most 36 bytes
        if (text.at(from + count - 1).isHighSurrogate() && from + count < text.size())
            ++count;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + text.mid(from, count).toUtf8().toBase64() + "?=";
        from += count;
    }
    return out;
}

QByteArray headerLine(const char* name, const QByteArray& value)
{
    return QByteArray(name) + ": " + value + "\r\n";
}

QByteArray compactJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QString eventLabel(const AlarmNotice& notice)
{
    const QString level = notice.level == AlarmNotice::Level::Warning ? QStringLiteral("预警") : QStringLiteral("报警");
    switch (notice.event) {
    case AlarmNotice::Event::Started:
        return level + QStringLiteral("开始");
    case AlarmNotice::Event::Ended:
        return level + QStringLiteral("结束");
    case AlarmNotice::Event::Acknowledged:
        break;
    }
    return level + QStringLiteral("已确认");
}

QString placeText(const AlarmNotice& notice)
{
    QStringList parts;
    if (notice.station > 0)
        parts << QStringLiteral("%1号站").arg(notice.station);
    if (notice.channel > 0)
        parts << QStringLiteral("%1通道").arg(notice.channel);
    if (notice.position > 0)
        parts << QStringLiteral("%1号测点").arg(notice.position);
    return parts.join(u' ');
}

QString noticeLine(const AlarmNotice& notice)
{
    QString what = notice.text;
    if (what.isEmpty()) {
        what = kindText(notice.kind);
        if (notice.hasValue)
            what += QStringLiteral(" %1 °C").arg(notice.value, 0, 'f', 2);
        if (notice.hasLimit)
            what += QStringLiteral("（限值 %1）").arg(notice.limit, 0, 'f', 2);
    }
    QString line = QStringLiteral("%1 %2 %3：%4").arg(notice.at.toString(kTimeFormat), eventLabel(notice),
                                                     placeText(notice), what);
    if (notice.event == AlarmNotice::Event::Ended && !notice.reason.isEmpty())
        line += QStringLiteral("（%1）").arg(notice.reason);
    if (notice.event == AlarmNotice::Event::Acknowledged && !notice.acknowledgedBy.isEmpty())
        line += QStringLiteral("（确认人：%1）").arg(notice.acknowledgedBy);
    return line;
}

QJsonObject noticeObject(const AlarmNotice& n)
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), n.alarmId);
    o.insert(QStringLiteral("event"), QLatin1String(eventName(n.event)));
    o.insert(QStringLiteral("level"),
             n.level == AlarmNotice::Level::Warning ? QStringLiteral("warning") : QStringLiteral("alarm"));
    o.insert(QStringLiteral("kind"), QLatin1String(kindName(n.kind)));
    o.insert(QStringLiteral("site"), n.site);
    o.insert(QStringLiteral("station"), n.station);
    o.insert(QStringLiteral("channel"), n.channel);
    o.insert(QStringLiteral("position"), n.position);
    o.insert(QStringLiteral("started_at"), n.startedAt.toString(Qt::ISODate));
    o.insert(QStringLiteral("at"), n.at.toString(Qt::ISODate));
    if (n.hasValue) {
        o.insert(QStringLiteral("value"), rounded(n.value));
        o.insert(QStringLiteral("peak"), rounded(n.peak));
    }
    if (n.hasLimit)
        o.insert(QStringLiteral("limit"), rounded(n.limit));
    if (!n.reason.isEmpty())
        o.insert(QStringLiteral("reason"), n.reason);
    if (!n.acknowledgedBy.isEmpty())
        o.insert(QStringLiteral("acknowledged_by"), n.acknowledgedBy);
    o.insert(QStringLiteral("text"), n.text);
    return o;
}

MailText alarmMail(const QList<AlarmNotice>& notices)
{
    MailText mail;
    if (notices.isEmpty())
        return mail;
    const QString& site = notices.first().site;
    if (notices.size() == 1) {
        const AlarmNotice& n = notices.first();
        mail.subject = QStringLiteral("%1 %2 %3").arg(subjectPrefix(site), eventLabel(n), placeText(n));
    } else {
        int started = 0, ended = 0, acknowledged = 0;
        for (const AlarmNotice& n : notices)
            ++(n.event == AlarmNotice::Event::Started ? started
               : n.event == AlarmNotice::Event::Ended ? ended
                                                      : acknowledged);
        QStringList counts;
        if (started > 0)
            counts << QStringLiteral("开始 %1").arg(started);
        if (ended > 0)
            counts << QStringLiteral("结束 %1").arg(ended);
        if (acknowledged > 0)
            counts << QStringLiteral("确认 %1").arg(acknowledged);
        mail.subject = QStringLiteral("%1 %2 条报警事件：%3")
                           .arg(subjectPrefix(site))
                           .arg(notices.size())
                           .arg(counts.join(QStringLiteral("，")));
    }
    QStringList lines;
    lines << QStringLiteral("%1 的报警事件：").arg(site.isEmpty() ? QStringLiteral("tq5900k") : site) << QString();
    for (const AlarmNotice& n : notices)
        lines << noticeLine(n);
    lines << QString() << QStringLiteral("此邮件由 tq5900k 自动发出。");
    mail.body = lines.join(u'\n') + u'\n';
    return mail;
}

MailText testMail(const QString& site)
{
    return {QStringLiteral("%1 测试通知").arg(subjectPrefix(site)),
            QStringLiteral("这是 tq5900k 的测试通知：报警将发送到这里。\n")};
}

QByteArray mailMessage(const MailText& mail, const QString& from, const QStringList& to, const QDateTime& date,
                       const QByteArray& messageId)
{
    QByteArray out;
    out += headerLine("From", from.toUtf8());
    out += headerLine("To", to.join(QStringLiteral(", ")).toUtf8());
    out += headerLine("Subject", encodedHeaderText(mail.subject));
    out += headerLine("Date", date.toString(Qt::RFC2822Date).toLatin1());
    out += headerLine("Message-ID", '<' + messageId + '>');
    out += headerLine("MIME-Version", "1.0");
    out += headerLine("Content-Type", "text/plain; charset=UTF-8");
    out += headerLine("Content-Transfer-Encoding", "base64");
    out += "\r\n";
    const QByteArray body = mail.body.toUtf8().replace("\n", "\r\n").toBase64();
    for (qsizetype i = 0; i < body.size(); i += 76)
        out += body.mid(i, 76) + "\r\n";
    return out;
}

QByteArray webhookBody(const AlarmNotice& notice)
{
    QJsonObject text;
    text.insert(QStringLiteral("content"), subjectPrefix(notice.site) + u' ' + noticeLine(notice));
    QJsonObject o;
    o.insert(QStringLiteral("msgtype"), QStringLiteral("text"));
    o.insert(QStringLiteral("text"), text);
    o.insert(QStringLiteral("alarm"), noticeObject(notice));
    return compactJson(o);
}

QByteArray webhookTestBody(const QString& site)
{
    const MailText mail = testMail(site);
    QJsonObject text;
    text.insert(QStringLiteral("content"), mail.subject + u' ' + mail.body.trimmed());
    QJsonObject o;
    o.insert(QStringLiteral("msgtype"), QStringLiteral("text"));
    o.insert(QStringLiteral("text"), text);
    o.insert(QStringLiteral("test"), true);
    return compactJson(o);
}

QList<MqttAlarmMessage> MqttAlarmState::messagesFor(const AlarmNotice& notice, const QString& fallbackSite)
{
    const QString site = notice.site.isEmpty() ? fallbackSite : notice.site;
    const QByteArray payload = compactJson(noticeObject(notice));
    QList<MqttAlarmMessage> messages{{site::alarmEventsTopic(site), payload, false}};
    const QByteArray topic = site::alarmTopic(site, notice.station, notice.channel, notice.position);
    QMap<qint64, QByteArray>& here = m_inForce[topic];
    if (notice.event == AlarmNotice::Event::Ended)
        here.remove(notice.alarmId);
    else
        here.insert(notice.alarmId, payload);
    if (here.isEmpty()) {
        m_inForce.remove(topic);
        messages.append({topic, QByteArray(), true});
    } else {
        messages.append({topic, here.last(), true}); // the newest alarm in force here
    }
    return messages;
}

} // namespace notify
