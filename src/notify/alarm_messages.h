#pragma once
// What an alarm event becomes on its way to people: a line of text, an e-mail
// gathering several events, a webhook's JSON object, MQTT messages. Pure: the
// same notices give the same bytes.

#include "alarms/alarm_notice.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace notify {

// "报警开始", "预警结束", "报警已确认", ...
QString eventLabel(const alarms::AlarmNotice& notice);
// "1号站 2通道 5号" (only as far as the notice names a place).
QString placeText(const alarms::AlarmNotice& notice);
// One line for a person: time, what happened, where, the engine's text and
// (ended, acknowledged) why or by whom.
QString noticeLine(const alarms::AlarmNotice& notice);

// The event's fields as JSON: id, event, level, kind, site, station, channel,
// position, started_at, at, value, peak, limit, reason, acknowledged_by, text.
QJsonObject noticeObject(const alarms::AlarmNotice& notice);

struct MailText
{
    QString subject;
    QString body;
};
// The subject and body of one e-mail for `notices` (one or more, in their order).
MailText alarmMail(const QList<alarms::AlarmNotice>& notices);
// The e-mail sent by the settings page's test.
MailText testMail(const QString& site);

// The whole message as SMTP carries it: headers (From, To, Subject in UTF-8,
// Date, Message-ID, MIME) and the body in base64, lines ended by CR LF.
QByteArray mailMessage(const MailText& mail, const QString& from, const QStringList& to, const QDateTime& date,
                       const QByteArray& messageId);

// The webhook's body for an event: {"msgtype":"text","text":{"content":line},
// "alarm":{fields}}: chat robots that take a text message show the line.
QByteArray webhookBody(const alarms::AlarmNotice& notice);
QByteArray webhookTestBody(const QString& site);

struct MqttAlarmMessage
{
    QByteArray topic;
    QByteArray payload; // empty with retained: the retained message is cleared
    bool retained = false;
};

// The alarms in force per sensor, and the MQTT messages each event makes: the
// event on the events topic, and the sensor's retained message: the newest
// alarm in force there, or none (emptied) when the last one ended.
class MqttAlarmState
{
public:
    // `fallbackSite`: the topics' site when the notice names none.
    QList<MqttAlarmMessage> messagesFor(const alarms::AlarmNotice& notice, const QString& fallbackSite);

private:
    QMap<QByteArray, QMap<qint64, QByteArray>> m_inForce; // topic -> alarm id -> its last payload
};

} // namespace notify
