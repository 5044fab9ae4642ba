// The pure parts of the alarms' delivery: notify.set, the e-mail, the webhook's
// JSON and the MQTT messages.

#include "notify/alarm_messages.h"
#include "notify/notify_settings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

using alarms::AlarmNotice;
using namespace notify;

namespace {

AlarmNotice notice(qint64 id, AlarmNotice::Event event, int station = 1, int channel = 2, int position = 5)
{
    AlarmNotice n;
    n.alarmId = id;
    n.event = event;
    n.site = QStringLiteral("一号仓");
    n.station = station;
    n.channel = channel;
    n.position = position;
    n.startedAt = QDateTime(QDate(2026, 12, 10), QTime(13, 0, 0), QTimeZone(8 * 3600));
    n.at = n.startedAt.addSecs(90);
    n.value = 38.499999;
    n.hasValue = true;
    n.peak = 39.1;
    n.limit = 35;
    n.hasLimit = true;
    n.text = QStringLiteral("温度 38.50 °C 超过上限 35.00 °C");
    return n;
}

// The header's value with RFC 2047 encoded words decoded (only B, UTF-8).
QString decodedHeader(const QByteArray& message, const QByteArray& name)
{
    const qsizetype start = message.indexOf("\r\n" + name + ": ");
    QByteArray value;
    for (qsizetype i = start + name.size() + 4;; ) {
        const qsizetype lineEnd = message.indexOf("\r\n", i);
        value += message.mid(i, lineEnd - i).trimmed();
        if (message.at(lineEnd + 2) != ' ')
            break;
        i = lineEnd + 2;
    }
    QString text;
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    qsizetype last = 0;
    const QString all = QString::fromLatin1(value);
    for (auto it = word.globalMatch(all); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        last = m.capturedEnd();
        text += QString::fromUtf8(QByteArray::fromBase64(m.captured(1).toLatin1()));
    }
    return last == 0 ? all : text;
}

} // namespace

class TestNotify : public QObject
{
    Q_OBJECT
private slots:
    void parsesNotifySet_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("errorLine"); // -1: parsed
        QTest::addColumn<QString>("errorField");

