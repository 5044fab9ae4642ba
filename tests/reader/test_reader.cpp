// The reader against two simulated modules (stations 1 and 2) on one
// pseudo-terminal: its rounds in process, then the program itself as scripts and
// services run it (output, exit status, signals).

#include "reader/alarm_watch.h"
#include "reader/site_reader.h"

#include "acquisition/line_test.h"
#include "../notify/python_sink.h"
#include "alarms/alarms_file.h"
#include "history/history_store.h"
#include "port/memory_backend.h"
#include "port/mscomm.h"
#include "port/port_messages.h"
#include "port/qserialport_backend.h"
#include "protocol/baud_codes.h"
#include "protocol/temperature.h"
#include "sim/simulated_module.h"

#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

constexpr int kPort = 4;
constexpr int kChannels = 3;
constexpr int kSensors = 5;

// Two modules whose temperatures differ, so a reading given to the wrong station shows.
sim::ModuleModel moduleAt(int station)
{
    sim::ModuleModel model;
    model.setStation(station);
    for (int channel = 1; channel <= kChannels; ++channel)
        for (int position = 1; position <= kSensors; ++position)
            model.setSensor(channel, position,
                            sim::SensorState::temperature(station * 1000 + channel * 100 + position));
    model.setSensor(2, 4, sim::SensorState::notWired());
    return model;
}

// "station.channel.position=raw" per reading, "station.channel=state" per failed channel.
QStringList summary(const QVector<site::ChannelRecords>& records)
{
    QStringList lines;
    for (const site::ChannelRecords& r : records) {
        for (const history::Reading& reading : r.readings)
            lines << QStringLiteral("%1.%2.%3=%4")
                         .arg(reading.station)
                         .arg(reading.channel)
                         .arg(reading.position)
                         .arg(reading.raw);
        if (r.failure)
            lines << QStringLiteral("%1.%2=%3")
                         .arg(r.failure->station)
                         .arg(r.failure->channel)
                         .arg(site::failureText(r.failure->failure));
    }
    return lines;
}

QStringList expectedReadings(const sim::ModuleModel& model, int channels = kChannels, int sensors = kSensors)
{
    QStringList lines;
    for (int channel = 1; channel <= channels; ++channel)
        for (int position = 1; position <= sensors; ++position)
            lines << QStringLiteral("%1.%2.%3=%4")
                         .arg(model.station())
                         .arg(channel)
                         .arg(position)
                         .arg(model.registerAt(channel, position));
    return lines;
}

} // namespace

class TestReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<sim::SimulatedModule> m_line;

    reader::ReaderOptions options(const QList<int>& stations) const
    {
        reader::ReaderOptions o;
        o.port = QStringLiteral("COM4");
        o.stations = stations;
        o.channels = kChannels;
        o.sensors = kSensors;
        o.once = true;
        return o;
    }

    // Runs the reader in process until it finishes (or `whileRunning` stops it).
    QVector<site::ChannelRecords> runReader(const reader::ReaderOptions& o,
                                            const std::function<void(reader::SiteReader&)>& whileRunning = {})
    {
        port::MSComm line(std::make_unique<port::QSerialPortBackend>());
        [&] { QVERIFY(reader::openLine(line, m_line->slavePath(), o.baud)); }();
        requests::RequestCore core(&line);
        core.setLineTuning(o.tuning);
        reader::SiteReader siteReader(core, o);
        QVector<site::ChannelRecords> records;
        siteReader.onChannel([&records](const site::ChannelRecords& r) { records.append(r); });
        QSignalSpy finished(&siteReader, &reader::SiteReader::finished);
        siteReader.start();
        if (whileRunning)
            whileRunning(siteReader);
        [&] { QVERIFY(finished.wait(30000)); }();
        return records;
    }

