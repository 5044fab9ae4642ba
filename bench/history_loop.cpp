// bench_history_loop: whether what the window shows of its all-channels loop is
// what the history records, and whether history.db survives the program being
// killed in the middle of a pass.
//
// The window (MainWindow, offscreen) reads 10 channels of 40 sensors from
// tq5900k-sim at 9600 baud, whose temperatures swing and scatter so that the
// values change, with the record interval at 1 s (history.set "1,90"). After
// every pass it notes the 400 cells' texts and when the pass read each channel.
// At the end, with every batch written (the window is closed), each value shown
// must be a row of history.db, opened read-only, for its sensor, stamped while
// the pass read its channel, with the text the grid showed. Values the record
// interval left out by design are counted apart.
//
//   bench_history_loop [--seconds N] [--baud B]
//   bench_history_loop --kill-after-ms M[,M...]
//
// With --kill-after-ms a child process runs the same loop and reports each pass
// and each batch the writer recorded on its standard output; it is killed
// (SIGKILL) M ms after its loop began, once for each M. history.db must then
// pass PRAGMA integrity_check and hold every batch reported recorded; only the
// pass on the line (and a batch killed while being written) may be missing.

#include "window_rig.h"

#include "common/window_probes.h"

#include "history/history_store.h"
#include "history/history_writer.h"
#include "protocol/temperature.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/program_folder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

constexpr int kChannels = 10;
constexpr int kSensors = 40;
constexpr int kStation = 1;
constexpr qint64 kIntervalMs = 1000;
constexpr const char* kHistorySet = "1,90\r\n"; // record interval 1 s, 90 days kept
constexpr int kMissingListed = 5;
// Temperatures that change from pass to pass: a day's swing in 24 minutes, and noise.
const QStringList kSimArgs{QStringLiteral("--swing=3"), QStringLiteral("--noise=0.05"),
                           QStringLiteral("--time-scale=60")};

// The text the grid shows for a row, from the columns other programs read: its
// temperature, or its state (no value shows as the register 65535 does, 0.00).
QString gridText(double celsius, int state)
{
    using history::ReadingState;
    switch (ReadingState(state)) {
    case ReadingState::Ok:
        return QString::number(celsius, 'f', 2);
    case ReadingState::NotWired:
        return protocol::temperatureText(quint16(protocol::NotWiredCode));
    case ReadingState::NotRecognised:
        return protocol::temperatureText(quint16(protocol::NotRecognisedCode));
    case ReadingState::NoValue:
        break;
    }
    return protocol::temperatureText(0xFFFF);
}

void removeDatabase(const QString& folder)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(history::HistoryStore::pathIn(folder) + QLatin1String(suffix));
}

bool openWindow(MainWindow& window)
{
    window.startUp();
    if (!window.MSComm1->PortOpen())
        std::fprintf(stderr, "the program did not open COM%d\n", rig::kPort);
    return window.MSComm1->PortOpen();
}

// ---- The loop's values against the database

struct Pass
{
    rig::PassSpan span;
    QStringList texts; // channel by channel; empty where the cell was left empty
};

struct Row
{
    qint64 timeMs;
    QString text;
};

struct Tally
{
    qint64 shown = 0;
    qint64 found = 0;
    // Not recorded by design: the sensor's last record was younger than the interval.
    qint64 withinInterval = 0;
    // Rows stamped while the pass read the channel, none with the text shown.
    qint64 different = 0;
    qint64 missing = 0;
    // Cells a flagged or cut-short reply left empty: nothing shown.
    qint64 empty = 0;
    QStringList listed;
};

