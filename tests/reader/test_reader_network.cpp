// The reader over network lines: the simulator's own TCP and Modbus TCP servers
// in process, then the program through ser2net (a serial device server in front
// of the simulator's pseudo-terminal) and through pymodbus's Modbus TCP server.
// Every module holds -- like tests/reader/modbus_tcp_server.py -- channel C's
// position P at (-1)^(C+1) * (C * 100 + P) hundredths of a degree.

#include "reader/site_reader.h"

#include "port/line_backend.h"
#include "port/mscomm.h"
#include "port/port_messages.h"
#include "sim/net_server.h"
#include "sim/simulated_module.h"

#include "../common/local_tcp.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kChannels = 10;
constexpr int kSensors = 40;

int hundredths(int channel, int position)
{
    const int value = channel * 100 + position;
    return channel % 2 == 1 ? value : -value;
}

sim::ModuleModel knownModule()
{
    sim::ModuleModel model;
    for (int channel = 1; channel <= kChannels; ++channel)
        for (int position = 1; position <= kSensors; ++position)
            model.setSensor(channel, position, sim::SensorState::temperature(hundredths(channel, position)));
    return model;
}

// "channel.position=value" for every reading, in order; "channel=state" for a failed channel.
QStringList expectedReadings()
{
    QStringList lines;
    for (int channel = 1; channel <= kChannels; ++channel)
        for (int position = 1; position <= kSensors; ++position)
            lines << QStringLiteral("%1.%2=%3")
                         .arg(channel)
                         .arg(position)
                         .arg(hundredths(channel, position) / 100.0, 0, 'f', 2);
    return lines;
}

QStringList summary(const QVector<site::ChannelRecords>& records)
{
    QStringList lines;
    for (const site::ChannelRecords& r : records) {
        for (const history::Reading& reading : r.readings)
            lines << QStringLiteral("%1.%2=%3")
                         .arg(reading.channel)
                         .arg(reading.position)
                         .arg(qint16(reading.raw) / 100.0, 0, 'f', 2);
        if (r.failure)
            lines << QStringLiteral("%1=%2").arg(r.failure->channel).arg(site::failureText(r.failure->failure));
    }
    return lines;
}

// The reader's CSV lines ("time,station,channel,position,value,state,raw") as a summary.
QStringList summary(const QByteArray& csv)
{
    QStringList lines;
    const QList<QByteArray> rows = csv.split('\n');
    for (const QByteArray& row : rows.mid(1)) {
        const QList<QByteArray> f = row.split(',');
        if (f.size() == 7)
            lines << QStringLiteral("%1.%2=%3").arg(f[2], f[3], f[4]) +
                         (f[5] == "ok" ? QString() : QStringLiteral(" ") + QString::fromLatin1(f[5]));
    }
    return lines;
}



reader::ReaderOptions options(const QString& port)
{
    reader::ReaderOptions o;
    o.port = port;
    o.channels = kChannels;
    o.sensors = kSensors;
    o.once = true;
    return o;
}

} // namespace

class TestReaderNetwork : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<sim::SimulatedModule> m_module;

    // The reader program, --once over all channels, until it ends; its standard output.
    QByteArray runProgram(const QString& port)
    {
        QProcess reader;
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     {QStringLiteral("--port"), port, QStringLiteral("--channels"), QString::number(kChannels),
                      QStringLiteral("--sensors"), QString::number(kSensors), QStringLiteral("--once")});
        // A module in this process answers: wait with the event loop running.
        [&] { QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 60000); }();
        [&] { QCOMPARE(reader.readAllStandardError(), QByteArray()); }();
        [&] { QCOMPARE(reader.exitCode(), 0); }();
        return reader.readAllStandardOutput();
    }

    // A started process that is ended (and waited for) when the test function ends.
    std::unique_ptr<QProcess, void (*)(QProcess*)> startHelper(const QString& program, const QStringList& arguments)
    {
        std::unique_ptr<QProcess, void (*)(QProcess*)> process(new QProcess, [](QProcess* p) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
            delete p;
        });
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        return process;
    }