private Q_SLOTS:
    void init()
    {
        m_line = std::make_unique<sim::SimulatedModule>(m_folder.path(), kPort, moduleAt(1));
        m_line->addModule(moduleAt(2), 2);
        QString error;
        QVERIFY2(m_line->start(&error, true), qPrintable(error));
    }
    void cleanup() { m_line.reset(); }

    void everyStationEveryChannelOnce()
    {
        const QVector<site::ChannelRecords> records = runReader(options({2, 1}));
        QCOMPARE(summary(records), expectedReadings(moduleAt(2)) + expectedReadings(moduleAt(1)));
        QCOMPARE(records[1].readings[3].state, history::ReadingState::NotWired);
        // One request per channel, on one line, one after another.
        QCOMPARE(m_line->framesReceived().size(), 2 * kChannels);
    }

    void failedChannelsAreReportedAsGaps()
    {
        QVERIFY(m_line->applyLine(QStringLiteral("fault corruptcrc channel=2")));
        const QStringList lines = summary(runReader(options({1, 3})));
        QVERIFY(lines.contains(QStringLiteral("1.2=crc_error")));
        QVERIFY(!lines.contains(QStringLiteral("1.2.1=1201")));
        QVERIFY(lines.contains(QStringLiteral("1.3.5=1305")));
        // Station 3 is not on the line: each of its channels is one gap.
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^3\\."))),
                 QStringList({QStringLiteral("3.1=no_reply"), QStringLiteral("3.2=no_reply"),
                              QStringLiteral("3.3=no_reply")}));
    }

    // Asked to stop while a channel's request is on the line: that channel is
    // given up (it records nothing) and no further request goes out.
    void stopGivesUpTheRequestOnTheLine()
    {
        reader::ReaderOptions o = options({1, 2});
        o.once = false;
        o.intervalSeconds = 0;
        const QVector<site::ChannelRecords> records = runReader(o, [this](reader::SiteReader& r) {
            // Stop while station 1's second channel is being read.
            connect(m_line.get(), &sim::SimulatedModule::frameReceived, &r, [this, &r] {
                if (m_line->framesReceived().size() == 2)
                    r.stop();
            });
        });
        QTest::qWait(200); // what the module sends for channel 2 is nobody's
        QCOMPARE(m_line->framesReceived().size(), 2);
        QCOMPARE(summary(records), expectedReadings(moduleAt(1)).mid(0, kSensors));
    }

    // Ten channels of forty sensors over a line that echoes the request, puts
    // zeros before the reply, hands it over in bursts or has a module slow to answer: every value arrives
    // right where the line is tuned for it. A module slower than the time-out
    // leaves its channels without a reply, never with another channel's values.
    void passOverATunedLine_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<bool>("read"); // false: every channel no_reply
        QTest::newRow("echo") << QStringList{"echo"} << 500 << true << true;
        QTest::newRow("five zeros before each reply") << QStringList{"leadzero 5"} << 500 << false << true;
        QTest::newRow("16 ms adapter bursts") << QStringList{"burst 16"} << 500 << false << true;
        QTest::newRow("slow module, time-out raised") << QStringList{"turnaround 600"} << 1000 << false << true;
        QTest::newRow("slow module, default time-out") << QStringList{"turnaround 600"} << 500 << false << false;
    }
    void passOverATunedLine()
    {
        QFETCH(QStringList, faults);
        QFETCH(int, timeoutMs);
        QFETCH(bool, echo);
        QFETCH(bool, read);
        constexpr int Channels = 10, Sensors = 40;
        sim::ModuleModel model;
        model.setStation(1);
        for (int channel = 1; channel <= Channels; ++channel)
            for (int position = 1; position <= Sensors; ++position)
                model.setSensor(channel, position, sim::SensorState::temperature(channel * 100 + position));
        m_line = std::make_unique<sim::SimulatedModule>(m_folder.path(), kPort, model);
        QString error;
        QVERIFY2(m_line->start(&error, true), qPrintable(error));
        for (const QString& fault : faults)
            QVERIFY(m_line->applyLine(QStringLiteral("fault ") + fault));
        reader::ReaderOptions o = options({1});
        o.channels = Channels;
        o.sensors = Sensors;
        o.tuning.replyTimeoutMs = timeoutMs;
        o.tuning.echo = echo;
        const QStringList lines = summary(runReader(o));
        if (read) {
            QCOMPARE(lines, expectedReadings(model, Channels, Sensors));
            return;
        }
        QStringList noReplies;
        for (int channel = 1; channel <= Channels; ++channel)
            noReplies << QStringLiteral("1.%1=no_reply").arg(channel);
        QCOMPARE(lines, noReplies);
    }

    // A channel whose first reply was lost is read on its second asking.
    void retryRecoversALostReply()
    {
        QVERIFY(m_line->applyLine(QStringLiteral("fault noreply next=1 channel=2")));
        reader::ReaderOptions o = options({1});
        o.tuning.retries = 1;
        QCOMPARE(summary(runReader(o)), expectedReadings(moduleAt(1)));
        QCOMPARE(m_line->framesReceived().size(), kChannels + 1);
    }

    // The line test sees what the line was made to do: the module's turnaround
    // in the reply times, the echo (dropped where the line's tuning says so,
    // otherwise skipped with the zeros), the zeros before each reply.
    void lineTestFiguresMatchTheLine_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<int>("skippedEach");
        QTest::newRow("echo set") << true << 3;
        QTest::newRow("echo not set") << false << 8 + 3;
    }
    void lineTestFiguresMatchTheLine()
    {
        QFETCH(bool, echo);
        QFETCH(int, skippedEach);
        for (const char* fault : {"fault turnaround 200", "fault echo", "fault leadzero 3"})
            QVERIFY(m_line->applyLine(QLatin1String(fault)));
        port::MSComm line(std::make_unique<port::QSerialPortBackend>());
        QVERIFY(reader::openLine(line, m_line->slavePath(), 9600));
        requests::RequestCore core(&line);
        requests::LineTuning tuning;
        tuning.echo = echo;
        core.setLineTuning(tuning);
        acquisition::LineTest test(core);
        QSignalSpy finished(&test, &acquisition::LineTest::finished);
        acquisition::TemperatureRequestFields fields{1, 3, 1, kSensors, 1};
        constexpr int Requests = 10;
        QVERIFY(test.start(fields, Requests));
        QVERIFY(finished.wait(30000));
        const auto figures = finished.at(0).at(0).value<acquisition::LineTestFigures>();
        QVERIFY(finished.at(0).at(1).toBool());
        QCOMPARE(figures.requests, Requests);
        QCOMPARE(figures.usable, Requests);
        QVERIFY(figures.echoSeen);
        QCOMPARE(figures.garbageBytes, skippedEach * Requests);
        // 200 ms of turnaround, then the reply's own time on the line; a loaded machine adds its delays.
        QVERIFY2(figures.medianMs && *figures.medianMs >= 200 && *figures.medianMs < 1000,
                 qPrintable(QString::number(figures.medianMs.value_or(-1))));
        QVERIFY(figures.suggestedTimeoutMs && *figures.suggestedTimeoutMs >= 2 * *figures.medianMs);
    }

    void portLostMidRound()
    {
        QVERIFY(m_line->applyLine(QStringLiteral("fault vanish 3 channel=2")));
        const QStringList lines = summary(runReader(options({1, 2})));
        // Channel 1 read; channel 2's wait ended with the device, and the round with
        // it: what was not read is not reported as read or failed (the next round
        // reports the line away).
        QCOMPARE(lines, expectedReadings(moduleAt(1)).mid(0, kSensors));
    }

    void portAwayIsTriedAgainAtAPace()
    {
        QVERIFY(m_line->applyLine(QStringLiteral("fault vanish 3 channel=2")));
        reader::ReaderOptions o = options({1});
        o.once = false;
        o.intervalSeconds = 0; // back to back
        const QStringList lines = summary(runReader(
            o, [](reader::SiteReader& r) { QTimer::singleShot(2500, &r, &reader::SiteReader::stop); }));
        // The round that lost the port, then a round a second while it stays away: not thousands.
        const int gaps = int(lines.count(QStringLiteral("1.3=no_reply")));
        QVERIFY2(gaps >= 1 && gaps <= 4, qPrintable(QString::number(gaps)));
    }

    // Lost, then taken by another program before the reader opens it again: it
    // says the port is in use (once), and that it is back.
    void portTakenWhileAwayIsSaidToBeInUse()
    {
        auto memory = std::make_unique<port::MemoryBackend>();
        port::MemoryBackend* device = memory.get();
        port::MSComm line(std::move(memory));
        QVERIFY(reader::openLine(line, QStringLiteral("/dev/ttyUSB7"), 9600));
        requests::RequestCore core(&line);
        reader::ReaderOptions o = options({1});
        o.once = false;
        o.intervalSeconds = 0;
        reader::SiteReader siteReader(core, o);
        QSignalSpy problems(&siteReader, &reader::SiteReader::portProblem);
        QSignalSpy back(&siteReader, &reader::SiteReader::portBack);
        device->setOpenFailure(port::OpenFailure::Busy);
        device->vanish();
        siteReader.start();
        QTRY_VERIFY_WITH_TIMEOUT(siteReader.rounds() >= 2, 10000);
        QCOMPARE(problems.size(), 2);
        QVERIFY(problems[0][0].toString().startsWith(port::connectionLostText()));
        const QString inUse = problems[1][0].toString();
        QVERIFY2(inUse.contains(QStringLiteral("port COM4 at /dev/ttyUSB7 is in use")), qPrintable(inUse));
        device->setOpenFailure(port::OpenFailure::None);
        QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 10000);
        QSignalSpy finished(&siteReader, &reader::SiteReader::finished);
        siteReader.stop();
        QVERIFY(finished.wait(10000));
    }

    // Sensor 1.1.1 of the simulated module changes round by round: a spike
    // shorter than the persistence gives nothing; the warning, then the alarm
    // level, each start once; unplugged, a fault alarm.
    void alarmsFollowTheRounds()
    {
        const alarms::AlarmsFileParse parsed =
            alarms::parseAlarmsFile("80,,\r\nwarning,70,,\r\npersist,limit,2,\r\n");
        reader::AlarmWatch watch(*parsed.limits, parsed.rules, QStringLiteral("plant"));
        QStringList told;
        connect(&watch, &reader::AlarmWatch::noticeReady,
                [&told](const alarms::AlarmNotice& n) { told << n.text; });
        const QList<int> script{2500, 9000, 2500, 7500, 7500, 8600, 8600, 8600, -1, -1}; // -1: unplugged
        const auto setProbe = [this](int hundredths) {
            m_line->model().setSensor(1, 1,
                                      hundredths < 0 ? sim::SensorState::notWired()
                                                     : sim::SensorState::temperature(hundredths));
        };
        setProbe(script[0]);
        reader::ReaderOptions o = options({1});
        o.once = false;
        o.intervalSeconds = 0;
        int round = 0;
        runReader(o, [&](reader::SiteReader& siteReader) {
            siteReader.onChannel([&watch](const site::ChannelRecords& r) { watch.takeChannel(r); });
            siteReader.onRound([&] {
                watch.roundEnded(QDateTime::currentMSecsSinceEpoch());
                if (++round < script.size())
                    setProbe(script[round]);
                else
                    siteReader.stop();
            });
        });
        QCOMPARE(told, (QStringList{
                           "plant 预警：地址1 通道1 位置1 高温 75.00°C（上限 70.00°C）",
                           "plant 预警结束（升为报警）：地址1 通道1 位置1 高温，峰值 86.00°C",
                           "plant 报警：地址1 通道1 位置1 高温 86.00°C（上限 80.00°C）",
                           "plant 报警：地址1 通道1 位置1 传感器故障：未接线",
                       }));
    }

    // --alarms: each event on standard error, in the history's alarm record and,
    // with --webhook, posted once to the receiver.
    void programSaysAndRecordsAlarms()
    {
        if (const QString missing = Sink::unavailable("import http.server"); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        Sink web("http_sink.py");
        QVERIFY(web.start());
        const QString alarmsSet = m_folder.filePath(QStringLiteral("limits.set"));
        QFile file(alarmsSet);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("12.02,,\r\n");
        file.close();
        const QString db = m_folder.filePath(QStringLiteral("alarms.db"));
        QProcess reader;
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     {QStringLiteral("--port"), m_line->slavePath(), QStringLiteral("--stations"),
                      QStringLiteral("1"), QStringLiteral("--channels"), QStringLiteral("1"),
                      QStringLiteral("--sensors"), QString::number(kSensors), QStringLiteral("--once"),
                      QStringLiteral("--history"), db, QStringLiteral("--alarms"), alarmsSet});
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 30000);
        QCOMPARE(reader.exitCode(), 0);
        // Channel 1 holds 11.01 .. 11.05: none past 12.02.
        QCOMPARE(QString::fromLocal8Bit(reader.readAllStandardError()), QString());

        file.open(QIODevice::WriteOnly);
        file.write("11.03,,\r\n");
        file.close();
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     reader.arguments() << QStringLiteral("--webhook")
                                        << QStringLiteral("http://127.0.0.1:%1/hook").arg(web.port()));
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 30000);
        QCOMPARE(reader.exitCode(), 0);
        const QStringList said =
            QString::fromLocal8Bit(reader.readAllStandardError()).split(QLatin1Char('\n'));
        QCOMPARE(said.mid(0, 2),
                 (QStringList{"tq5900k-reader: site 报警：地址1 通道1 位置4 高温 11.04°C（上限 11.03°C）",
                              "tq5900k-reader: site 报警：地址1 通道1 位置5 高温 11.05°C（上限 11.03°C）"}));
        history::HistoryStore store(db);
        const std::optional<QVector<alarms::AlarmEntry>> recorded = store.recentAlarms(10);
        QVERIFY(recorded);
        QCOMPARE(recorded->size(), 2);
        QVERIFY(recorded->at(0).active());

        // The reader waits for its deliveries before it ends: both posts are in.
        const QStringList posts = web.files();
        QCOMPARE(posts.size(), 2);
        for (int k = 0; k < 2; ++k) {
            QFile post(posts[k]);
            QVERIFY(post.open(QIODevice::ReadOnly));
            QVERIFY2(QString::fromUtf8(post.readAll()).contains(said[k].mid(int(qstrlen("tq5900k-reader: ")))),
                     qPrintable(posts[k]));
        }
    }

    void programAsAScriptRunsIt()
    {
        QProcess reader;
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     {QStringLiteral("--port"), m_line->slavePath(), QStringLiteral("--stations"),
                      QStringLiteral("1-2"), QStringLiteral("--channels"), QString::number(kChannels),
                      QStringLiteral("--sensors"), QString::number(kSensors), QStringLiteral("--once"),
                      QStringLiteral("--history"), m_folder.filePath(QStringLiteral("site.db"))});
        // The module answers in this process: wait with the event loop running.
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 30000);
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 0);
        const QList<QByteArray> lines = reader.readAllStandardOutput().split('\n');
        QCOMPARE(lines.first(), QByteArray("time,station,channel,position,value,state,raw"));
        QCOMPARE(lines.size(),
                 1 + 2 * kChannels * kSensors + 1); // header, values, the empty after the last "\n"
        QVERIFY(lines[1].endsWith(",1,1,1,11.01,ok,1101"));
        QVERIFY(lines[2 * kChannels * kSensors].endsWith(",2,3,5,23.05,ok,2305"));
        QCOMPARE(reader.readAllStandardError(), QByteArray());
        // The history got the round before the program ended: station 2's channel 3 as printed.
        history::HistoryStore store(m_folder.filePath(QStringLiteral("site.db")));
        const QVector<history::Reading> recorded = store.readings({2, 3, {1, 2, 3, 4, 5}, 0, LLONG_MAX});
        QCOMPARE(recorded.size(), kSensors);
        QCOMPARE(recorded.last().raw, quint16(2305));
    }

    // Three modules, each at its own station and rate, on one line reached through
    // a /dev/serial/by-id style link: each is found once, at its rate, and nothing else.
    void scanFindsEachModuleAtItsOwnRate()
    {
        m_line.reset();
        m_line = std::make_unique<sim::SimulatedModule>(m_folder.path(), kPort, moduleAt(3));
        m_line->model().setBaudCode(protocol::baudCodeForRate(4800));
        m_line->addModule(moduleAt(7), 7).setBaudCode(protocol::baudCodeForRate(9600));
        m_line->addModule(moduleAt(9), 9).setBaudCode(protocol::baudCodeForRate(19200));
        QString error;
        QVERIFY2(m_line->start(&error, true), qPrintable(error));
        QVERIFY(QDir(m_folder.path()).mkpath(QStringLiteral("by-id")));
        const QString stableName =
            m_folder.filePath(QStringLiteral("by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0"));
        QFile::remove(stableName);
        QVERIFY(QFile::link(m_line->slavePath(), stableName));

        QProcess reader;
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     {QStringLiteral("--port"), stableName, QStringLiteral("--scan"),
                      QStringLiteral("--scan-stations"), QStringLiteral("1-10")});
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 120000);
        const QString progress = QString::fromLocal8Bit(reader.readAllStandardError());
        QCOMPARE(reader.exitCode(), 0);
        QCOMPARE(reader.readAllStandardOutput(), QByteArray("3,4800,10\n7,9600,10\n9,19200,10\n"));
        QVERIFY2(progress.contains(QStringLiteral("scanning 10 stations at 14400 baud")),
                 qPrintable(progress));
        QVERIFY2(progress.endsWith(QStringLiteral("(scan done: 3 modules found)\n")), qPrintable(progress));
    }

    // "@line" stands for the simulated line's device; with `holdLine` another
    // program (this test) holds it as the reader starts.
    void exitStatusTellsWhatWentWrong_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("holdLine");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad option") << QStringList{"--port", "COM4", "--baud", "300"} << false << 2
                                    << "选项 --baud";
        QTest::newRow("no such port") << QStringList{"--port", "/dev/nonexistent-tty", "--once"} << false << 1
                                      << "/dev/nonexistent-tty does not exist";
        QTest::newRow("port in use") << QStringList{"--port", "@line", "--once"} << true << 1
                                     << "所选的串行端口已被其他设备所使用! (port @line is in use";
        QTest::newRow("history folder missing")
            << QStringList{"--port", "@line", "--once", "--history", "/nonexistent-dir/site.db"} << false << 2
            << "(the history database's folder /nonexistent-dir does not exist)";
        QTest::newRow("scan: bad baud rate")
            << QStringList{"--port", "@line", "--scan", "--scan-bauds", "9600,300"} << false << 2
            << "选项 --scan-bauds";
        QTest::newRow("scan: bad station")
            << QStringList{"--port", "@line", "--scan", "--scan-stations", "0-5"} << false << 2
            << "选项 --scan-stations 的值 \"0-5\"";
        QTest::newRow("alarms file missing")
            << QStringList{"--port", "@line", "--alarms", "/no/such/alarms.set"} << false << 2
            << "报警设置文件 /no/such/alarms.set 不存在";
        QTest::newRow("list ports") << QStringList{"--list-ports"} << false << 0 << "";
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "";
    }
    void exitStatusTellsWhatWentWrong()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, holdLine);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        arguments.replaceInStrings(QStringLiteral("@line"), m_line->slavePath());
        message.replace(QStringLiteral("@line"), m_line->slavePath());
        QSerialPort holder(m_line->slavePath());
        if (holdLine)
            QVERIFY(holder.open(QIODevice::ReadWrite));
        QProcess reader;
        reader.start(QStringLiteral(TQ_READER_PROGRAM), arguments);
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 30000);
        QCOMPARE(reader.exitCode(), exitCode);
        const QString error = QString::fromLocal8Bit(reader.readAllStandardError());
        const QByteArray out = reader.readAllStandardOutput();
        if (arguments.contains(QStringLiteral("--help")))
            QVERIFY(out.contains("--mqtt-cafile"));
        else if (message.isEmpty()) // the ports, or that there are none
            QVERIFY2(!out.isEmpty() || error.contains(QStringLiteral("lists no serial ports")),
                     qPrintable(error));
        else
            QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(m_line->framesReceived().size(), 0); // refused before a request went out
    }

    void terminatedAfterTheRequestOnTheLine()
    {
        QProcess reader;
        reader.start(QStringLiteral(TQ_READER_PROGRAM),
                     {QStringLiteral("--port"), m_line->slavePath(), QStringLiteral("--channels"),
                      QString::number(kChannels), QStringLiteral("--sensors"), QString::number(kSensors),
                      QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--interval"),
                      QStringLiteral("0")});
        // Asked to end as a request is on the line: that one is given up, no other goes out.
        QSignalSpy frames(m_line.get(), &sim::SimulatedModule::frameReceived);
        QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 4, 20000);
        const int sentBefore = frames.size();
        ::kill(pid_t(reader.processId()), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 10000);
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 0);
        const int sent = frames.size();
        QVERIFY(sent <= sentBefore + 1); // the request it was writing as the signal came
        // Every line printed is whole: the rounds done, then the round cut short,
        // without the channel whose request was on the line.
        const QByteArray out = reader.readAllStandardOutput();
        QVERIFY(out.endsWith('\n'));
        const qsizetype lines = out.count('\n');
        QCOMPARE(lines % kSensors, 0);
        QVERIFY2(lines >= (sent - 1) * kSensors && lines <= sent * kSensors, qPrintable(QString::number(lines)));
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
