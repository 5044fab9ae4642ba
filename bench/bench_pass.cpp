// bench_pass: how long one all-channels pass (readAllChannelsOnce) takes against
// the simulated module, compared with the time its bytes need on the line.
//
// The module runs as a separate process (tq5900k-sim on a pseudo-terminal), so
// its byte pacing does not share the window's event loop. The window reads ten
// channels of 40 sensors; after every pass each of the 400 cells must be filled.
//
//   bench_pass [--passes N] [--baud 9600,19200] [--verbose] [--loop-seconds S] [--sim-arg ARG]...
//              [--reader] [--shown]
//
// A pass runs on the window's timers and signals: readAllChannelsOnce starts it
// and returns, and the benchmark runs the event loop until passFinished.
//
// After the timed passes, the all-channels loop runs continuously (a pass as
// soon as the last one ended) for S seconds (default 10; 0 skips it), and the
// process's CPU time over that span is printed as percent of one core: what
// reading the module around the clock costs the machine.
//
// --reader times the headless reader's round (tq5900k-reader's SiteReader, one
// station) the same way after the window's passes, on the same module.
//
// --shown shows the window on the data tab "数据查询" for the whole run, as an
// operator watches the loop, so that painting the 400 cells and the status box
// is in the figures: run it on a real display (xvfb-run -a bench_pass --shown).
// Without it the window is never shown, on the offscreen platform.
//
// --sim-arg hands ARG to the simulator, e.g. --sim-arg=--fault=noreply,channel=3
// to see what a channel that never answers costs the pass.

#include "window_rig.h"

#include "acquisition/read_timing.h"
#include "port/mscomm.h"
#include "port/port_names.h"
#include "port/qserialport_backend.h"
#include "protocol/frames.h"
#include "protocol/line_timing.h"
#include "reader/site_reader.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kChannels = 10;
constexpr int kSensors = 40;
constexpr double kTargetRatio = 1.25;
constexpr double kTargetLoopCpuPercent = 3.0;
constexpr int kLoopCpuTargetBaud = 9600;
// Far beyond any pass of ten channels, even one that waits every deadline.
constexpr int kPassTimeoutMs = 30000;

struct PassFigures
{
    int baud = 0;
    std::vector<double> passMs;
    int badPasses = 0;
    double loopSeconds = 0; // wall time of the continuous loop
    double loopCpuSeconds = 0;
    int loopPasses = 0;
};

struct RunFigures
{
    PassFigures window;
    PassFigures reader; // empty unless --reader
};

double cpuSecondsSoFar()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the all-channels loop back to back for `seconds` and notes its CPU time.
void measureLoop(MainWindow& window, double seconds, PassFigures& figures)
{
    int passes = 0;
    const rig::PassWatch watch(window, [&passes](const rig::PassSpan&) { ++passes; });
    const double cpuBefore = cpuSecondsSoFar();
    QElapsedTimer wall;
    wall.start();
    rig::runLoop(window, qint64(seconds * 1000));
    figures.loopSeconds = double(wall.nsecsElapsed()) / 1e9;
    figures.loopCpuSeconds = cpuSecondsSoFar() - cpuBefore;
    figures.loopPasses = passes;
}