void checkPasses(const std::vector<Pass>& passes, const rig::ReadOnlyDb& db, Tally& tally, qint64& closestMs)
{
    QHash<int, QVector<Row>> bySensor; // channel * 1000 + position, in time order
    db.forEach(QStringLiteral("SELECT time_ms, channel, position, celsius, state FROM readings "
                              "WHERE station = ? ORDER BY time_ms"),
               {kStation}, [&bySensor](const QSqlQuery& q) {
                   bySensor[q.value(1).toInt() * 1000 + q.value(2).toInt()].append(
                       Row{q.value(0).toLongLong(), gridText(q.value(3).toDouble(), q.value(4).toInt())});
               });
    closestMs = LLONG_MAX;
    for (const QVector<Row>& rows : qAsConst(bySensor))
        for (int i = 1; i < rows.size(); ++i)
            closestMs = std::min(closestMs, rows[i].timeMs - rows[i - 1].timeMs);

    for (size_t p = 0; p < passes.size(); ++p) {
        const Pass& pass = passes[p];
        for (int i = 0; i < pass.texts.size(); ++i) {
            const QString& shown = pass.texts[i];
            if (shown.isEmpty()) {
                ++tally.empty;
                continue;
            }
            ++tally.shown;
            const int channel = 1 + i / kSensors;
            const int position = 1 + i % kSensors;
            // The rows stamped while the pass read this channel: a pass may start in
            // the millisecond the last one ended, so its own span can hold an older row.
            const auto [fromMs, toMs] = pass.span.readingTimes(channel);
            const QVector<Row> rows = bySensor.value(channel * 1000 + position);
            auto it = std::lower_bound(rows.cbegin(), rows.cend(), fromMs,
                                       [](const Row& r, qint64 t) { return r.timeMs < t; });
            const auto before = it;
            bool found = false;
            bool other = false;
            for (; it != rows.cend() && it->timeMs <= toMs; ++it) {
                found = found || it->text == shown;
                other = other || it->text != shown;
            }
            if (found) {
                ++tally.found;
                continue;
            }
            // Not recorded by design when the sensor's last record is younger than the interval.
            if (!other && before != rows.cbegin() && toMs - (before - 1)->timeMs < kIntervalMs) {
                ++tally.withinInterval;
                continue;
            }
            ++(other ? tally.different : tally.missing);
            if (tally.listed.size() < kMissingListed)
                tally.listed << QStringLiteral("pass %1, channel %2, position %3: shown \"%4\", %5")
                                    .arg(p + 1)
                                    .arg(channel)
                                    .arg(position)
                                    .arg(shown, other ? QStringLiteral("other values recorded")
                                                      : QStringLiteral("no row"));
        }
    }
}

int runLoopAndCheck(int seconds, int baud)
{
    rig::Installation site;
    if (!site.start(baud, kChannels, kSensors, {{QStringLiteral("history.set"), kHistorySet}}, kSimArgs))
        return 1;
    std::vector<Pass> passes;
    {
        MainWindow window;
        if (!openWindow(window))
            return 1;
        const rig::PassWatch watch(window, [&window, &passes](const rig::PassSpan& span) {
            QStringList texts;
            for (int c = 1; c <= kChannels; ++c)
                texts += cellTexts(window, c, kSensors);
            passes.push_back({span, texts});
        });
        rig::runLoop(window, qint64(seconds) * 1000);
    } // closing the window writes every batch handed over and closes the database

    const QString path = history::HistoryStore::pathIn(site.folder.path());
    const qint64 fileBytes = QFileInfo(path).size();
    const bool logLeft = QFileInfo::exists(path + QLatin1String("-wal"));
    const rig::ReadOnlyDb db(path);
    Tally tally;
    qint64 closestMs = 0;
    checkPasses(passes, db, tally, closestMs);
    const qint64 rows = db.value(QStringLiteral("SELECT COUNT(*) FROM readings")).toLongLong();
    const QString integrity = db.integrity();

    std::vector<qint64> passMs;
    for (const Pass& p : passes)
        passMs.push_back(p.span.endMs - p.span.startMs);
    std::sort(passMs.begin(), passMs.end());
    std::printf(
        "\nHistory of the all-channels loop: %d channels x %d sensors, %d baud, record interval %lld s, "
        "%d s\n",
        kChannels, kSensors, baud, kIntervalMs / 1000, seconds);
    if (passMs.empty()) {
        std::printf("  no pass ended\n");
        return 1;
    }
    std::printf("  passes                %10zu   (%lld ms median, %lld .. %lld ms)\n", passes.size(),
                passMs[passMs.size() / 2], passMs.front(), passMs.back());
    std::printf("  values shown          %10lld\n", tally.shown);
    std::printf("  found in history.db   %10lld\n", tally.found);
    std::printf("  within the interval   %10lld   (not recorded by design: the sensor's last record is "
                "younger than %lld ms)\n",
                tally.withinInterval, kIntervalMs);
    std::printf("  missing               %10lld\n", tally.missing);
    std::printf(
        "  different             %10lld   (recorded while the pass read the channel, with another text)\n",
        tally.different);
    for (const QString& line : qAsConst(tally.listed))
        std::printf("      %s\n", qPrintable(line));
    std::printf("  cells left empty      %10lld   (flagged or cut-short replies: nothing shown)\n",
                tally.empty);
    std::printf("  rows in history.db    %10lld   (one sensor's closest two: %lld ms apart)\n", rows,
                closestMs);
    std::printf("  file size             %10.1f MiB (%lld bytes, %.1f a row%s)\n", fileBytes / 1048576.0,
                fileBytes, rows ? double(fileBytes) / double(rows) : 0.0,
                logLeft ? "; a -wal file was left beside it" : "");
    std::printf("  PRAGMA integrity_check  %s\n", qPrintable(integrity));
    return tally.missing == 0 && tally.different == 0 && integrity == QLatin1String("ok") ? 0 : 1;
}