        const QByteArray mail = "smtp_host,mail.example.com\r\nmail_from,alarm@example.com\r\nmail_to,a@example.com\r\n";
        QTest::newRow("mail, CR LF") << mail << -1 << QString();
        QTest::newRow("webhooks only, comments, blank lines")
            << QByteArray("# alarms\n\nwebhook,https://chat.example.com/send?key=1\nwebhook, http://10.0.0.2:8080/a \n")
            << -1 << QString();
        QTest::newRow("unknown name") << mail + "smtp_hots,x\r\n" << 4 << "?";
        QTest::newRow("port out of range") << "smtp_port,70000\n" + mail << 1 << "smtp_port";
        QTest::newRow("bad security") << mail + "smtp_tls,ssl\n" << 4 << "smtp_tls";
        QTest::newRow("given twice") << mail + "mail_from,b@example.com\n" << 4 << "mail_from";
        QTest::newRow("no value") << mail + "gather_seconds\n" << 4 << "gather_seconds";
        QTest::newRow("two values") << mail + "gather_seconds,1,2\n" << 4 << "gather_seconds";
        QTest::newRow("receiver not an address") << mail + "mail_to,bob\n" << 4 << "mail_to";
        QTest::newRow("no receiver")
            << QByteArray("smtp_host,h\nmail_from,alarm@example.com\n") << 0 << "mail_to";
        QTest::newRow("receivers without a server") << QByteArray("mail_to,a@example.com\n") << 0 << "smtp_host";
        QTest::newRow("webhook not http") << QByteArray("webhook,ftp://x/y\n") << 1 << "webhook";
        QTest::newRow("password file without user")
            << mail + "smtp_password_file,notify.pwd\n" << 0 << "smtp_user";
        QTest::newRow("retry first above last")
            << mail + "retry_first_seconds,60\nretry_last_seconds,10\n" << 5 << "retry_last_seconds";
        QTest::newRow("unclosed quote") << mail + "mail_to,\"a@example.com\n" << 4 << "mail_to";
    }
    void parsesNotifySet()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, errorLine);
        QFETCH(QString, errorField);
        const auto parsed = parseNotifySet(content);
        if (errorLine < 0) {
            if (const NotifySetError* error = std::get_if<NotifySetError>(&parsed))
                QFAIL(qPrintable(error->field + u' ' + error->rule));
            return;
        }
        QVERIFY(std::holds_alternative<NotifySetError>(parsed));
        const NotifySetError& error = std::get<NotifySetError>(parsed);
        QCOMPARE(QString(error.field), errorField);
        QCOMPARE(error.line, errorLine);
    }

    // Everything the page and the reader set comes back from the file as it was.
    void formatsWhatItParses()
    {
        NotifySettings s;
        s.smtpHost = QStringLiteral("mail.example.com");
        s.smtpPort = 2525;
        s.smtpSecurity = SmtpSecurity::Tls;
        s.smtpUser = QStringLiteral("alarm, the robot");
        s.smtpPasswordFile = QStringLiteral("notify.pwd");
        s.smtpPassword = QStringLiteral("never written");
        s.mailFrom = QStringLiteral("alarm@example.com");
        s.mailTo = QStringList{QStringLiteral("a@example.com"), QStringLiteral("b@example.com")};
        s.webhooks = QStringList{QStringLiteral("https://chat.example.com/send?key=a,b")};
        s.gatherMs = 0;
        s.retryFirstMs = 2000;
        s.retryLastMs = 120000;
        s.queueBound = 77;
        const QByteArray content = formatNotifySet(s);
        QVERIFY(!content.contains("never written"));
        const auto parsed = parseNotifySet(content);
        QVERIFY(std::holds_alternative<NotifySettings>(parsed));
        const NotifySettings& back = std::get<NotifySettings>(parsed);
        QCOMPARE(back.smtpHost, s.smtpHost);
        QCOMPARE(back.smtpPort, s.smtpPort);
        QCOMPARE(back.smtpSecurity, s.smtpSecurity);
        QCOMPARE(back.smtpUser, s.smtpUser);
        QCOMPARE(back.smtpPasswordFile, s.smtpPasswordFile);
        QCOMPARE(back.mailTo, s.mailTo);
        QCOMPARE(back.webhooks, s.webhooks);
        QCOMPARE(back.gatherMs, s.gatherMs);
        QCOMPARE(back.retryFirstMs, s.retryFirstMs);
        QCOMPARE(back.retryLastMs, s.retryLastMs);
        QCOMPARE(back.queueBound, s.queueBound);
        QCOMPARE(smtpUrl(back), QStringLiteral("smtps://mail.example.com:2525"));
    }

    void mailSubjectAndBody_data()
    {
        QTest::addColumn<QList<AlarmNotice>>("notices");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QStringList>("bodyHas");

        AlarmNotice ack = notice(7, AlarmNotice::Event::Acknowledged);
        ack.acknowledgedBy = QStringLiteral("张三");
        AlarmNotice ended = notice(8, AlarmNotice::Event::Ended, 3, 0, 0);
        ended.level = AlarmNotice::Level::Warning;
        ended.reason = QStringLiteral("恢复正常");
        ended.text.clear();
        ended.hasValue = ended.hasLimit = false;
        ended.kind = AlarmNotice::Kind::StationSilent;
        QTest::newRow("one event") << QList<AlarmNotice>{notice(7, AlarmNotice::Event::Started)}
                                   << QStringLiteral("[tq5900k 一号仓] 报警开始 1号站 2通道 5号测点")
                                   << QStringList{QStringLiteral("2026-12-10 13:01:30 报警开始 1号站 2通道 5号测点：温度 38.50 °C 超过上限 35.00 °C")};
        QTest::newRow("a minute's events")
            << QList<AlarmNotice>{notice(7, AlarmNotice::Event::Started), ack, ended,
                                  notice(9, AlarmNotice::Event::Started)}
            << QStringLiteral("[tq5900k 一号仓] 4 条报警事件：开始 2，结束 1，确认 1")
            << QStringList{QStringLiteral("报警已确认 1号站 2通道 5号测点：温度 38.50 °C 超过上限 35.00 °C（确认人：张三）"),
                           QStringLiteral("预警结束 3号站：站无应答（恢复正常）")};
    }
    void mailSubjectAndBody()
    {
        QFETCH(QList<AlarmNotice>, notices);
        QFETCH(QString, subject);
        QFETCH(QStringList, bodyHas);
        const MailText mail = alarmMail(notices);
        QCOMPARE(mail.subject, subject);
        for (const QString& line : bodyHas)
            QVERIFY2(mail.body.contains(line + u'\n'), qPrintable(mail.body));
        QCOMPARE(mail.body.count(QStringLiteral("\n2026-12-10 ")), notices.size()); // one line per event

        // As SMTP carries it: the subject in encoded words no longer than 75, the body in base64.
        const QByteArray message = mailMessage(mail, QStringLiteral("alarm@example.com"),
                                               {QStringLiteral("a@example.com"), QStringLiteral("b@example.com")},
                                               notices.first().at, "id-1@tq5900k");
        QCOMPARE(decodedHeader(message, "Subject"), subject);
        QVERIFY(message.contains("\r\nTo: a@example.com, b@example.com\r\n"));
        QVERIFY(message.contains("\r\nMessage-ID: <id-1@tq5900k>\r\n"));
        for (const QByteArray& line : message.split('\n'))
            QVERIFY2(line.size() <= 78, line.constData());
        const QByteArray body = message.mid(message.indexOf("\r\n\r\n") + 4);
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(QByteArray(body).replace("\r\n", ""))),
                 QString(mail.body).replace(u'\n', QStringLiteral("\r\n")));
    }

    void webhookBodyForChatRobots()
    {
        AlarmNotice n = notice(42, AlarmNotice::Event::Ended);
        n.reason = QStringLiteral("恢复正常");
        const QJsonObject o = QJsonDocument::fromJson(webhookBody(n)).object();
        QCOMPARE(o.value(QStringLiteral("msgtype")).toString(), QStringLiteral("text"));
        QCOMPARE(o.value(QStringLiteral("text")).toObject().value(QStringLiteral("content")).toString(),
                 QStringLiteral("[tq5900k 一号仓] ") + noticeLine(n));
        const QJsonObject a = o.value(QStringLiteral("alarm")).toObject();
        QCOMPARE(a.value(QStringLiteral("id")).toInteger(), 42);
        QCOMPARE(a.value(QStringLiteral("event")).toString(), QStringLiteral("ended"));
        QCOMPARE(a.value(QStringLiteral("level")).toString(), QStringLiteral("alarm"));
        QCOMPARE(a.value(QStringLiteral("kind")).toString(), QStringLiteral("high"));
        QCOMPARE(a.value(QStringLiteral("value")).toDouble(), 38.5);
        QCOMPARE(a.value(QStringLiteral("limit")).toDouble(), 35.0);
        QCOMPARE(a.value(QStringLiteral("at")).toString(), QStringLiteral("2026-12-10T13:01:30+08:00"));
        QCOMPARE(a.value(QStringLiteral("reason")).toString(), QStringLiteral("恢复正常"));
        QVERIFY(!a.contains(QStringLiteral("acknowledged_by")));
    }

    // Each event on the events topic; the sensor's retained message is its newest alarm in force, or emptied.
    void mqttMessages_data()
    {
        QTest::addColumn<QList<AlarmNotice>>("events");
        QTest::addColumn<QList<qint64>>("retainedIds"); // after each event: the retained alarm, 0 emptied

        using E = AlarmNotice::Event;
        QTest::newRow("start, acknowledge, end")
            << QList<AlarmNotice>{notice(1, E::Started), notice(1, E::Acknowledged), notice(1, E::Ended)}
            << QList<qint64>{1, 1, 0};
        QTest::newRow("two alarms on one sensor")
            << QList<AlarmNotice>{notice(1, E::Started), notice(2, E::Started), notice(2, E::Ended),
                                  notice(1, E::Ended)}
            << QList<qint64>{1, 2, 1, 0};
        QTest::newRow("other sensors untouched")
            << QList<AlarmNotice>{notice(1, E::Started), notice(2, E::Started, 1, 2, 6), notice(1, E::Ended)}
            << QList<qint64>{1, 2, 0};
    }
    void mqttMessages()
    {
        QFETCH(QList<AlarmNotice>, events);
        QFETCH(QList<qint64>, retainedIds);
        MqttAlarmState state;
        for (int i = 0; i < events.size(); ++i) {
            const AlarmNotice& n = events[i];
            const QList<MqttAlarmMessage> messages = state.messagesFor(n, QStringLiteral("unused"));
            QCOMPARE(messages.size(), 2);
            QCOMPARE(messages[0].topic, QByteArray("tq5900k/一号仓/alarms/events"));
            QVERIFY(!messages[0].retained);
            QCOMPARE(QJsonDocument::fromJson(messages[0].payload).object().value(QStringLiteral("id")).toInteger(),
                     n.alarmId);
            QCOMPARE(messages[1].topic, QStringLiteral("tq5900k/一号仓/alarms/1/2/%1").arg(n.position).toUtf8());
            QVERIFY(messages[1].retained);
            const qint64 id = messages[1].payload.isEmpty()
                                  ? 0
                                  : QJsonDocument::fromJson(messages[1].payload).object().value(QStringLiteral("id")).toInteger();
            QCOMPARE(id, retainedIds[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestNotify)
#include "test_notify.moc"