private Q_SLOTS:
    void init()
    {
        m_module = std::make_unique<sim::SimulatedModule>(m_folder.path(), 4, knownModule());
    }
    void cleanup() { m_module.reset(); }

    void simulatorServers_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<QString>("scheme");
        QTest::newRow("tcp") << int(sim::NetServer::RawTcp) << "tcp";
        QTest::newRow("mbap") << int(sim::NetServer::Mbap) << "mbap";
    }
    void simulatorServers()
    {
        QFETCH(int, framing);
        QFETCH(QString, scheme);
        sim::NetServer server(sim::NetServer::Framing(framing),
                              [this](const QByteArray& request) { return m_module->answer(request); });
        QVERIFY(server.listen(QHostAddress::LocalHost, 0, nullptr));
        const QString address = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(server.port());

        port::MSComm line(std::make_unique<port::LineBackend>());
        QVERIFY(reader::openLine(line, address, 9600));
        requests::RequestCore core(&line);
        reader::SiteReader siteReader(core, options(address));
        QVector<site::ChannelRecords> records;
        siteReader.onChannel([&records](const site::ChannelRecords& r) { records.append(r); });
        QSignalSpy finished(&siteReader, &reader::SiteReader::finished);
        siteReader.start();
        QVERIFY(finished.wait(60000));
        QCOMPARE(summary(records), expectedReadings());
        QCOMPARE(m_module->framesReceived().size(), kChannels);
    }

    // The modes that run and end wait for a network line to connect: the line
    // test asks its requests over it, the scan finds the module behind it.
    void lineTestAndScanOverANetworkLine()
    {
        sim::NetServer server(sim::NetServer::RawTcp,
                              [this](const QByteArray& request) { return m_module->answer(request); });
        QVERIFY(server.listen(QHostAddress::LocalHost, 0, nullptr));
        const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(server.port());
        const auto run = [&](const QStringList& arguments) {
            QProcess reader;
            reader.start(QStringLiteral(TQ_READER_PROGRAM), QStringList{QStringLiteral("--port"), address} + arguments);
            [&] { QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 60000); }();
            [&] { QCOMPARE(reader.exitCode(), 0); }();
            return QString::fromUtf8(reader.readAllStandardOutput());
        };
        const QString figures = run({QStringLiteral("--line-test"), QStringLiteral("5")});
        QVERIFY2(figures.startsWith(QStringLiteral("请求 5，正确应答 5，")), qPrintable(figures));
        QCOMPARE(run({QStringLiteral("--scan"), QStringLiteral("--scan-stations"), QStringLiteral("1-2"),
                      QStringLiteral("--scan-bauds"), QStringLiteral("9600")}),
                 QStringLiteral("1,9600,10\n"));
    }

    // The connection ends during a round: said once; the next round connects again and reads it all.
    void droppedConnectionMidRound_data() { simulatorServers_data(); }
    void droppedConnectionMidRound()
    {
        QFETCH(int, framing);
        QFETCH(QString, scheme);
        // The connection ends instead of the answer to the first round's channel 3.
        int requests = 0;
        sim::NetServer server(sim::NetServer::Framing(framing), [&](const QByteArray& request) {
            if (++requests == 3) {
                QTimer::singleShot(0, &server, &sim::NetServer::dropConnections);
                return QByteArray();
            }
            return m_module->answer(request);
        });
        QVERIFY(server.listen(QHostAddress::LocalHost, 0, nullptr));
        const QString address = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(server.port());

        port::MSComm line(std::make_unique<port::LineBackend>());
        QVERIFY(reader::openLine(line, address, 9600));
        requests::RequestCore core(&line);
        reader::ReaderOptions o = options(address);
        o.once = false;
        o.intervalSeconds = 0;
        reader::SiteReader siteReader(core, o);
        QVector<site::ChannelRecords> round;
        QList<QStringList> rounds;
        siteReader.onChannel([&round](const site::ChannelRecords& r) { round.append(r); });
        siteReader.onRound([&] {
            rounds.append(summary(round));
            round.clear();
        });
        QSignalSpy problems(&siteReader, &reader::SiteReader::portProblem);
        QSignalSpy back(&siteReader, &reader::SiteReader::portBack);
        siteReader.start();
        QTRY_VERIFY_WITH_TIMEOUT(rounds.size() >= 3, 60000);
        QSignalSpy finished(&siteReader, &reader::SiteReader::finished);
        siteReader.stop();
        QVERIFY(finished.wait(10000));

        QCOMPARE(problems.size(), 1);
        QVERIFY(problems[0][0].toString().startsWith(port::connectionLostText()));
        QCOMPARE(back.size(), 1);
        QCOMPARE(rounds[0], expectedReadings().mid(0, 2 * kSensors)); // channels 1 and 2
        QCOMPARE(rounds[1], expectedReadings());
        QCOMPARE(rounds[2], expectedReadings());
    }

    // ser2net (a serial device server) between the simulator's pseudo-terminal and a TCP port.
    void throughSer2net()
    {
        const QString ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin"});
        if (ser2net.isEmpty())
            QSKIP("ser2net is not installed (Debian package ser2net)");
        QString error;
        QVERIFY2(m_module->start(&error, true), qPrintable(error));
        const quint16 port = freePort();
        QVERIFY(port != 0);
        QFile config(m_folder.filePath(QStringLiteral("ser2net.yaml")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("connection: &line\n"
                                    "  accepter: tcp,127.0.0.1,%1\n"
                                    "  connector: serialdev,%2,9600n81,local\n"
                                    "  options:\n"
                                    "    kickolduser: true\n")
                         .arg(port)
                         .arg(m_module->slavePath())
                         .toUtf8());
        config.close();
        // -n: stay in the foreground; -u: no UUCP lock files; its own pid file.
        auto server = startHelper(ser2net, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                                            config.fileName(), QStringLiteral("-P"),
                                            m_folder.filePath(QStringLiteral("ser2net.pid"))});
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        QCOMPARE(summary(runProgram(QStringLiteral("tcp://127.0.0.1:%1").arg(port))), expectedReadings());
        QCOMPARE(m_module->framesReceived().size(), kChannels);
    }

    // pymodbus's Modbus TCP server holds the registers; the reader reads them as temperatures.
    void throughPymodbus()
    {
        // Debian's interpreter, where python3-pymodbus installs.
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                                   ? QStringLiteral("/usr/bin/python3")
                                   : QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty() || QProcess::execute(python, {QStringLiteral("-c"),
                                                           QStringLiteral("import pymodbus.server")}) != 0)
            QSKIP("pymodbus is not installed (Debian package python3-pymodbus)");
        const quint16 port = freePort();
        QVERIFY(port != 0);
        auto server = startHelper(python, {QStringLiteral(TQ_MODBUS_SERVER), QString::number(port)});
        QTRY_VERIFY_WITH_TIMEOUT(listening(port) || server->state() == QProcess::NotRunning, 20000);
        QCOMPARE(server->state(), QProcess::Running);
        QCOMPARE(summary(runProgram(QStringLiteral("mbap://127.0.0.1:%1").arg(port))), expectedReadings());
    }
};

QTEST_GUILESS_MAIN(TestReaderNetwork)
#include "test_reader_network.moc"