// ---- Killed in the middle of a pass

// The child: the loop until it is killed, each pass ("pass START END") and each
// batch recorded ("recorded ROWS FIRST LAST RAWSUM") on stdout as it happens.
int runUntilKilled(const QString& folder)
{
    setProgramFolderForTests(folder);
    MainWindow window;
    if (!openWindow(window))
        return 1;
    bool watching = false;
    const rig::PassWatch watch(window, [&window, &watching](const rig::PassSpan& span) {
        std::printf("pass %lld %lld\n", span.startMs, span.endMs);
        std::fflush(stdout);
        // The recorder comes with the first batch, handed over just now: its report is yet to come.
        if (watching || !window.outlet().recorder())
            return;
        watching = true;
        QObject::connect(window.outlet().recorder(), &history::HistoryRecorder::recorded, &window,
                         [](const QVector<history::Reading>& readings) {
                             qint64 rawSum = 0;
                             for (const history::Reading& r : readings)
                                 rawSum += r.raw;
                             std::printf("recorded %lld %lld %lld %lld\n", qint64(readings.size()),
                                         readings.first().timeMs, readings.last().timeMs, rawSum);
                             std::fflush(stdout);
                         });
    });
    std::printf("loop\n");
    std::fflush(stdout);
    rig::runLoop(window, INT_MAX);
    return 0;
}

struct Batch
{
    qint64 rows, firstMs, lastMs, rawSum;
};

struct ChildReport
{
    std::vector<rig::PassSpan> passes;
    std::vector<Batch> batches;

    void read(QProcess& child)
    {
        while (child.canReadLine()) {
            const QList<QByteArray> f = child.readLine().trimmed().split(' ');
            if (f[0] == "pass" && f.size() == 3) {
                passes.emplace_back();
                passes.back().startMs = f[1].toLongLong();
                passes.back().endMs = f[2].toLongLong();
            } else if (f[0] == "recorded" && f.size() == 5)
                batches.push_back(
                    {f[1].toLongLong(), f[2].toLongLong(), f[3].toLongLong(), f[4].toLongLong()});
        }
    }
};

// One round: a child killed `afterMs` after its loop began; false when the database is not as it must be.
bool killRound(const QString& folder, int afterMs)
{
    removeDatabase(folder);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), folder});
    while (!child.canReadLine() && child.waitForReadyRead(20000)) {
    }
    if (child.readLine().trimmed() != "loop") {
        std::fprintf(stderr, "the child did not start its loop\n");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    ChildReport report;
    while (clock.elapsed() < afterMs) {
        child.waitForReadyRead(int(std::max<qint64>(1, afterMs - clock.elapsed())));
        report.read(child);
    }
    const qint64 killedMs = rig::nowMs();
    child.kill(); // SIGKILL
    child.waitForFinished(5000);
    report.read(child);
    if (report.passes.empty()) {
        std::fprintf(stderr, "no pass ended before the kill after %d ms\n", afterMs);
        return false;
    }

    const rig::ReadOnlyDb db(history::HistoryStore::pathIn(folder));
    const QString integrity = db.integrity();
    const qint64 rows = db.value(QStringLiteral("SELECT COUNT(*) FROM readings")).toLongLong();
    qint64 rowsReported = 0;
    int batchesFound = 0;
    for (const Batch& b : report.batches) {
        rowsReported += b.rows;
        qint64 count = -1;
        qint64 rawSum = -1;
        db.forEach(QStringLiteral("SELECT COUNT(*), TOTAL(raw) FROM readings WHERE time_ms BETWEEN ? AND ?"),
                   {b.firstMs, b.lastMs}, [&](const QSqlQuery& q) {
                       count = q.value(0).toLongLong();
                       rawSum = qint64(q.value(1).toDouble());
                   });
        batchesFound += count == b.rows && rawSum == b.rawSum;
    }
    // Only the last pass that ended may lack its rows: its batch may not have been committed.
    int passesInDb = 0;
    bool earlierMissing = false;
    for (const rig::PassSpan& p : report.passes) {
        const bool inDb =
            db.value(QStringLiteral("SELECT COUNT(*) FROM readings WHERE time_ms BETWEEN ? AND ?"),
                     {p.startMs, p.endMs})
                .toLongLong() > 0;
        passesInDb += inDb;
        earlierMissing = earlierMissing || (!inDb && &p != &report.passes.back());
    }
    const qint64 lastEndMs = report.passes.back().endMs;
    const qint64 rowsOnTheLine =
        db.value(QStringLiteral("SELECT COUNT(*) FROM readings WHERE time_ms > ?"), {lastEndMs}).toLongLong();

    const bool good = integrity == QLatin1String("ok") && batchesFound == int(report.batches.size()) &&
                      !earlierMissing && rowsOnTheLine == 0;
    std::printf("  %8d %9lld %8zu %8d %9zu %7d %9lld %9lld %8lld  %-9s %s\n", afterMs, killedMs - lastEndMs,
                report.passes.size(), passesInDb, report.batches.size(), batchesFound, rowsReported, rows,
                rowsOnTheLine, qPrintable(integrity), good ? "as it must be" : "NOT AS IT MUST BE");
    return good;
}

