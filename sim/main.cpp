// tq5900k-sim: a simulated acquisition module on a pseudo-terminal, linked as
// ports/COM<n> in the program's folder so that the program finds it as its port.

#include "protocol/baud_codes.h"
#include "protocol/hex_text.h"
#include "platform/settings_folder.h"
#include "platform/stop_signals.h"
#include "sim/net_server.h"
#include "sim/scenario.h"
#include "sim/simulated_module.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

void say(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void complain(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void logFrame(const char* direction, const QByteArray& bytes, const QString& note = QString())
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz"));
    QString line =
        QStringLiteral("%1 %2 %3").arg(stamp, QLatin1String(direction), protocol::spacedHex(bytes));
    if (!note.isEmpty())
        line += QStringLiteral("  (%1)").arg(note);
    complain(line);
}

// Lines typed while the simulator runs: any scenario line, plus "reopen"
// after a vanish and "help".
class Console : public QObject
{
public:
    Console(sim::SimulatedModule* module, bool force, QObject* parent)
        : QObject(parent), m_module(module), m_force(force),
          m_notifier(STDIN_FILENO, QSocketNotifier::Read, this)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &Console::onInput);
    }

private:
    void onInput()
    {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_notifier.setEnabled(false); // end of input, or a terminal we may not read
            return;
        }
        m_pending += QByteArray(buffer, int(n));
        for (int eol = int(m_pending.indexOf('\n')); eol >= 0; eol = int(m_pending.indexOf('\n'))) {
            const QString line = QString::fromLocal8Bit(m_pending.left(eol)).trimmed();
            m_pending.remove(0, eol + 1);
            execute(line);
        }
    }

    void execute(const QString& line)
    {
        if (line.isEmpty())
            return;
        if (line == QLatin1String("help")) {
            say(QStringLiteral(
                "场景指令 (scenario lines): station N | baud RATE | channels N | positions N | "
                "temp CH POS DEG | notwired CH POS | notrecognised CH POS | novalue CH POS | "
                "bus CH [ROM] | table CH POS ROM | fill CH | fault KIND [ARG] [next=K] "
                "[channel=C] | fault none | swing DEG | phase CH HOURS | noise DEG | "
                "hotspot CH POS RATE [DELAY] | hotspot none | timescale F | demo\n其他: reopen (after a "
                "vanish), help"));
            return;
        }
        if (line == QLatin1String("reopen")) {
            QString error;
            if (m_module->isRunning())
                say(QStringLiteral("已在运行 (already running)"));
            else if (m_module->start(&error, m_force))
                say(QStringLiteral("已重新连接：%1 -> %2").arg(m_module->linkPath(), m_module->slavePath()));
            else
                complain(QStringLiteral("无法重新连接 (cannot reopen): %1").arg(error));
            return;
        }
        QString error;
        if (m_module->applyLine(line, &error))
            say(QStringLiteral("ok"));
        else
            complain(QStringLiteral("错误 (error): %1").arg(error));
    }

    sim::SimulatedModule* m_module;
    bool m_force;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

// "HOST:PORT" for a network server; port 0 picks a free one.
std::optional<std::pair<QHostAddress, quint16>> hostAndPort(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : host);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (address.isNull() || !ok || port > 65535)
        return std::nullopt;
    return std::make_pair(address, quint16(port));
}

