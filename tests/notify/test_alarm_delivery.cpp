// The delivery against real servers on 127.0.0.1: an SMTP server (Python's
// aiosmtpd), an HTTP receiver (Python's http.server) and mosquitto. Each
// event must arrive once, also after a server that was down comes up.

#include "../common/mosquitto_broker.h"
#include "../common/mqtt_subscriber.h"
#include "python_sink.h"
#include "notify/alarm_delivery.h"
#include "site/mqtt_publisher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using alarms::AlarmNotice;
using notify::AlarmDelivery;
using notify::DestinationStatus;

namespace {

// The events a received e-mail or webhook body tells of, as the "E<id>-<event>" texts the notices carry.
QStringList eventsIn(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray content = file.readAll();
    QString text;
    if (path.endsWith(QLatin1String(".eml"))) {
        const QByteArray body = content.mid(content.indexOf("\r\n\r\n") + 4);
        text = QString::fromUtf8(QByteArray::fromBase64(QByteArray(body).replace("\r\n", "")));
    } else {
        text = QJsonDocument::fromJson(content).object().value(QStringLiteral("alarm")).toObject().value(
            QStringLiteral("text")).toString();
    }
    QStringList events;
    static const QRegularExpression tag(QStringLiteral("E\\d+-\\w+"));
    for (auto it = tag.globalMatch(text); it.hasNext();)
        events << it.next().captured();
    return events;
}

AlarmNotice makeNotice(qint64 id, AlarmNotice::Event event)
{
    static const char* names[] = {"started", "ended", "acknowledged"};
    AlarmNotice n;
    n.alarmId = id;
    n.event = event;
    n.site = QStringLiteral("bins");
    n.station = 1;
    n.channel = 1 + int(id % 3);
    n.position = int(id);
    n.startedAt = n.at = QDateTime::currentDateTime();
    n.value = 41.5;
    n.hasValue = true;
    n.text = QStringLiteral("E%1-%2").arg(id).arg(QLatin1String(names[int(event)]));
    return n;
}

// The events of `count` alarms: each starts; the even ones are acknowledged; two in three end.
QList<AlarmNotice> alarmEvents(int count)
{
    QList<AlarmNotice> events;
    for (int id = 1; id <= count; ++id) {
        events << makeNotice(id, AlarmNotice::Event::Started);
        if (id % 2 == 0)
            events << makeNotice(id, AlarmNotice::Event::Acknowledged);
        if (id % 3 != 0)
            events << makeNotice(id, AlarmNotice::Event::Ended);
    }
    return events;
}

notify::NotifySettings fastSettings(quint16 smtpPort, const QStringList& webhooks = {})
{
    notify::NotifySettings s;
    if (smtpPort != 0) {
        s.smtpHost = QStringLiteral("127.0.0.1");
        s.smtpPort = smtpPort;
        s.smtpSecurity = notify::SmtpSecurity::None;
        s.mailFrom = QStringLiteral("alarm@bins.example");
        s.mailTo = QStringList{QStringLiteral("a@bins.example"), QStringLiteral("b@bins.example")};
    }
    s.webhooks = webhooks;
    s.gatherMs = 300;
    s.retryFirstMs = 100; // "a minute" of the field made short: the same back-off, doubling
    s.retryLastMs = 800;
    s.attemptTimeoutMs = 10000;
    return s;
}

// How many times each event was received, over all files of the sinks.
QMap<QString, int> receivedCounts(const QList<const Sink*>& sinks)
{
    QMap<QString, int> counts;
    for (const Sink* sink : sinks)
        for (const QString& file : sink->files())
            for (const QString& event : eventsIn(file))
                ++counts[event];
    return counts;
}

int duplicates(const QMap<QString, int>& counts)
{
    int extra = 0;
    for (const int n : counts)
        extra += n - 1;
    return extra;
}

QString webhookUrl(const Sink& sink)
{
    return QStringLiteral("http://127.0.0.1:%1/robot/send?key=k").arg(sink.port());
}

} // namespace

