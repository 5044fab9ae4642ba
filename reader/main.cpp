// tq5900k-reader: reads the modules on one serial line round after round, without
// a window, and prints a line per value; optionally records them into a history
// database and publishes them to an MQTT broker. See docs/site.md.

#include "alarm_watch.h"
#include "reader_options.h"
#include "reader_texts.h"
#include "site_reader.h"

#include "acquisition/bus_scanner.h"
#include "acquisition/line_test.h"
#include "alarms/alarms_file.h"
#include "config/module_settings.h"
#include "history/history_settings.h"
#include "history/history_store.h"
#include "history/history_writer.h"
#include "platform/settings_folder.h"
#include "platform/stop_signals.h"
#include "port/line_backend.h"
#include "port/mscomm.h"
#include "port/system_ports.h"
#include "requests/request_core.h"
#include "notify/alarm_delivery.h"
#include "site/mqtt_publisher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Exit statuses besides 0 (done); --help lists them.
constexpr int kPortFailure = 1;
constexpr int kBadOptions = 2;
constexpr int kNotDelivered = 3;

void complain(const QString& text)
{
    std::fputs(("tq5900k-reader: " + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// The alarms in force that the history recorded: they stay in force until the readings end them.
void restoreAlarms(reader::AlarmWatch& watch, const QString& historyPath)
{
    if (!QFileInfo::exists(historyPath))
        return;
    history::HistoryStore store(historyPath);
    const std::optional<QVector<alarms::AlarmEntry>> active = store.recentAlarms(0);
    const std::optional<qint64> highestId = store.highestAlarmId();
    if (active && highestId)
        watch.restore(QList<alarms::AlarmEntry>(active->begin(), active->end()), *highestId);
    else
        complain(reader::historyFailedText(store.errorText()));
}

// The records of a round as lines, written and flushed when the round ends.
class LinePrinter
{
public:
    explicit LinePrinter(reader::OutputFormat format) : m_format(format)
    {
        m_out.open(stdout, QIODevice::WriteOnly);
        if (m_format == reader::OutputFormat::Csv)
            m_pending = site::csvHeader();
    }
    void add(const site::ChannelRecords& records)
    {
        for (const history::Reading& reading : records.readings)
            m_pending += line(reading);
        if (records.failure)
            m_pending += line(*records.failure);
    }
    void flush()
    {
        m_out.write(m_pending);
        m_out.flush();
        m_pending.clear();
    }

private:
    template <typename Record> QByteArray line(const Record& record) const
    {
        return m_format == reader::OutputFormat::Csv ? site::csvLine(record)
                                                     : site::jsonObject(record) + '\n';
    }
    reader::OutputFormat m_format;
    QFile m_out;
    QByteArray m_pending;
};

// The broker's options from the command line; the password from its file. Empty
// `error` when they can be used.
site::MqttOptions brokerOptions(const reader::BrokerOptions& given, QString* error)
{
    site::MqttOptions o;
    o.host = given.host;
    o.port = given.port;
    o.site = given.site;
    if (!given.name.isEmpty())
        o.name = given.name;
    o.user = given.user;
    o.caFile = given.caFile;
    if (!given.passwordFile.isEmpty()) {
        QFile file(given.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("无法读取密码文件 %1 (cannot read the password file): %2")
                         .arg(given.passwordFile, file.errorString());
            return o;
        }
        // The first line; a line end after it is no part of the password.
        o.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    }
    *error = site::checkMqttOptions(o);
    return o;
}

// Runs `start` now, or once a network line has connected (it connects in the
// background). False when it failed at once; failing later, or the line not
// connecting, ends the program with `failed()`.
bool startOnceOpen(QCoreApplication& app, port::MSComm& line, const std::function<bool()>& start,
                   const std::function<int()>& failed)
{
    if (!line.openPending())
        return start();
    QObject::connect(
        &line, &port::MSComm::opened, &app,
        [start, failed] {
            if (!start())
                QCoreApplication::exit(failed());
        },
        Qt::SingleShotConnection);
    QObject::connect(&line, &port::MSComm::openFailed, &app, [failed] { QCoreApplication::exit(failed()); });
    return true;
}

// --line-test: the requests, then the figures on stdout. A stop signal ends it
// after the request on the line, with the figures so far.
int runLineTest(QCoreApplication& app, requests::RequestCore& core, const reader::ReaderOptions& options)
{
    acquisition::TemperatureRequestFields fields;
    fields.station = quint8(options.stations.first());
    fields.function = reader::kReadFunction;
    fields.start = reader::kFirstPosition;
    fields.count = quint8(options.sensors);
    fields.channel = 1;
    acquisition::LineTest test(core);
    int status = 0;
    QObject::connect(&test, &acquisition::LineTest::finished, &app,
                     [&](const acquisition::LineTestFigures& figures, bool complete) {
                         const QString text = acquisition::lineTestText(figures, !complete) + QLatin1Char('\n');
                         std::fputs(text.toLocal8Bit().constData(), stdout);
                         std::fflush(stdout);
                         if (!complete && !core.port()->PortOpen())
                             status = kPortFailure;
                         app.quit();
                     });
    platform::onStopSignals(&app, [&test] { test.stop(); });
    const auto portFailed = [&] {
        complain(reader::portOpenFailureText(core.port()->lastFailure(), options.port, core.port()->systemName()));
        return kPortFailure;
    };
    if (!startOnceOpen(app, *core.port(), [&] { return test.start(fields, *options.lineTestRequests); },
                       portFailed))
        return portFailed();
    const int exitStatus = app.exec();
    return exitStatus != 0 ? exitStatus : status;
}

// --scan: each module on stdout as it is found, a line per baud rate and the
// outcome on stderr. A stop signal ends it after the probe on the line. A
// network line is scanned once connected.
int runScan(QCoreApplication& app, port::MSComm& line, requests::RequestCore& core,
            const reader::ReaderOptions& options)
{
    acquisition::BusScanner scanner(core);
    const int stationCount = int(options.scanStations.size());
    int found = 0;
    int status = 0;
    QObject::connect(
        &scanner, &acquisition::BusScanner::moduleFound, &app,
        [&found](const acquisition::ScanFinding& finding) {
            ++found;
            std::fputs((acquisition::scanFindingLine(finding) + QLatin1Char('\n')).toLatin1().constData(),
                       stdout);
            std::fflush(stdout);
        });
    QObject::connect(&scanner, &acquisition::BusScanner::progress, &app, [&](int done, int total) {
        if (done < total && done % stationCount == 0)
            complain(reader::scanBaudText(options.scanBauds.at(done / stationCount), stationCount));
    });
    // Queued: a scan that ends as it starts (the rate refused) ends once the loop runs.
    QObject::connect(
        &scanner, &acquisition::BusScanner::finished, &app,
        [&](bool complete) {
            if (!complete && !line.PortOpen()) {
                complain(reader::portLostText(options.port));
                status = kPortFailure;
            }
            complain(reader::scanEndText(found, complete));
            app.quit();
        },
        Qt::QueuedConnection);
    platform::onStopSignals(&app, [&scanner] { scanner.cancel(); });
    const auto portFailed = [&] {
        complain(reader::portOpenFailureText(line.lastFailure(), options.port, line.systemName()));
        return kPortFailure;
    };
    if (!startOnceOpen(app, line, [&] { return scanner.start(options.scanStations, options.scanBauds); },
                       portFailed))
        return portFailed();
    const int exitStatus = app.exec();
    return exitStatus != 0 ? exitStatus : status;
}

// --list-ports: a line per serial port the system lists.
int listPorts()
{
    const QList<port::SystemPort> ports = port::systemPorts();
    if (ports.isEmpty())
        complain(reader::noSystemPortsText());
    for (const port::SystemPort& systemPort : ports)
        std::fputs((port::systemPortLine(systemPort) + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tq5900k-reader"));
    const QString folder = platform::settingsFolder().path;

    const reader::ParsedOptions parsed =
        reader::parseReaderOptions(app.arguments().mid(1), config::loadModSet(folder).values);
    if (parsed.status == reader::ParsedOptions::Help) {
        std::fputs(reader::readerHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.status == reader::ParsedOptions::Version) {
        std::printf("tq5900k-reader %s\n", qPrintable(platform::versionText()));
        return 0;
    }
    if (parsed.status == reader::ParsedOptions::Error) {
        complain(parsed.error);
        return kBadOptions;
    }
    const reader::ReaderOptions& options = parsed.options;
    if (options.listPorts)
        return listPorts();

    // A history that cannot be made and options the broker cannot use are bad
    // options: found before the port is opened.
    if (!options.historyPath.isEmpty()) {
        const QString historyFolder = QFileInfo(options.historyPath).absolutePath();
        if (!QFileInfo(historyFolder).isDir()) {
            complain(reader::historyFolderMissingText(historyFolder));
            return kBadOptions;
        }
    }
    alarms::AlarmsLoad alarmsLoad;
    if (!options.alarmsPath.isEmpty()) {
        alarmsLoad = alarms::loadAlarmsFile(options.alarmsPath);
        if (alarmsLoad.status != alarms::AlarmsLoad::Ok) {
            complain(reader::alarmsFileText(alarmsLoad));
            return kBadOptions;
        }
    }
    std::unique_ptr<site::MqttPublisher> publisher;
    if (!options.broker.host.isEmpty()) {
        QString error;
        const site::MqttOptions mqtt = brokerOptions(options.broker, &error);
        if (error.isEmpty()) {
            publisher = std::make_unique<site::MqttPublisher>(mqtt);
            error = publisher->start();
        }
        if (!error.isEmpty()) {
            complain(QStringLiteral("MQTT 代理的设置无法使用 (the broker's options cannot be used: %1)")
                         .arg(error));
            return kBadOptions;
        }
    }

    // Alarms to people: every event is handed over at once, sent in the delivery's own thread.
    std::unique_ptr<notify::AlarmDelivery> delivery;
    if (options.notify.given()) {
        QString error;
        if (const std::optional<notify::NotifySettings> settings = reader::notifySettings(options.notify, &error)) {
            delivery = std::make_unique<notify::AlarmDelivery>(*settings);
            delivery->setMqttPublisher(publisher.get());
            error = delivery->start();
        }
        if (!error.isEmpty()) {
            complain(error);
            return kBadOptions;
        }
        QObject::connect(delivery.get(), &notify::AlarmDelivery::statusChanged, &app,
                         [&delivery, last = delivery->status()]() mutable {
                             const QList<notify::DestinationStatus> now = delivery->status();
                             for (qsizetype i = 0; i < now.size() && i < last.size(); ++i)
                                 if (const QString text = reader::deliveryChangeText(last[i], now[i]); !text.isEmpty())
                                     complain(text);
                             last = now;
                         });
    }

    const QString device = reader::devicePathFor(options.port, folder);
    port::MSComm line(std::make_unique<port::LineBackend>());
    if (!reader::openLine(line, device, options.baud)) {
        complain(reader::portOpenFailureText(line.lastFailure(), options.port, device));
        return kPortFailure;
    }
    requests::RequestCore core(&line);
    core.setLineTuning(options.tuning);
    if (options.lineTestRequests)
        return runLineTest(app, core, options);
    if (options.scan)
        return runScan(app, line, core, options);
    reader::SiteReader siteReader(core, options);

    LinePrinter printer(options.format);
    siteReader.onChannel([&printer](const site::ChannelRecords& records) { printer.add(records); });
    siteReader.onRound([&printer] { printer.flush(); });

    // The history: one batch per round, written in the recorder's own thread.
    std::unique_ptr<history::HistoryRecorder> recorder;
    bool historyClosing = false;
    QVector<history::Reading> batch;
    if (!options.historyPath.isEmpty()) {
        const history::HistorySetLoad settings =
            history::loadHistorySet(QFileInfo(options.historyPath).absolutePath());
        if (!settings.errorText.isEmpty())
            complain(reader::historySettingsText(settings.errorText));
        recorder = std::make_unique<history::HistoryRecorder>(options.historyPath, settings.values);
        // Failing while the reader runs (the readings wait), or, as the recorder
        // closes, readings that never got there.
        QObject::connect(
            recorder.get(), &history::HistoryRecorder::failed, &app, [&historyClosing](const QString& text) {
                complain(historyClosing ? reader::historyLostText(text) : reader::historyFailedText(text));
            });
        QObject::connect(recorder.get(), &history::HistoryRecorder::recovered, &app,
                         [](qint64 dropped) { complain(reader::historyRecoveredText(dropped)); });
        siteReader.onChannel([&batch](const site::ChannelRecords& records) { batch += records.readings; });
        siteReader.onRound([&batch, &recorder] {
            recorder->record(batch);
            batch.clear();
        });
    }

    // The alarms: each event said on standard error, recorded and handed to the delivery.
    std::unique_ptr<reader::AlarmWatch> alarmWatch;
    if (!options.alarmsPath.isEmpty()) {
        alarmWatch =
            std::make_unique<reader::AlarmWatch>(alarmsLoad.limits, alarmsLoad.rules, options.broker.site);
        if (recorder)
            restoreAlarms(*alarmWatch, options.historyPath);
        QObject::connect(alarmWatch.get(), &reader::AlarmWatch::noticeReady, &app,
                         [&recorder, &delivery](const alarms::AlarmNotice& notice) {
                             complain(notice.text);
                             if (recorder)
                                 recorder->recordAlarms({notice});
                             if (delivery)
                                 delivery->deliver(notice);
                         });
        siteReader.onChannel(
            [&alarmWatch](const site::ChannelRecords& records) { alarmWatch->takeChannel(records); });
        siteReader.onRound([&alarmWatch] { alarmWatch->roundEnded(QDateTime::currentMSecsSinceEpoch()); });
    }

    // Publishing only queues: the line never waits for the broker.
    if (publisher) {
        siteReader.onChannel(
            [&publisher](const site::ChannelRecords& records) { publisher->publishRecords(records); });
        const site::MqttOptions& mqtt = publisher->options();
        const QString broker = QStringLiteral("%1:%2").arg(mqtt.host).arg(mqtt.port);
        QObject::connect(
            publisher.get(), &site::MqttPublisher::stateChanged, &app,
            [broker](site::MqttPublisher::State state, const QString& reason) {
                using State = site::MqttPublisher::State;
                if (state == State::Connected)
                    complain(QStringLiteral("已连接 MQTT 代理 %1 (connected to the broker)").arg(broker));
                else if (state == State::Reconnecting)
                    complain(QStringLiteral("与 MQTT 代理 %1 的连接断开，正在重连 (broker away, "
                                            "reconnecting): %2")
                                 .arg(broker, reason));
                else if (state == State::Failed)
                    complain(QStringLiteral("MQTT 代理 %1 拒绝连接，不再重试 (broker refused, not trying "
                                            "again): %2")
                                 .arg(broker, reason));
            });
        // Said once per round in which the queue overflowed, with how many are gone so far.
        siteReader.onRound([&publisher, dropped = qint64(0)]() mutable {
            const qint64 now = publisher->counters().dropped;
            if (now > dropped)
                complain(
                    QStringLiteral("MQTT 队列已满，已丢弃最旧的 %1 条消息 (queue full: %1 oldest messages "
                                   "dropped so far)")
                        .arg(now));
            dropped = now;
        });
    }

    QObject::connect(&siteReader, &reader::SiteReader::portProblem, &app, complain);
    QObject::connect(&siteReader, &reader::SiteReader::portBack, &app,
                     [&options] { complain(reader::portBackText(options.port)); });
    QObject::connect(&siteReader, &reader::SiteReader::finished, &app, &QCoreApplication::quit);
    if (!platform::onStopSignals(&app, [&siteReader] { siteReader.stop(); }))
        complain(QStringLiteral("无法捕获 SIGINT/SIGTERM (cannot catch SIGINT/SIGTERM)"));

    // A network line starts reading once connected; one that cannot be reached
    // fails as a port that cannot be opened (the site reader names why).
    // Later opens (after a lost connection) are the site reader's.
    QMetaObject::Connection firstOpenFailed;
    if (line.openPending()) {
        firstOpenFailed = QObject::connect(&line, &port::MSComm::openFailed, &app,
                                           [] { QCoreApplication::exit(kPortFailure); });
        QObject::connect(
            &line, &port::MSComm::opened, &siteReader,
            [&siteReader, &firstOpenFailed] {
                QObject::disconnect(firstOpenFailed);
                siteReader.start();
            },
            Qt::SingleShotConnection);
    } else {
        siteReader.start();
    }
    int status = app.exec();
    // The recorder writes what it was handed before it goes, and says what it could not.
    historyClosing = true;
    recorder.reset();
    if (delivery) {
        if (const qint64 left = delivery->stop()) {
            complain(reader::deliveryLeftText(left));
            if (options.once)
                status = kNotDelivered;
        }
    }
    if (publisher) {
        // Says "offline" after a short wait for what the broker has not acknowledged yet.
        if (const qint64 left = publisher->stop()) {
            complain(
                QStringLiteral("%1 条消息未送达 MQTT 代理 (messages not delivered to the broker)").arg(left));
            // A script that asked for one round learns that the broker did not get all of it.
            if (options.once)
                status = kNotDelivered;
        }
    }
    return status;
}