int portNumber(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(?:COM)?(\\d{1,3})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
    return n >= 1 && n <= 255 ? n : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tq5900k-sim"));
    QCoreApplication::setApplicationVersion(platform::versionText());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "TQ5900K 模拟模块：在伪终端上模拟一台温度采集模块，并链接为 <folder>/ports/COMn。\n"
        "Simulated TQ5900K module on a pseudo-terminal, linked as <folder>/ports/COMn.\n"
        "While it runs, scenario lines typed on the terminal change it (\"help\" lists them)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port name to provide (default COM4)."),
                                        QStringLiteral("COMn"), QStringLiteral("COM4"));
    const QCommandLineOption folderOption(
        QStringLiteral("folder"),
        QStringLiteral("Program folder holding ports/ (default: this executable's folder, or for an "
                       "installed one the user's data folder ~/.local/share/tq5900k)."),
        QStringLiteral("DIR"));
    const QCommandLineOption stationOption(
        QStringLiteral("station"), QStringLiteral("Station address 1-249 (default 1)."), QStringLiteral("N"));
    const QCommandLineOption moreStationOption(
        QStringLiteral("more-station"),
        QStringLiteral("Another module on the same line at station N, set up like the first; with @RATE "
                       "at that baud rate instead of the first's. Repeatable."),
        QStringLiteral("N[@RATE]"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"), QStringLiteral("Baud rate 4800, 9600, 14400 or 19200 (default 9600)."),
        QStringLiteral("RATE"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                            QStringLiteral("Scenario file to set up the module (see docs)."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption logOption(
        QStringLiteral("log"), QStringLiteral("Log frames in and out to stderr, with timestamps, in hex."));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral("Inject a fault: KIND[:ARG][,next=K][,channel=C]; KIND is one of %1. Repeatable.")
            .arg(sim::Fault::kindNames().join(QStringLiteral(", "))),
        QStringLiteral("KIND[:ARG]"));
    const QCommandLineOption driftOption(QStringLiteral("drift"),
                                         QStringLiteral("Let the temperatures drift slightly over time."));
    const QCommandLineOption swingOption(
        QStringLiteral("swing"),
        QStringLiteral("Temperatures swing daily by +-C degrees around their set values (default 0)."),
        QStringLiteral("C"));
    const QCommandLineOption noiseOption(QStringLiteral("noise"),
                                         QStringLiteral("Readings scatter by up to +-C degrees (default 0)."),
                                         QStringLiteral("C"));
    const QCommandLineOption hotSpotOption(
        QStringLiteral("hotspot"),
        QStringLiteral("A sensor rising RATE degrees per hour from its set value, after DELAY_S seconds "
                       "(default 0), up to 125. Repeatable."),
        QStringLiteral("CH:POS:RATE[:DELAY_S]"));
    const QCommandLineOption timeScaleOption(
        QStringLiteral("time-scale"),
        QStringLiteral("Simulated seconds per real second, for swing and hot spots (default 1; 60: an hour "
                       "a minute)."),
        QStringLiteral("F"));
    const QCommandLineOption noCollisionsOption(
        QStringLiteral("no-collisions"),
        QStringLiteral("Requests sent while a reply goes out wait for it instead of colliding with it."));
    const QCommandLineOption forceOption(
        QStringLiteral("force"),
        QStringLiteral("Replace whatever is at ports/COMn, even if not a pty link."));
    const QCommandLineOption tcpOption(
        QStringLiteral("tcp"),
        QStringLiteral("Also serve the module over TCP at HOST:PORT, the frames as they are (a serial device "
                       "server); port 0 picks one."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption mbapOption(
        QStringLiteral("mbap"),
        QStringLiteral("Also serve the module as a Modbus TCP gateway at HOST:PORT; port 0 picks one."),
        QStringLiteral("HOST:PORT"));
    parser.addOptions({tcpOption, mbapOption});
    parser.addOptions({portOption, folderOption, stationOption, moreStationOption, baudOption, scenarioOption,
                       logOption, faultOption, driftOption, swingOption, noiseOption, hotSpotOption,
                       timeScaleOption, noCollisionsOption, forceOption});
    parser.process(app);

    const int port = portNumber(parser.value(portOption));
    if (port == 0) {
        complain(QStringLiteral("--port: expected COM1..COM255, got \"%1\"").arg(parser.value(portOption)));
        return 2;
    }
    const QString folder =
        parser.isSet(folderOption) ? parser.value(folderOption) : platform::settingsFolder().path;

    sim::Scenario scenario;
    if (parser.isSet(scenarioOption)) {
        QString errors;
        if (!sim::applyScenarioFile(parser.value(scenarioOption), scenario, &errors)) {
            complain(errors);
            return 2;
        }
    } else {
        scenario.model = sim::ModuleModel::demo();
    }
    const auto stationFrom = [](const QString& option, const QString& text) -> std::optional<int> {
        bool ok = false;
        const int station = text.toInt(&ok);
        if (ok && station >= 1 && station <= 249)
            return station;
        complain(QStringLiteral("--%1: expected 1..249, got \"%2\"").arg(option, text));
        return std::nullopt;
    };
    if (parser.isSet(stationOption)) {
        const std::optional<int> station =
            stationFrom(stationOption.names().first(), parser.value(stationOption));
        if (!station)
            return 2;
        scenario.model.setStation(*station);
    }
    // "N" or "N@RATE"; without a rate the module runs at the first one's.
    struct MoreStation
    {
        int station = 0;
        int baudCode = 0; // 0: the first module's
    };
    QList<MoreStation> moreStations;
    for (const QString& text : parser.values(moreStationOption)) {
        const QStringList parts = text.split(QLatin1Char('@'));
        const std::optional<int> station = stationFrom(moreStationOption.names().first(), parts.first());
        if (!station)
            return 2;
        if (*station == scenario.model.station() ||
            std::any_of(moreStations.cbegin(), moreStations.cend(),
                        [&](const MoreStation& more) { return more.station == *station; })) {
            complain(QStringLiteral("--more-station: station %1 is already on the line").arg(*station));
            return 2;
        }
        MoreStation more{*station, 0};
        if (parts.size() > 1) {
            more.baudCode = parts.size() == 2 ? protocol::baudCodeForRate(parts.last().toInt()) : 0;
            if (more.baudCode == 0) {
                complain(QStringLiteral("--more-station: expected N@RATE with RATE 4800, 9600, 14400 or "
                                        "19200, got \"%1\"")
                             .arg(text));
                return 2;
            }
        }
        moreStations.append(more);
    }
    if (parser.isSet(baudOption)) {
        const int code = protocol::baudCodeForRate(parser.value(baudOption).toInt());
        if (code == 0) {
            complain(QStringLiteral("--baud: expected 4800, 9600, 14400 or 19200, got \"%1\"")
                         .arg(parser.value(baudOption)));
            return 2;
        }
        scenario.model.setBaudCode(code);
    }
    for (const QString& text : parser.values(faultOption)) {
        QString error;
        const std::optional<sim::Fault> fault = sim::Fault::parse(text, &error);
        if (!fault) {
            complain(QStringLiteral("--fault: %1").arg(error));
            return 2;
        }
        if (fault->kind == sim::Fault::None)
            scenario.faults.clear();
        else
            scenario.faults.append(*fault);
    }

    // These options are scenario lines in another spelling, checked by the same parser.
    const std::pair<const QCommandLineOption*, QString> courseOptions[] = {
        {&swingOption, QStringLiteral("swing")},
        {&noiseOption, QStringLiteral("noise")},
        {&hotSpotOption, QStringLiteral("hotspot")},
        {&timeScaleOption, QStringLiteral("timescale")}};
    for (const auto& [option, word] : courseOptions) {
        for (QString value : parser.values(*option)) {
            QString error;
            const QString line = word + QLatin1Char(' ') + value.replace(QLatin1Char(':'), QLatin1Char(' '));
            if (!sim::applyScenarioLine(line, scenario.model, scenario.faults, &error)) {
                complain(QStringLiteral("--%1: %2").arg(option->names().first(), error));
                return 2;
            }
        }
    }

    if (!platform::onStopSignals(&app, [] { QCoreApplication::quit(); }))
        complain(QStringLiteral("warning: cannot catch SIGINT/SIGTERM; the link may stay behind"));
    ::signal(SIGTTIN, SIG_IGN); // reading the terminal from the background fails instead of stopping us

    sim::SimulatedModule module(folder, port, scenario.model);
    for (const MoreStation& more : moreStations) {
        sim::ModuleModel& added = module.addModule(scenario.model, more.station);
        if (more.baudCode != 0)
            added.setBaudCode(more.baudCode);
    }
    module.transport().setFaults(scenario.faults);
    module.transport().setCollisionsEnabled(!parser.isSet(noCollisionsOption));
    const bool force = parser.isSet(forceOption);
    QString error;
    if (!module.start(&error, force)) {
        complain(QStringLiteral("无法启动模拟模块 (cannot start): %1").arg(error));
        return 1;
    }

    // The network servers answer from the same modules, at once and without faults.
    std::vector<std::unique_ptr<sim::NetServer>> servers;
    const std::pair<const QCommandLineOption*, sim::NetServer::Framing> serverOptions[] = {
        {&tcpOption, sim::NetServer::RawTcp}, {&mbapOption, sim::NetServer::Mbap}};
    for (const auto& [option, framing] : serverOptions) {
        if (!parser.isSet(*option))
            continue;
        const QString text = parser.value(*option);
        const auto where = hostAndPort(text);
        if (!where) {
            complain(QStringLiteral("--%1: expected HOST:PORT (an IP address or localhost), got \"%2\"")
                         .arg(option->names().first(), text));
            return 2;
        }
        const char* in = framing == sim::NetServer::Mbap ? "<- mbap" : "<- tcp";
        const char* out = framing == sim::NetServer::Mbap ? "-> mbap" : "-> tcp";
        auto server = std::make_unique<sim::NetServer>(
            framing, [&module, in, out, log = parser.isSet(logOption)](const QByteArray& request) {
                const QByteArray reply = module.answer(request);
                if (log) {
                    logFrame(in, request);
                    if (!reply.isEmpty())
                        logFrame(out, reply);
                }
                return reply;
            });
        QString listenError;
        if (!server->listen(where->first, where->second, &listenError)) {
            complain(QStringLiteral("--%1 %2: %3").arg(option->names().first(), text, listenError));
            return 1;
        }
        servers.push_back(std::move(server));
    }

    if (parser.isSet(logOption)) {
        QObject::connect(&module.transport(), &sim::PtyTransport::requestReceived, &app,
                         [](const QByteArray& bytes) { logFrame("<-", bytes); });
        QObject::connect(&module.transport(), &sim::PtyTransport::replySent, &app,
                         [](const QByteArray& bytes) { logFrame("->", bytes); });
        QObject::connect(&module.transport(), &sim::PtyTransport::garbageDiscarded, &app,
                         [](const QByteArray& bytes) { logFrame("xx", bytes, QStringLiteral("discarded")); });
        QObject::connect(
            &module.transport(), &sim::PtyTransport::requestCollided, &app, [](const QByteArray& bytes) {
                logFrame("><", bytes, QStringLiteral("collision: lost with the rest of the reply"));
            });
        QObject::connect(&module.transport(), &sim::PtyTransport::faultApplied, &app,
                         [](const sim::Fault& fault, const QByteArray& request) {
                             logFrame("!!", request, QStringLiteral("fault ") + fault.toString());
                         });
    }
    QObject::connect(&module.transport(), &sim::PtyTransport::vanished, &app, [] {
        say(QStringLiteral("模拟模块已断开 (vanished)；输入 reopen 重新连接，Ctrl+C 退出"));
    });

    QTimer driftTimer;
    if (parser.isSet(driftOption)) {
        QObject::connect(&driftTimer, &QTimer::timeout, &app,
                         [&module] { module.model().drift(*QRandomGenerator::global()); });
        driftTimer.start(1000);
    }

    if (::isatty(STDIN_FILENO))
        new Console(&module, force, &app);

    const sim::ModuleModel& m = module.model();
    say(QStringLiteral("模拟模块已就绪：COM%1 -> %2 (站号 %3, %4 波特)")
            .arg(port)
            .arg(module.slavePath())
            .arg([&] {
                QStringList stations{QString::number(m.station())};
                for (const MoreStation& more : moreStations)
                    stations.append(more.baudCode == 0 ? QString::number(more.station)
                                                       : QStringLiteral("%1@%2").arg(more.station).arg(
                                                             protocol::baudRateForCode(more.baudCode)));
                return stations.join(QLatin1Char(','));
            }())
            .arg(m.baudRate()));
    say(QStringLiteral("链接 (link): %1").arg(module.linkPath()));
    for (const auto& server : servers)
        say(QStringLiteral("%1: %2:%3")
                .arg(server->framing() == sim::NetServer::Mbap ? QStringLiteral("Modbus TCP 网关 (mbap)")
                                                               : QStringLiteral("TCP 透传 (tcp)"))
                .arg(parser.value(server->framing() == sim::NetServer::Mbap ? mbapOption : tcpOption)
                         .section(QLatin1Char(':'), 0, -2))
                .arg(server->port()));
    if (!module.transport().faults().isEmpty()) {
        QStringList names;
        for (const sim::Fault& f : module.transport().faults())
            names << f.toString();
        say(QStringLiteral("故障 (faults): %1").arg(names.join(QStringLiteral("; "))));
    }
    // Only for someone at the terminal: started by a script, the module ends with it.
    if (::isatty(STDIN_FILENO))
        say(QStringLiteral("按 Ctrl+C 退出 (Ctrl+C to quit)"));

    const int rc = QCoreApplication::exec();
    module.stop();
    return rc;
}