class TestAlarmDelivery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (const QString problem = Sink::unavailable("import aiosmtpd, http.server"); !problem.isEmpty())
            QSKIP(qPrintable(QStringLiteral("needs python3-aiosmtpd: %1").arg(problem)));
    }

    // Mail, webhook and broker each get every event once; the broker keeps the alarms in force.
    void deliversEachEventOnce()
    {
        Sink smtp("smtp_sink.py"), web("http_sink.py");
        QVERIFY(smtp.start());
        QVERIFY(web.start());
        std::unique_ptr<MosquittoBroker> broker;
        std::unique_ptr<site::MqttPublisher> publisher;
        std::unique_ptr<MqttSubscriber> events;
        if (MosquittoBroker::available()) {
            broker = std::make_unique<MosquittoBroker>();
            QVERIFY(broker->start());
            site::MqttOptions mqtt;
            mqtt.host = QStringLiteral("127.0.0.1");
            mqtt.port = broker->port();
            mqtt.site = QStringLiteral("bins");
            publisher = std::make_unique<site::MqttPublisher>(mqtt);
            QCOMPARE(publisher->start(), QString());
            events = std::make_unique<MqttSubscriber>(broker->port(), "tq5900k/bins/alarms/events");
            QTRY_VERIFY_WITH_TIMEOUT(events->subscribed(), 10000);
        }

        AlarmDelivery delivery(fastSettings(smtp.port(), {webhookUrl(web)}));
        delivery.setMqttPublisher(publisher.get());
        QCOMPARE(delivery.start(), QString());
        const QList<AlarmNotice> all = alarmEvents(12);
        QElapsedTimer clock;
        clock.start();
        QHash<QString, QDateTime> sentAt;
        for (int i = 0; i < all.size(); ++i) {
            AlarmNotice n = all[i];
            n.at = QDateTime::currentDateTime();
            sentAt.insert(n.text, n.at);
            QVERIFY(delivery.deliver(n));
            if (i % 5 == 4)
                QTest::qWait(400); // a few e-mails, each gathering what came within its window
        }
        QTRY_COMPARE_WITH_TIMEOUT(receivedCounts({&smtp}).size(), all.size(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(receivedCounts({&web}).size(), all.size(), 30000);
        const QMap<QString, int> mail = receivedCounts({&smtp}), hooks = receivedCounts({&web});
        QCOMPARE(duplicates(mail), 0);
        QCOMPARE(duplicates(hooks), 0);
        QVERIFY2(smtp.files().size() < all.size(), "the e-mail gathers events");
        for (const DestinationStatus& s : delivery.status()) {
            QCOMPARE(s.delivered, qint64(all.size()));
            QCOMPARE(s.waiting, 0);
            QCOMPARE(s.dropped, 0);
        }

        // Delay from the event to its arrival: the e-mail's includes its gathering window.
        qint64 worstMail = 0, worstHook = 0;
        for (const Sink* sink : {&smtp, &web})
            for (const QString& file : sink->files()) {
                const QDateTime arrived = QFileInfo(file).lastModified();
                for (const QString& e : eventsIn(file))
                    (sink == &smtp ? worstMail : worstHook) =
                        std::max(sink == &smtp ? worstMail : worstHook, sentAt.value(e).msecsTo(arrived));
            }
        qInfo("delivery: %lld events, %lld e-mails, %lld webhook posts, duplicates 0, "
              "longest delay e-mail %lld ms (gathering 300 ms), webhook %lld ms",
              qint64(all.size()), qint64(smtp.files().size()), qint64(web.files().size()), worstMail, worstHook);

        if (!events)
            QSKIP("mosquitto not installed: the broker's part is not checked");
        QTRY_COMPARE_WITH_TIMEOUT(events->messages().size(), all.size(), 10000);
        QSet<QString> seen;
        for (const MqttSubscriber::Message& m : events->messages())
            seen.insert(QJsonDocument::fromJson(m.payload).object().value(QStringLiteral("text")).toString());
        QCOMPARE(seen.size(), all.size());
        // A subscriber coming later learns the alarms in force: those that did not end.
        MqttSubscriber inForce(broker->port(), "tq5900k/bins/alarms/+/+/+");
        QTRY_VERIFY_WITH_TIMEOUT(inForce.subscribed(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(inForce.messages().size(), 4, 10000); // alarms 3, 6, 9, 12
        for (const MqttSubscriber::Message& m : inForce.messages()) {
            QVERIFY(m.retained);
            const qint64 id = QJsonDocument::fromJson(m.payload).object().value(QStringLiteral("id")).toInteger();
            QCOMPARE(id % 3, 0);
            QCOMPARE(m.topic, QStringLiteral("tq5900k/bins/alarms/1/1/%1").arg(id).toUtf8());
        }
    }

    // The SMTP server is down for a while: the attempts fail, back off, and
    // once it is up every event arrives, once.
    void serverDownLosesNothing()
    {
        Sink smtp("smtp_sink.py");
        notify::NotifySettings settings = fastSettings(smtp.port());
        settings.gatherMs = 0;
        AlarmDelivery delivery(settings);
        QCOMPARE(delivery.start(), QString());
        const QList<AlarmNotice> all = alarmEvents(6);
        for (const AlarmNotice& n : all)
            delivery.deliver(n);
        QTRY_VERIFY_WITH_TIMEOUT(delivery.status().first().failedAttempts >= 4, 20000);
        const DestinationStatus down = delivery.status().first();
        QCOMPARE(down.state, DestinationStatus::State::Retrying);
        QVERIFY(!down.lastError.isEmpty());
        QCOMPARE(down.waiting, qint64(all.size()));
        QVERIFY(smtp.start());
        QTRY_COMPARE_WITH_TIMEOUT(delivery.status().first().delivered, qint64(all.size()), 30000);
        const QMap<QString, int> counts = receivedCounts({&smtp});
        QCOMPARE(counts.size(), all.size());
        QCOMPARE(duplicates(counts), 0);
        const DestinationStatus up = delivery.status().first();
        QCOMPARE(up.state, DestinationStatus::State::Idle);
        QCOMPARE(up.waiting, 0);
        qInfo("server down: %lld failed attempts, then %lld events delivered, duplicates 0",
              up.failedAttempts, up.delivered);
    }

    // A login the server refuses ends the attempts; the right one (over STARTTLS too) delivers.
    void login_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("starttls");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("right password") << "secret" << false << true;
        QTest::newRow("wrong password") << "guess" << false << false;
        QTest::newRow("STARTTLS, right password") << "secret" << true << true;
    }
    void login()
    {
        QFETCH(QString, password);
        QFETCH(bool, starttls);
        QFETCH(bool, delivered);
        QTemporaryDir certs;
        QStringList options{QStringLiteral("--login"), QStringLiteral("robot:secret")};
        const QString cert = certs.filePath(QStringLiteral("server.pem")), key = certs.filePath(QStringLiteral("server.key"));
        if (starttls) {
            QProcess openssl;
            openssl.start(MosquittoBroker::openssl(),
                          {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                           QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                           QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                           QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                           QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
            QVERIFY(openssl.waitForFinished(20000) && openssl.exitCode() == 0);
            options << QStringLiteral("--starttls") << cert << key;
        }
        Sink smtp("smtp_sink.py", options);
        QVERIFY(smtp.start());
        notify::NotifySettings settings = fastSettings(smtp.port());
        settings.gatherMs = 0;
        settings.smtpUser = QStringLiteral("robot");
        settings.smtpPassword = password;
        if (starttls) {
            settings.smtpSecurity = notify::SmtpSecurity::StartTls;
            settings.smtpCaFile = cert;
        }
        AlarmDelivery delivery(settings);
        QCOMPARE(delivery.start(), QString());
        delivery.deliver(makeNotice(1, AlarmNotice::Event::Started));
        if (delivered) {
            QTRY_COMPARE_WITH_TIMEOUT(delivery.status().first().delivered, 1, 20000);
            QCOMPARE(receivedCounts({&smtp}).size(), 1);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(delivery.status().first().state, DestinationStatus::State::Failed, 20000);
        QVERIFY(!delivery.status().first().lastError.isEmpty());
        QTest::qWait(1000); // several back-offs: no further attempt follows a refusal
        QCOMPARE(delivery.status().first().failedAttempts, 1);
        QCOMPARE(delivery.status().first().waiting, 1);
        QVERIFY(smtp.files().isEmpty());
    }

    // What the receiver answers decides: try again, drop this message, or give up on the URL.
    void webhookAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("delivered");
        QTest::addColumn<qint64>("dropped");
        QTest::addColumn<DestinationStatus::State>("state");
        QTest::newRow("503: again later") << 503 << qint64(2) << qint64(0) << DestinationStatus::State::Idle;
        QTest::newRow("429: again later") << 429 << qint64(2) << qint64(0) << DestinationStatus::State::Idle;
        QTest::newRow("400: not this one") << 400 << qint64(1) << qint64(1) << DestinationStatus::State::Idle;
        QTest::newRow("404: wrong URL") << 404 << qint64(0) << qint64(0) << DestinationStatus::State::Failed;
    }
    void webhookAnswers()
    {
        QFETCH(int, status);
        QFETCH(qint64, delivered);
        QFETCH(qint64, dropped);
        QFETCH(DestinationStatus::State, state);
        Sink web("http_sink.py", {QStringLiteral("--answer-first"), QStringLiteral("1"), QString::number(status)});
        QVERIFY(web.start());
        AlarmDelivery delivery(fastSettings(0, {webhookUrl(web)}));
        QCOMPARE(delivery.start(), QString());
        delivery.deliver(makeNotice(1, AlarmNotice::Event::Started));
        delivery.deliver(makeNotice(2, AlarmNotice::Event::Started));
        QTRY_VERIFY_WITH_TIMEOUT(delivery.status().first().waiting == 0 ||
                                     delivery.status().first().state == DestinationStatus::State::Failed,
                                 20000);
        const DestinationStatus s = delivery.status().first();
        QCOMPARE(s.delivered, delivered);
        QCOMPARE(s.dropped, dropped);
        QCOMPARE(s.state, state);
        QCOMPARE(qint64(web.files().size()), delivered);
    }

    // Beyond its bound a destination keeps the newest events (and the one being
    // sent, should the first attempt have begun before the others came).
    void boundKeepsNewest()
    {
        Sink web("http_sink.py");
        notify::NotifySettings settings = fastSettings(0, {webhookUrl(web)});
        settings.queueBound = 3;
        AlarmDelivery delivery(settings);
        QCOMPARE(delivery.start(), QString());
        for (int id = 1; id <= 5; ++id)
            delivery.deliver(makeNotice(id, AlarmNotice::Event::Started));
        QTRY_VERIFY_WITH_TIMEOUT(delivery.status().first().failedAttempts >= 1, 20000);
        QCOMPARE(delivery.status().first().dropped, 2);
        QVERIFY(web.start());
        QTRY_COMPARE_WITH_TIMEOUT(delivery.status().first().delivered, 3, 20000);
        const QStringList received = receivedCounts({&web}).keys();
        QCOMPARE(received.size(), 3);
        QVERIFY2(received.contains(QStringLiteral("E4-started")) && received.contains(QStringLiteral("E5-started")),
                 qPrintable(received.join(u' ')));
    }

    // Stopping does not wait out the back-off of a destination that is away:
    // what it could not take is counted as left.
    void stopLeavesWhatCannotBeSent()
    {
        Sink web("http_sink.py"); // never started
        notify::NotifySettings settings = fastSettings(0, {webhookUrl(web)});
        settings.retryFirstMs = settings.retryLastMs = 3600 * 1000;
        AlarmDelivery delivery(settings);
        QCOMPARE(delivery.start(), QString());
        delivery.deliver(makeNotice(1, AlarmNotice::Event::Started));
        delivery.deliver(makeNotice(2, AlarmNotice::Event::Started));
        QTRY_COMPARE_WITH_TIMEOUT(delivery.status().first().failedAttempts, 1, 20000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(delivery.stop(60000), 2);
        QVERIFY2(clock.elapsed() < 30000, "stop waited for the back-off");
        QVERIFY(!delivery.deliver(makeNotice(3, AlarmNotice::Event::Started)));
    }

    // The page's test: one attempt per destination, each result told.
    void testReportsEachDestination()
    {
        Sink smtp("smtp_sink.py"), web("http_sink.py"); // the receiver is not started
        QVERIFY(smtp.start());
        AlarmDelivery delivery(fastSettings(smtp.port(), {webhookUrl(web)}));
        QSignalSpy results(&delivery, &AlarmDelivery::testFinished);
        QCOMPARE(delivery.start(), QString());
        delivery.sendTest(QStringLiteral("bins"));
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 20000);
        QMap<QString, QString> byName;
        for (const QList<QVariant>& r : results)
            byName.insert(r.at(0).toString().section(u' ', 0, 0), r.at(1).toString());
        QCOMPARE(byName.value(QStringLiteral("邮件")), QString());
        QVERIFY(!byName.value(QStringLiteral("webhook")).isEmpty());
        QCOMPARE(smtp.files().size(), 1);
        QTest::qWait(500);
        QCOMPARE(delivery.status().last().failedAttempts, 0); // a test is not retried nor counted
    }
};

QTEST_GUILESS_MAIN(TestAlarmDelivery)
#include "test_alarm_delivery.moc"