int killRounds(const QList<int>& afterMs)
{
    rig::Installation site;
    if (!site.start(9600, kChannels, kSensors, {{QStringLiteral("history.set"), kHistorySet}}, kSimArgs))
        return 1;
    std::printf("\nhistory.db after the program is killed (SIGKILL) in the middle of a pass, record interval "
                "%lld s\n",
                kIntervalMs / 1000);
    std::printf("  %8s %9s %8s %8s %9s %7s %9s %9s %8s  %-9s\n", "kill ms", "into pass", "passes", "in db",
                "batches", "in db", "rows rep", "rows db", "later", "integrity");
    bool good = true;
    for (int ms : afterMs)
        good = killRound(site.folder.path(), ms) && good;
    std::printf(
        "  kill ms: after the loop began; into pass: ms since the last pass ended, the pass on the line;\n"
        "  passes: ended before the kill, in db: those with rows; batches: reported recorded, in db:\n"
        "  found whole (rows and raw sum); later: rows after the last pass ended (must be 0)\n");
    return good ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks that history.db holds what the all-channels loop showed, and survives a kill."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"), QStringLiteral("How long the loop runs (10 to 86400, default 600)."),
        QStringLiteral("N"), QStringLiteral("600"));
    const QCommandLineOption baudOption(QStringLiteral("baud"), QStringLiteral("Baud rate (default 9600)."),
                                        QStringLiteral("B"), QStringLiteral("9600"));
    const QCommandLineOption killOption(
        QStringLiteral("kill-after-ms"),
        QStringLiteral("Kill a child running the loop after each of these times (comma-separated ms)."),
        QStringLiteral("LIST"));
    QCommandLineOption childOption(QStringLiteral("child"), QStringLiteral("The killed child's part."),
                                   QStringLiteral("FOLDER"));
    childOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({secondsOption, baudOption, killOption, childOption});
    parser.process(app);

    // A message box would block the loop; note it and answer at once.
    dialogs::setMessageBoxHandler([](const dialogs::MessageBoxRequest& request) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(request.text));
        return int(dialogs::AnswerOk);
    });
    if (parser.isSet(childOption))
        return runUntilKilled(parser.value(childOption));
    if (parser.isSet(killOption)) {
        QList<int> afterMs;
        for (const QString& text : parser.value(killOption).split(QLatin1Char(','))) {
            bool ok = false;
            afterMs << text.toInt(&ok);
            if (!ok || afterMs.last() < 1) {
                std::fprintf(stderr, "--kill-after-ms: %s is not a number of milliseconds\n",
                             qPrintable(text));
                return 2;
            }
        }
        return killRounds(afterMs);
    }
    bool ok = false;
    const int seconds = parser.value(secondsOption).toInt(&ok);
    if (!ok || seconds < 10 || seconds > 86400) {
        std::fprintf(stderr, "--seconds: a whole number of seconds from 10 to 86400 is needed\n");
        return 2;
    }
    const int baud = parser.value(baudOption).toInt(&ok);
    if (!ok || (baud != 4800 && baud != 9600 && baud != 14400 && baud != 19200)) {
        std::fprintf(stderr, "--baud: 4800, 9600, 14400 or 19200\n");
        return 2;
    }
    return runLoopAndCheck(seconds, baud);
}
