// Publishing readings to a broker: the options and the topic levels they name,
// the window's mqtt.set, and the publisher against a real mosquitto broker:
// every value once, nothing lost while the broker is away (within the queue's
// bound; beyond it the oldest dropped and counted), the reader's status online
// and offline, also when the reader is killed; a stop that keeps to its time
// whatever the broker does; no further attempt after a refused login or a
// failed TLS handshake.

#include "../common/mosquitto_broker.h"
#include "../common/mqtt_subscriber.h"
#include "../common/silent_port.h"
#include "../common/test_files.h"

#include "site/mqtt_publisher.h"
#include "site/mqtt_settings.h"
#include "site/mqtt_topics.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace site;
using State = MqttPublisher::State;

namespace {

// Set in the environment of this program started as a reader the test kills.
const char* const kReaderPortVariable = "TQ_TEST_MQTT_READER_PORT";

#define SKIP_WITHOUT_BROKER()                                                                                \
    if (!MosquittoBroker::available())                                                                       \
    QSKIP("/usr/sbin/mosquitto is not installed (Debian package mosquitto): the publisher is not tried "     \
          "against a broker")

MqttOptions optionsFor(quint16 port, const QString& name = QStringLiteral("line1"))
{
    MqttOptions o;
    o.host = QStringLiteral("127.0.0.1");
    o.port = port;
    o.site = QStringLiteral("plant");
    o.name = name;
    o.reconnectFirstMs = 100;
    o.reconnectLastMs = 1000;
    return o;
}

QByteArray numbered(int k)
{
    return valueTopic(QStringLiteral("plant"), 1, 1 + k % 10, 1 + k % 160);
}

// What the subscriber received before the message "end", each payload once.
QSet<QByteArray> receivedBeforeEnd(const MqttSubscriber& subscriber)
{
    QSet<QByteArray> payloads;
    for (const QByteArray& payload : subscriber.payloads()) {
        if (payload == "end")
            break;
        payloads.insert(payload);
    }
    return payloads;
}

// As the reader's program: connects, says so on its output, and runs until killed.
int runKilledReader(quint16 port)
{
    MqttPublisher publisher(optionsFor(port, QStringLiteral("killed")));
    QObject::connect(&publisher, &MqttPublisher::stateChanged, [](State state) {
        if (state == State::Connected) {
            std::puts("connected");
            std::fflush(stdout);
        }
    });
    if (!publisher.start().isEmpty())
        return 2;
    return QCoreApplication::exec();
}

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void optionsChecked_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("bound");
        QTest::addColumn<QString>("problem"); // what the message says; empty: usable

