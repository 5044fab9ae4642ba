// The reader publishing to a real mosquitto broker, reading two simulated
// modules (stations 1 and 2) on one pseudo-terminal: every value printed
// arrives once, a broker that goes away for 10 s loses nothing, and a reader
// killed or stopped says "offline".

#include "../common/mosquitto_broker.h"
#include "../common/mqtt_subscriber.h"

#include "sim/simulated_module.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kChannels = 4;
constexpr int kSensors = 10;
const QByteArray kStatusTopic = "tq5900k/plant/readers/line1/status";

// The payloads of the values and failures the subscriber got (not the status).
QHash<QByteArray, int> valuesIn(const QList<MqttSubscriber::Message>& messages)
{
    QHash<QByteArray, int> counts;
    for (const MqttSubscriber::Message& m : messages)
        if (m.topic != kStatusTopic)
            ++counts[m.payload];
    return counts;
}

// Whether each line printed arrived at least as often as printed.
bool everyLineArrived(const QHash<QByteArray, int>& printed, const MqttSubscriber& subscriber)
{
    const QHash<QByteArray, int> got = valuesIn(subscriber.messages());
    for (auto it = printed.cbegin(); it != printed.cend(); ++it)
        if (got.value(it.key()) < it.value())
            return false;
    return true;
}

// How often the reader said `status` while the subscriber listened (not the retained copies).
int statusesSaid(const MqttSubscriber& subscriber, const QByteArray& status)
{
    int count = 0;
    for (const MqttSubscriber::Message& m : subscriber.messages())
        count += m.topic == kStatusTopic && m.payload == status && !m.retained;
    return count;
}

QByteArray lastStatus(const MqttSubscriber& subscriber)
{
    QByteArray status;
    for (const MqttSubscriber::Message& m : subscriber.messages())
        if (m.topic == kStatusTopic)
            status = m.payload;
    return status;
}

} // namespace

class TestReaderBroker : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<sim::SimulatedModule> m_line;
    std::unique_ptr<MosquittoBroker> m_broker;

    void startReader(QProcess& reader, const QStringList& more)
    {
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     QStringList{QStringLiteral("--port"), m_line->slavePath(), QStringLiteral("--stations"),
                                 QStringLiteral("1,2"), QStringLiteral("--channels"),
                                 QString::number(kChannels), QStringLiteral("--sensors"),
                                 QString::number(kSensors), QStringLiteral("--format"),
                                 QStringLiteral("jsonl"), QStringLiteral("--mqtt-host"),
                                 QStringLiteral("127.0.0.1"), QStringLiteral("--mqtt-port"),
                                 QString::number(m_broker->port()), QStringLiteral("--site"),
                                 QStringLiteral("plant"), QStringLiteral("--name"), QStringLiteral("line1")} +
                         more);
        QVERIFY(reader.waitForStarted(10000));
    }

    // The lines the reader printed, each with how often.
    static QHash<QByteArray, int> printedBy(QProcess& reader)
    {
        QHash<QByteArray, int> counts;
        for (const QByteArray& line : reader.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                ++counts[line];
        return counts;
    }

private Q_SLOTS:
    void init()
    {
        if (!MosquittoBroker::available())
            QSKIP("/usr/sbin/mosquitto is not installed (Debian package mosquitto)");
        m_line = std::make_unique<sim::SimulatedModule>(m_folder.path(), 4, sim::ModuleModel::demo());
        m_line->addModule(sim::ModuleModel::demo(), 2);
        QString error;
        QVERIFY2(m_line->start(&error, true), qPrintable(error));
        m_broker = std::make_unique<MosquittoBroker>(true);
        QVERIFY2(m_broker->start(), qPrintable(m_broker->log()));
    }
    void cleanup()
    {
        m_broker.reset();
        m_line.reset();
    }

    void everyValueOfARoundArrivesOnce()
    {
        MqttSubscriber subscriber(m_broker->port(), "tq5900k/plant/#");
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.subscribed(), 10000);
        QProcess reader;
        startReader(reader, {QStringLiteral("--once")});
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 30000);
        QCOMPARE(reader.exitCode(), 0);
        const QHash<QByteArray, int> printed = printedBy(reader);
        QCOMPARE(printed.size(), 2 * kChannels * kSensors);
        QTRY_COMPARE_WITH_TIMEOUT(valuesIn(subscriber.messages()), printed, 10000);
        // Each value under its own topic.
        for (const MqttSubscriber::Message& m : subscriber.messages())
            if (m.payload.contains("\"station\":2,\"channel\":3,\"position\":7,"))
                QCOMPARE(m.topic, QByteArray("tq5900k/plant/2/3/7"));
        // Stopped cleanly: it said "offline" itself.
        QTRY_COMPARE_WITH_TIMEOUT(lastStatus(subscriber), QByteArray("offline"), 10000);
    }

    // One round for a script: a broker that got none of it is exit status 3.
    void onceWithTheBrokerAwayIsNotDone()
    {
        m_broker->stop();
        QProcess reader;
        startReader(reader, {QStringLiteral("--once")});
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 30000);
        QCOMPARE(reader.exitCode(), 3);
        QCOMPARE(printedBy(reader).size(), 2 * kChannels * kSensors); // the readings are printed all the same
        const QString error = QString::fromLocal8Bit(reader.readAllStandardError());
        QVERIFY2(error.contains(QStringLiteral("条消息未送达 MQTT 代理")), qPrintable(error));
    }

    void brokerAwayForTenSecondsLosesNothing()
    {
        // The subscriber's session outlives the broker's restart, as a site's consumer's does.
        MqttSubscriber subscriber(m_broker->port(), "tq5900k/plant/#", "test-subscriber");
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.subscribed(), 10000);
        QProcess reader;
        startReader(reader, {QStringLiteral("--interval"), QStringLiteral("0")});
        QTRY_COMPARE_WITH_TIMEOUT(lastStatus(subscriber), QByteArray("online"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(valuesIn(subscriber.messages()).size() > 0, 10000);
        m_broker->stop();
        QTest::qWait(10000); // the reader reads on, its values wait in its queue
        QVERIFY2(m_broker->start(), qPrintable(m_broker->log()));
        // Back: the reader connects again (its back-off may take a while) and says so.
        QTRY_COMPARE_WITH_TIMEOUT(statusesSaid(subscriber, "online"), 2, 30000);
        QTest::qWait(1000); // a few rounds more
        reader.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 15000);
        QCOMPARE(reader.exitCode(), 0);

        const QHash<QByteArray, int> printed = printedBy(reader);
        QVERIFY(printed.size() > 4 * 2 * kChannels * kSensors); // rounds during the outage too
        QTRY_VERIFY_WITH_TIMEOUT(everyLineArrived(printed, subscriber), 15000);
    }

    void killedReaderTurnsOffline()
    {
        MqttSubscriber subscriber(m_broker->port(), "tq5900k/plant/readers/#");
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.subscribed(), 10000);
        QProcess reader;
        startReader(reader, {QStringLiteral("--interval"), QStringLiteral("0")});
        QTRY_COMPARE_WITH_TIMEOUT(lastStatus(subscriber), QByteArray("online"), 10000);
        reader.kill();
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 10000);
        // The broker says it for the reader: its last will.
        QTRY_COMPARE_WITH_TIMEOUT(lastStatus(subscriber), QByteArray("offline"), 10000);
    }
};

QTEST_GUILESS_MAIN(TestReaderBroker)
#include "test_reader_broker.moc"