// Cells of the pass's channels that are not filled: empty, or still red.
int unfilledCells(const MainWindow& window)
{
    int missing = 0;
    for (int c = 0; c < kChannels; ++c) {
        const QVector<QLineEdit*>& cells = window.txtValue[size_t(c)];
        for (int k = 0; k < kSensors; ++k) {
            if (k >= cells.size() || cells[k]->text().isEmpty() ||
                cells[k]->palette().color(QPalette::Text) != QColor(Qt::black))
                ++missing;
        }
    }
    return missing;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Line time of the whole pass: every request and every full reply, 10 bits a byte.
double lineFloorMs(int baud)
{
    const int bytes =
        kChannels * (acquisition::kTemperatureRequestBytes + protocol::temperatureReplyLength(kSensors));
    return bytes * 10.0 * 1000.0 / baud;
}

// The reader's rounds of one station on the module in `folder`: `passes` timed
// rounds, then back to back for `loopSeconds`. A round counts as bad unless
// every position came back, without a failed channel.
void measureReader(const QString& folder, int baud, int passes, bool verbose, double loopSeconds,
                   PassFigures& figures)
{
    figures.baud = baud;
    port::MSComm line(std::make_unique<port::QSerialPortBackend>());
    if (!reader::openLine(line, port::resolvePortName(rig::kPort, folder), baud)) {
        std::fprintf(stderr, "the reader cannot open COM%d\n", rig::kPort);
        ++figures.badPasses;
        return;
    }
    requests::RequestCore core(&line);
    reader::ReaderOptions options;
    options.channels = kChannels;
    options.sensors = kSensors;
    options.intervalSeconds = 0;

    // Runs the reader until it finishes or `stopAfterMs` passes; returns whether every round was whole.
    const auto run = [&](bool once, int stopAfterMs, int* rounds) {
        options.once = once;
        reader::SiteReader siteReader(core, options);
        int values = 0;
        bool failed = false;
        siteReader.onChannel([&](const site::ChannelRecords& records) {
            values += records.readings.size();
            failed = failed || records.failure;
        });
        QEventLoop loop;
        QObject::connect(&siteReader, &reader::SiteReader::finished, &loop, &QEventLoop::quit);
        if (stopAfterMs > 0)
            QTimer::singleShot(stopAfterMs, &siteReader, &reader::SiteReader::stop);
        siteReader.start();
        loop.exec();
        *rounds = siteReader.rounds();
        return !failed && values == siteReader.rounds() * kChannels * kSensors;
    };
    int rounds = 0;
    run(true, 0, &rounds); // warm-up
    for (int i = 0; i < passes; ++i) {
        QElapsedTimer timer;
        timer.start();
        const bool good = run(true, 0, &rounds);
        figures.passMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        figures.badPasses += !good;
        if (verbose)
            std::printf("  %d baud reader round %2d: %8.1f ms%s\n", baud, i + 1, figures.passMs.back(),
                        good ? "" : "  (values missing)");
    }
    if (loopSeconds > 0) {
        const double cpuBefore = cpuSecondsSoFar();
        QElapsedTimer wall;
        wall.start();
        run(false, int(loopSeconds * 1000), &figures.loopPasses);
        figures.loopSeconds = double(wall.nsecsElapsed()) / 1e9;
        figures.loopCpuSeconds = cpuSecondsSoFar() - cpuBefore;
    }
}

// The window on screen on the data tab, as an operator watches the loop.
void showOnDataTab(MainWindow& window)
{
    window.SSTab1->setCurrentWidget(window.tabPages[0]);
    window.show();
    window.raise();
    rig::waitMs(1000); // mapped, its cells built and painted once
}

struct RunChoices
{
    int passes = 10;
    bool verbose = false;
    double loopSeconds = 10;
    QStringList simArgs;
    bool withReader = false;
    bool shown = false;
};

bool runAt(int baud, const RunChoices& choices, RunFigures& run)
{
    PassFigures& figures = run.window;
    figures.baud = baud;
    rig::Installation site;
    if (!site.start(baud, kChannels, kSensors, {}, choices.simArgs))
        return false;

    bool ok = true;
    {
        MainWindow window;
        window.startUp();
        if (!window.MSComm1->PortOpen()) {
            std::fprintf(stderr, "the program did not open COM%d at %d baud\n", rig::kPort, baud);
            ok = false;
        } else {
            if (choices.shown)
                showOnDataTab(window);
            // Warm-up: first use of the port, caches, fonts.
            const bool warmUpWhole = rig::runPass(window, kPassTimeoutMs);
            if (int missing = unfilledCells(window); missing || !warmUpWhole) {
                std::fprintf(stderr, "%d baud: warm-up pass %sleft %d of %d cells unfilled\n", baud,
                             warmUpWhole ? "" : "ended early and ", missing, kChannels * kSensors);
                ++figures.badPasses;
            }
            for (int i = 0; i < choices.passes; ++i) {
                QElapsedTimer timer;
                timer.start();
                const bool whole = rig::runPass(window, kPassTimeoutMs);
                const double ms = double(timer.nsecsElapsed()) / 1e6;
                figures.passMs.push_back(ms);
                const int missing = unfilledCells(window);
                if (missing || !whole) {
                    std::fprintf(stderr, "%d baud: pass %d %sleft %d of %d cells unfilled\n", baud, i + 1,
                                 whole ? "" : "ended early and ", missing, kChannels * kSensors);
                    ++figures.badPasses;
                }
                if (choices.verbose)
                    std::printf("  %d baud pass %2d: %8.1f ms%s\n", baud, i + 1, ms,
                                missing || !whole ? "  (cells missing)" : "");
            }
            if (choices.loopSeconds > 0)
                measureLoop(window, choices.loopSeconds, figures);
        }
    }
    if (ok && choices.withReader)
        measureReader(site.folder.path(), baud, choices.passes, choices.verbose, choices.loopSeconds,
                      run.reader);
    return ok;
}

void report(const PassFigures& f, const char* who)
{
    const double floorMs = lineFloorMs(f.baud);
    const double med = median(f.passMs);
    const auto [lo, hi] = std::minmax_element(f.passMs.begin(), f.passMs.end());
    const int fixedWaitMs = kChannels * acquisition::kPassDeadlineFloorMs;
    std::printf("\n%s: all-channels pass, %d channels x %d sensors, %d baud, %zu passes\n", who, kChannels,
                kSensors, f.baud, f.passMs.size());
    std::printf("  pass time       median %8.1f ms   min %8.1f ms   max %8.1f ms\n", med, *lo, *hi);
    std::printf("  line-time floor %8.1f ms  (%d x (%d + %d) bytes x 10 bits / %d baud)\n", floorMs,
                kChannels, acquisition::kTemperatureRequestBytes, protocol::temperatureReplyLength(kSensors),
                f.baud);
    // The bus also keeps 3.5 characters of silence before each request (the
    // pass waits for it) and before each reply (the module waits for it).
    const double gapsMs = kChannels * 2 * protocol::interFrameGapUs(f.baud) / 1000.0;
    std::printf("  with silences   %8.1f ms  (+ %d x 2 x 3.5 characters; the pass cannot beat this)\n",
                floorMs + gapsMs, kChannels);
    std::printf("  median / floor  %8.3f     target <= %.2f: %s\n", med / floorMs, kTargetRatio,
                med / floorMs <= kTargetRatio ? "met" : "MISSED");
    std::printf("  always waiting  %8d ms  (%d x %d ms), %.1fx the median\n", fixedWaitMs, kChannels,
                acquisition::kPassDeadlineFloorMs, fixedWaitMs / med);
    std::printf("  values          %s\n",
                f.badPasses ? "SOME PASSES LEFT VALUES MISSING" : "all 400 after every pass");
    if (f.loopSeconds > 0) {
        const double percent = 100.0 * f.loopCpuSeconds / f.loopSeconds;
        std::printf(
            "  continuous loop %8.2f %% of one core  (%.2f s CPU in %.1f s, %d passes, %.1f ms a pass)",
            percent, f.loopCpuSeconds, f.loopSeconds, f.loopPasses,
            f.loopPasses > 0 ? 1000.0 * f.loopCpuSeconds / f.loopPasses : 0.0);
        // The target is set for 9600 baud; a faster line runs more passes a second.
        if (f.baud == kLoopCpuTargetBaud)
            std::printf("  target <= %.0f %%: %s", kTargetLoopCpuPercent,
                        percent <= kTargetLoopCpuPercent ? "met" : "MISSED");
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // The window is painted only where it is shown: without --shown nothing needs a display.
    const bool shown =
        std::any_of(argv + 1, argv + argc, [](const char* a) { return qstrcmp(a, "--shown") == 0; });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !shown)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the all-channels pass against tq5900k-sim."));
    parser.addHelpOption();
    const QCommandLineOption passesOption({QStringLiteral("n"), QStringLiteral("passes")},
                                          QStringLiteral("Timed passes per baud rate (default 10)."),
                                          QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Comma-separated baud rates (default 9600,19200)."),
                                        QStringLiteral("LIST"), QStringLiteral("9600,19200"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Print every pass."));
    const QCommandLineOption loopOption(
        QStringLiteral("loop-seconds"),
        QStringLiteral(
            "Seconds of continuous all-channels loop whose CPU time is measured (default 10, 0: none)."),
        QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption simArgOption(QStringLiteral("sim-arg"),
                                          QStringLiteral("Extra argument for tq5900k-sim (repeatable)."),
                                          QStringLiteral("ARG"));
    const QCommandLineOption readerOption(QStringLiteral("reader"),
                                          QStringLiteral("Also time the headless reader's round."));
    const QCommandLineOption shownOption(
        QStringLiteral("shown"),
        QStringLiteral("Show the window on the data tab throughout, so painting counts (use a display)."));
    parser.addOptions(
        {passesOption, baudOption, verboseOption, loopOption, simArgOption, readerOption, shownOption});
    parser.process(app);

    bool ok = false;
    RunChoices choices;
    choices.passes = parser.value(passesOption).toInt(&ok);
    if (!ok || choices.passes < 1) {
        std::fprintf(stderr, "--passes: expected a positive number\n");
        return 2;
    }
    choices.loopSeconds = parser.value(loopOption).toDouble(&ok);
    if (!ok || choices.loopSeconds < 0) {
        std::fprintf(stderr, "--loop-seconds: expected a number of seconds, 0 or more\n");
        return 2;
    }
    std::vector<int> bauds;
    for (const QString& text : parser.value(baudOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int baud = text.trimmed().toInt(&ok);
        if (!ok || (baud != 4800 && baud != 9600 && baud != 14400 && baud != 19200)) {
            std::fprintf(stderr, "--baud: %s is not 4800, 9600, 14400 or 19200\n", qPrintable(text));
            return 2;
        }
        bauds.push_back(baud);
    }

    // A message box would block the pass; note it and answer at once.
    dialogs::setMessageBoxHandler([](const dialogs::MessageBoxRequest& request) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(request.text));
        return int(dialogs::AnswerOk);
    });

    choices.verbose = parser.isSet(verboseOption);
    choices.simArgs = parser.values(simArgOption);
    choices.withReader = parser.isSet(readerOption);
    choices.shown = shown;
    std::printf("Qt platform %s; the window %s\n", qPrintable(QGuiApplication::platformName()),
                shown ? "shown on the data tab" : "never shown");

    int status = 0;
    for (int baud : bauds) {
        RunFigures figures;
        const bool withReader = choices.withReader;
        if (!runAt(baud, choices, figures) || figures.window.passMs.empty() ||
            (withReader && figures.reader.passMs.empty())) {
            status = 1;
            continue;
        }
        report(figures.window, "Window");
        if (withReader)
            report(figures.reader, "Reader");
        if (figures.window.badPasses || figures.reader.badPasses)
            status = 1;
    }
    return status;
}