        const QString site = QStringLiteral("plant"), name = QStringLiteral("line1");
        QTest::newRow("usable") << site << name << 1883 << QString() << 1 << QString();
        QTest::newRow("levels in Chinese")
            << QStringLiteral("一号厂区") << QStringLiteral("二号线") << 1 << QString() << 100 << QString();
        QTest::newRow("site empty") << QString() << name << 1883 << QString() << 100 << "the site is empty";
        QTest::newRow("site a/b") << "a/b" << name << 1883 << QString() << 100
                                  << "the site \"a/b\" contains '/'";
        QTest::newRow("site a+") << "a+" << name << 1883 << QString() << 100
                                 << "the site \"a+\" contains '+'";
        QTest::newRow("site #") << "#" << name << 1883 << QString() << 100 << "the site \"#\" contains '#'";
        QTest::newRow("name empty") << site << QString() << 1883 << QString() << 100
                                    << "the reader's name is empty";
        QTest::newRow("name x/y") << site << "x/y" << 1883 << QString() << 100
                                  << "the reader's name \"x/y\" contains '/'";
        QTest::newRow("port 0") << site << name << 0 << QString() << 100 << "the port 0";
        QTest::newRow("port 65536") << site << name << 65536 << QString() << 100 << "the port 65536";
        QTest::newRow("password, no user")
            << site << name << 1883 << "secret" << 100 << "a password is given without a user";
        QTest::newRow("bound 0") << site << name << 1883 << QString() << 0 << "the queue bound 0";
        QTest::newRow("bound 1000001")
            << site << name << 1883 << QString() << 1000001 << "the queue bound 1000001 is not 1..1000000";
    }
    void optionsChecked()
    {
        QFETCH(QString, site);
        QFETCH(QString, name);
        QFETCH(int, port);
        QFETCH(QString, password);
        QFETCH(int, bound);
        QFETCH(QString, problem);
        MqttOptions o = optionsFor(quint16(0));
        o.site = site;
        o.name = name;
        o.port = port;
        o.password = password;
        o.queueBound = bound;
        const QString text = checkMqttOptions(o);
        if (problem.isEmpty())
            QCOMPARE(text, QString());
        else
            QVERIFY2(text.startsWith(problem), qPrintable(text));
        // A publisher with such options does not start.
        MqttPublisher publisher(o);
        if (!problem.isEmpty())
            QCOMPARE(publisher.start(), text);
    }

    void mqttSetRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>(
            "fields"); // host port site name user password ca_file bound, or the bad field

        const QString host = QSysInfo::machineHostName();
        QTest::newRow("host only") << QByteArray("broker.local\r\n")
                                   << "broker.local 1883 site " + host + " - - - 100000";
        QTest::newRow("every field") << QByteArray("10.0.0.5,8883,plant,line1,reader,s3cret,ca.pem,500\r\n")
                                     << "10.0.0.5 8883 plant line1 reader s3cret ca.pem 500";
        QTest::newRow("empty fields take defaults")
            << QByteArray("broker,,,,,,,\r\n") << "broker 1883 site " + host + " - - - 100000";
        QTest::newRow("quoted, blanks, comma in password")
            << QByteArray(" broker , 1884 , \"plant\" , line1, u, \"a,b\"\r\n")
            << "broker 1884 plant line1 u a,b - 100000";
        QTest::newRow("UTF-8 levels") << QByteArray("broker,1883,一号厂区,二号线\r\n")
                                      << QStringLiteral("broker 1883 一号厂区 二号线 - - - 100000");
        QTest::newRow("empty file") << QByteArray() << "host";
        QTest::newRow("no host") << QByteArray(",1883,plant\r\n") << "host";
        QTest::newRow("port 0") << QByteArray("broker,0\r\n") << "port";
        QTest::newRow("port 70000") << QByteArray("broker,70000\r\n") << "port";
        QTest::newRow("port -1") << QByteArray("broker,-1\r\n") << "port";
        QTest::newRow("site a/b") << QByteArray("broker,1883,a/b\r\n") << "site";
        QTest::newRow("site +") << QByteArray("broker,1883,+\r\n") << "site";
        QTest::newRow("name #") << QByteArray("broker,1883,plant,#\r\n") << "name";
        QTest::newRow("password without user") << QByteArray("broker,1883,plant,line1,,pw\r\n") << "user";
        QTest::newRow("quote not closed") << QByteArray("broker,1883,plant,line1,u,\"pw\r\n") << "password";
        QTest::newRow("bound 0") << QByteArray("broker,1883,plant,line1,,,,0\r\n") << "queue_bound";
        QTest::newRow("bound too big")
            << QByteArray("broker,1883,plant,line1,,,,1000001\r\n") << "queue_bound";
    }
    void mqttSetRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, fields);
        const auto parsed = parseMqttSet(content);
        if (const auto* field = std::get_if<QLatin1String>(&parsed)) {
            QCOMPARE(QString(*field), fields);
            return;
        }
        const MqttOptions& o = std::get<MqttOptions>(parsed);
        const auto orDash = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
        const QStringList read = {
            o.host,         QString::number(o.port), o.site,           o.name,
            orDash(o.user), orDash(o.password),      orDash(o.caFile), QString::number(o.queueBound)};
        QCOMPARE(read.join(u' '), fields);
    }

    void mqttSetSavedAndLoaded()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("mqtt.set"));
        QCOMPARE(loadMqttSet(dir.path()).status, MqttSetLoad::Missing);

        MqttOptions o = optionsFor(1884);
        o.user = QStringLiteral(" reader ");
        o.password = QStringLiteral("p,w\"x"); // a quote where quotes are needed cannot be written
        QVERIFY(!saveMqttSet(dir.path(), o));
        o.password = QStringLiteral("p,w x");
        o.caFile = QStringLiteral("certs/ca.pem");
        QVERIFY(saveMqttSet(dir.path(), o));
        QCOMPARE(fileBytes(path),
                 QByteArray("127.0.0.1,1884,plant,line1,\" reader \",\"p,w x\",certs/ca.pem,100000\r\n"));
        const MqttSetLoad load = loadMqttSet(dir.path());
        QCOMPARE(load.status, MqttSetLoad::Ok);
        QCOMPARE(load.options.user, o.user);
        QCOMPARE(load.options.password, o.password);
        QCOMPARE(load.options.caFile, QDir(dir.path()).filePath(QStringLiteral("certs/ca.pem")));

        QVERIFY(writeBytes(path, "127.0.0.1,1883,a/b\r\n"));
        const MqttSetLoad bad = loadMqttSet(dir.path());
        QCOMPARE(bad.status, MqttSetLoad::Unreadable);
        QVERIFY2(bad.errorText.contains(path) && bad.errorText.contains(QStringLiteral(" site ")),
                 qPrintable(bad.errorText));
    }

    // With the broker up each value arrives once, on its topic, with its record
    // as payload; the retained status says "online" while connected and
    // "offline" after a clean stop.
    void everyValueArrivesOnceAndStatusFollows()
    {
        SKIP_WITHOUT_BROKER();
        MosquittoBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        MqttSubscriber values(broker.port(), "tq5900k/plant/1/#");
        QTRY_VERIFY(values.subscribed());

        MqttPublisher publisher(optionsFor(broker.port()));
        QSignalSpy states(&publisher, &MqttPublisher::stateChanged);
        QCOMPARE(publisher.start(), QString());
        QTRY_COMPARE(publisher.state(), State::Connected);
        const QByteArray status = statusTopic(QStringLiteral("plant"), QStringLiteral("line1"));
        {
            MqttSubscriber watcher(broker.port(), status);
            QTRY_COMPARE(watcher.payloads(), QList<QByteArray>{"online"});
            QVERIFY(watcher.messages().first().retained);
        }

        ChannelRecords records;
        records.readings = {history::readingFromRaw(1796682788123, 1, 2, 3, 2345),
                            history::readingFromRaw(1796682788123, 1, 2, 4, 0xBAD2)};
        records.failure = ChannelFailure{1796682788123, 1, 2, ReplyFailure::NoReply};
        publisher.publishRecords(records);
        constexpr int kCount = 3000;
        for (int k = 0; k < kCount; ++k)
            QVERIFY(publisher.publish(numbered(k), QByteArray::number(k)));
        QVERIFY(publisher.publish("tq5900k/plant/1/last", "last"));
        QTRY_COMPARE(publisher.counters().published, kCount + 4);
        // Nothing sent before the last message can come after it.
        QTRY_VERIFY(!values.messages().isEmpty() && values.messages().last().payload == "last");

        const QList<MqttSubscriber::Message> got = values.messages();
        QCOMPARE(got.size(), kCount + 4);
        QCOMPARE(got[0].topic, QByteArray("tq5900k/plant/1/2/3"));
        QCOMPARE(got[0].payload, jsonObject(records.readings[0]));
        QCOMPARE(got[1].topic, QByteArray("tq5900k/plant/1/2/4"));
        QCOMPARE(got[2].topic, QByteArray("tq5900k/plant/1/2/error"));
        QCOMPARE(got[2].payload, jsonObject(*records.failure));
        for (int k = 0; k < kCount; ++k) {
            QCOMPARE(got[3 + k].topic, numbered(k));
            QCOMPARE(got[3 + k].payload, QByteArray::number(k));
            QVERIFY(!got[3 + k].retained);
        }
        QCOMPARE(publisher.counters().waiting, 0);
        QCOMPARE(publisher.counters().dropped, 0);

        QCOMPARE(publisher.stop(), 0);
        QVERIFY(!publisher.publish(numbered(0), "after the stop"));
        MqttSubscriber watcher(broker.port(), status);
        QTRY_COMPARE(watcher.payloads(), QList<QByteArray>{"offline"});
        QTRY_COMPARE(states.size(), 3);
        QCOMPARE(states[0][0].value<State>(), State::Connecting);
        QCOMPARE(states[1][0].value<State>(), State::Connected);
        QCOMPARE(states[2][0].value<State>(), State::Off);
    }

    // Values go on being published while the broker is away for 10 s, from the
    // moment it stops answering, and after it is back; every one of them arrives,
    // those that were on their way when it went included (some may arrive twice).
    void nothingLostWhileBrokerAway()
    {
        SKIP_WITHOUT_BROKER();
        // The subscriber's session outlives the broker, so that what the publisher
        // sends before the subscriber is back waits for it.
        MosquittoBroker broker(true);
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        MqttSubscriber values(broker.port(), "tq5900k/plant/1/#", "values");
        QTRY_VERIFY(values.subscribed());
        QVERIFY2(broker.save(), qPrintable(broker.log()));
        MqttPublisher publisher(optionsFor(broker.port()));
        QCOMPARE(publisher.start(), QString());
        QTRY_COMPARE(publisher.state(), State::Connected);

        int sent = 0;
        QTimer line; // a pass of 20 values every 20 ms
        QObject::connect(&line, &QTimer::timeout, [&] {
            for (int k = 0; k < 20; ++k, ++sent)
                publisher.publish(numbered(sent), QByteArray::number(sent));
        });
        line.start(20);
        QTest::qWait(1000);
        // Values sent while it hangs are lost with it, unacknowledged.
        broker.freeze();
        QTest::qWait(300);
        broker.kill();
        QTRY_COMPARE(publisher.state(), State::Reconnecting);
        QVERIFY(!publisher.stateReason().isEmpty());
        QTest::qWait(10000);
        QVERIFY(publisher.counters().waiting > 5000); // the values of the last 10 s
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 5000);
        QTest::qWait(500);
        line.stop();

        QTRY_COMPARE_WITH_TIMEOUT(publisher.counters().waiting, 0, 10000);
        QCOMPARE(publisher.counters().dropped, 0);
        QCOMPARE(publisher.counters().published, sent);
        const auto arrived = [&values] {
            const QList<QByteArray> payloads = values.payloads();
            return QSet<QByteArray>(payloads.cbegin(), payloads.cend());
        };
        QTRY_COMPARE_WITH_TIMEOUT(arrived().size(), sent, 10000);
        const QSet<QByteArray> all = arrived();
        for (int k = 0; k < sent; ++k)
            QVERIFY2(all.contains(QByteArray::number(k)), qPrintable(QString::number(k)));
    }

    // Beyond the queue's bound the oldest values not on their way go, and are
    // counted; what is on its way stays and is counted published once the
    // broker acknowledges it. Every value queued is published, dropped or waiting.
    void oldestDroppedBeyondTheBound_data()
    {
        QTest::addColumn<bool>("onTheirWay"); // the first values sent before the rest come
        QTest::newRow("queued while the broker is away") << false;
        QTest::newRow("on their way to a broker that hangs") << true;
    }
    void oldestDroppedBeyondTheBound()
    {
        QFETCH(bool, onTheirWay);
        SKIP_WITHOUT_BROKER();
        MosquittoBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        MqttSubscriber values(broker.port(), "tq5900k/plant/1/#");
        QTRY_VERIFY(values.subscribed());

        constexpr int kBound = 5, kCount = 50;
        MqttOptions o = optionsFor(broker.port());
        o.queueBound = kBound;
        MqttPublisher publisher(o);
        const auto invariantHolds = [&publisher] {
            const MqttCounters c = publisher.counters();
            return c.published + c.dropped + c.waiting == kCount;
        };
        if (onTheirWay) {
            QCOMPARE(publisher.start(), QString());
            QTRY_COMPARE(publisher.state(), State::Connected);
            broker.freeze();
            for (int k = 1; k <= kBound; ++k)
                QVERIFY(publisher.publish(numbered(k), QByteArray::number(k)));
            QTRY_COMPARE(publisher.counters().onTheirWay, kBound); // handed to the connection
        }
        for (int k = onTheirWay ? kBound + 1 : 1; k <= kCount; ++k)
            QVERIFY(publisher.publish(numbered(k), QByteArray::number(k)));
        QCOMPARE(publisher.counters().waiting, kBound);
        QVERIFY(invariantHolds());
        if (onTheirWay)
            broker.thaw();
        else
            QCOMPARE(publisher.start(), QString());

        QTRY_COMPARE(publisher.counters().waiting, 0);
        QVERIFY(invariantHolds());
        QVERIFY(publisher.publish("tq5900k/plant/1/last", "end"));
        QTRY_VERIFY(values.payloads().contains("end"));
        const MqttCounters counts = publisher.counters();
        QCOMPARE(counts.published, kBound + 1);
        QCOMPARE(counts.dropped, kCount - kBound);
        // Exactly what was counted published arrived.
        QCOMPARE(receivedBeforeEnd(values).size(), kBound);
        if (!onTheirWay) // the newest
            QCOMPARE(receivedBeforeEnd(values), (QSet<QByteArray>{"46", "47", "48", "49", "50"}));
    }

    // stop() returns within its flush (and a little), with what is left
    // unacknowledged, whatever holds the network thread: a connection
    // refused, a wait between attempts, a broker that takes the connection and
    // never answers, a host that never completes it, a broker that hangs with
    // messages on their way. So does the destructor, with its own short flush.
    void stopKeepsToItsTime_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<bool>("destroyed"); // rather than stopped

        QTest::newRow("port closed") << "closed" << false;
        QTest::newRow("waiting between attempts") << "closed, long pause" << false;
        QTest::newRow("broker silent") << "silent" << false;
        QTest::newRow("host never answers") << "black hole" << false;
        QTest::newRow("host never answers, publisher destroyed") << "black hole" << true;
        QTest::newRow("broker hangs") << "hanging broker" << false;
    }
    void stopKeepsToItsTime()
    {
        QFETCH(QString, peer);
        QFETCH(bool, destroyed);
        std::unique_ptr<SilentPort> silent;
        std::unique_ptr<MosquittoBroker> broker;
        quint16 port = 0;
        if (peer.startsWith(QLatin1String("closed"))) {
            port = SilentPort(true).port(); // closed again
        } else if (peer == QLatin1String("hanging broker")) {
            SKIP_WITHOUT_BROKER();
            broker = std::make_unique<MosquittoBroker>();
            QVERIFY2(broker->start(), qPrintable(broker->log()));
            port = broker->port();
        } else {
            silent = std::make_unique<SilentPort>(peer == QLatin1String("silent"));
            port = silent->port();
        }
        QVERIFY(port != 0);

        MqttOptions o = optionsFor(port);
        if (peer == QLatin1String("closed, long pause"))
            o.reconnectFirstMs = o.reconnectLastMs = 60000;
        auto publisher = std::make_unique<MqttPublisher>(o);
        QCOMPARE(publisher->start(), QString());
        if (broker) {
            QTRY_COMPARE(publisher->state(), State::Connected);
            broker->freeze();
        } else if (!silent) {
            QTRY_COMPARE(publisher->state(), State::Reconnecting);
        } else {
            QTRY_COMPARE(publisher->counters().attempts, 1);
            QTest::qWait(200); // the attempt under way
        }
        for (int k = 0; k < 3; ++k)
            QVERIFY(publisher->publish(numbered(k), QByteArray::number(k)));

        QElapsedTimer clock;
        clock.start();
        if (destroyed)
            publisher.reset();
        else
            QCOMPARE(publisher->stop(500), 3);
        // Generous for a loaded machine; a stop held up by the connection takes 3.5 s and more.
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        if (!destroyed) // its network thread ended, not left behind in a connection attempt
            QCOMPARE(publisher->state(), State::Off);
        if (broker)
            broker->thaw();
    }

    // A broker that refuses the login, or a TLS handshake that fails, is
    // tried once: the publisher fails with the reason, and what it queued
    // stays counted. The right login and the right CA connect.
    void refusedOrFailedIsTriedOnce_data()
    {
        QTest::addColumn<QByteArray>("password"); // the user is "reader"; empty: no login
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("rightCa");
        QTest::addColumn<QString>("failure");    // in the reason; empty: connects
        QTest::addColumn<QString>("brokerSays"); // in the broker's log, once per attempt

        QTest::newRow("right password") << QByteArray("s3cret") << false << false << QString() << QString();
        QTest::newRow("wrong password") << QByteArray("guess") << false << false << "Connection Refused"
                                        << "not authorised";
        QTest::newRow("no login") << QByteArray() << false << false << "Connection Refused"
                                  << "not authorised";
        QTest::newRow("TLS, the broker's CA")
            << QByteArray("s3cret") << true << true << QString() << QString();
        QTest::newRow("TLS, another CA")
            << QByteArray("s3cret") << true << false << "certificate verify failed"
            << "unknown ca";
    }
    void refusedOrFailedIsTriedOnce()
    {
        QFETCH(QByteArray, password);
        QFETCH(bool, tls);
        QFETCH(bool, rightCa);
        QFETCH(QString, failure);
        QFETCH(QString, brokerSays);
        SKIP_WITHOUT_BROKER();
        if (tls && MosquittoBroker::openssl().isEmpty())
            QSKIP("openssl is not installed: no certificates for a TLS broker");
        MosquittoBroker broker(MosquittoBroker::Access{"reader", "s3cret", tls});
        QVERIFY2(broker.setupProblem().isEmpty(), qPrintable(broker.setupProblem()));
        QVERIFY2(broker.start(), qPrintable(broker.log()));

        MqttOptions o = optionsFor(broker.port());
        if (!password.isEmpty()) {
            o.user = QStringLiteral("reader");
            o.password = QString::fromUtf8(password);
        }
        if (tls)
            o.caFile = rightCa ? broker.caFile() : broker.otherCaFile();
        MqttPublisher publisher(o);
        QVERIFY(publisher.publish(numbered(1), "1"));
        QCOMPARE(publisher.start(), QString());
        if (failure.isEmpty()) {
            QTRY_COMPARE(publisher.state(), State::Connected);
            QTRY_COMPARE(publisher.counters().published, 1);
            return;
        }
        QTRY_COMPARE(publisher.state(), State::Failed);
        QVERIFY2(publisher.stateReason().contains(failure), qPrintable(publisher.stateReason()));
        const std::clock_t before = std::clock();
        QTest::qWait(1000); // attempts 100, 200, 400 ms apart, were they made
        const double cpuSeconds = double(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuSeconds < 0.5, qPrintable(QString::number(cpuSeconds))); // a failed thread waits quietly
        QCOMPARE(publisher.counters().attempts, 1);
        QVERIFY2(broker.log().count(brokerSays) == 1, qPrintable(broker.log())); // once per attempt
        QCOMPARE(publisher.state(), State::Failed);
        QVERIFY(publisher.publish(numbered(2), "2"));
        QCOMPARE(publisher.counters().waiting, 2);
        QCOMPARE(publisher.stop(), 2);
    }

    // A TLS handshake whose first words could only be sent once the connection
    // completed, waiting for a broker that then says nothing, waits quietly:
    // libmosquitto goes on wishing to write, and a thread that took it at its
    // word would spin until the attempt ends.
    void tlsHandshakeWaitsQuietly()
    {
        if (MosquittoBroker::openssl().isEmpty())
            QSKIP("openssl is not installed: no certificates for a TLS broker");
        const MosquittoBroker certificates(MosquittoBroker::Access{{}, {}, true}); // never started
        QVERIFY2(certificates.setupProblem().isEmpty(), qPrintable(certificates.setupProblem()));
        SilentPort host(false);
        QVERIFY(host.port() != 0);
        MqttOptions o = optionsFor(host.port());
        o.caFile = certificates.caFile();
        MqttPublisher publisher(o);
        QCOMPARE(publisher.start(), QString());
        QTRY_COMPARE(publisher.counters().attempts, 1);
        host.admitOne(); // the SYN sent again after 1 s gets through
        QTest::qWait(1500);
        const std::clock_t before = std::clock();
        QTest::qWait(2000);
        const double cpuSeconds = double(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuSeconds < 0.5, qPrintable(QString::number(cpuSeconds))); // spinning: about 2 s
        QCOMPARE(publisher.state(), State::Connecting);
    }

    // A reader that is killed leaves no "online": the broker says "offline" for it.
    void killedReaderTurnsOffline()
    {
        SKIP_WITHOUT_BROKER();
        MosquittoBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        MqttSubscriber status(broker.port(), statusTopic(QStringLiteral("plant"), QStringLiteral("killed")));
        QTRY_VERIFY(status.subscribed());

        QProcess reader;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kReaderPortVariable), QString::number(broker.port()));
        reader.setProcessEnvironment(environment);
        reader.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(reader.waitForReadyRead(10000));
        QCOMPARE(reader.readLine(), QByteArray("connected\n"));
        QTRY_COMPARE(status.payloads(), QList<QByteArray>{"online"});
        reader.kill();
        QVERIFY(reader.waitForFinished(5000));
        QTRY_COMPARE(status.payloads(), (QList<QByteArray>{"online", "offline"}));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kReaderPortVariable))
        return runKilledReader(quint16(qEnvironmentVariableIntValue(kReaderPortVariable)));
    TestMqtt test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_mqtt.moc"
