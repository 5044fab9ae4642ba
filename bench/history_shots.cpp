// history_shots: pictures of the history tab with a hot spot rising, and its CSV
// export read back.
//
// The window reads the simulated module with the demo history scenario
// (sim/scenarios/demo-history.scn: a simulated hour every real minute, channel
// 3's sensor 12# heating up from 30 s after the start) in the all-channels loop
// for a few whole minutes, recording every second, with a high limit of 35 °C.
// Then it charts four of channel 3's sensors over exactly those minutes and grabs
// the tab, and the alarms page with the alarm the hot spot raised, into
// history-tab.png and history-alarms.png. With /usr/sbin/mosquitto at hand the
// window also publishes to a broker of its own (mqtt.set) and the broker page is
// grabbed into history-broker.png. Last it exports the same choice through the
// tab's own export and checks the file against history.db.
//
//   history_shots [--folder F] [--minutes M]      (scripts/screenshot.sh --history)

#include "window_rig.h"

#include "../tests/common/mosquitto_broker.h"

#include "history/history_store.h"
#include "history/history_writer.h"
#include "ui/alarms_panel.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/history_tab.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QSqlQuery>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kChannels = 10;
constexpr int kSensors = 40;
constexpr int kBaud = 9600;
constexpr int kStation = 1;
constexpr int kChannel = 3;
// 12#: the hot spot; the others set 1.4 °C and more apart, so that no line hides another.
const QVector<int> kPositions{3, 7, 12, 15};
const QList<std::pair<QString, QByteArray>> kFiles{
    {QStringLiteral("history.set"), "1,90\r\n"}, // every second, kept 90 days
    {QStringLiteral("alarms.set"), "35,,\r\n"},  // a high limit of 35 °C, no low or rise limit
};
constexpr qint64 kMinuteMs = 60000;

// Runs the event loop until `signal` of `sender` comes, at most `ms`.
template <typename Sender, typename Signal> bool waitFor(Sender* sender, Signal signal, int ms)
{
    QEventLoop loop;
    bool came = false;
    QObject::connect(sender, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return came;
}

bool grab(QWidget* widget, const QString& path)
{
    QCoreApplication::processEvents();
    const bool saved = widget->grab().save(path);
    std::printf("  %s %s\n", saved ? "saved" : "COULD NOT SAVE", qPrintable(path));
    return saved;
}

// The CSV fields a row of the database should give, built from its columns.
QStringList expectedFields(const QSqlQuery& q)
{
    static const char* const states[] = {"ok", "not_wired", "not_recognised", "no_value"};
    const int state = q.value(5).toInt();
    return {QDateTime::fromMSecsSinceEpoch(q.value(0).toLongLong())
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
            q.value(1).toString(),
            q.value(2).toString(),
            q.value(3).toString(),
            state == 0 ? QString::number(q.value(4).toDouble(), 'f', 2) : QString(),
            QLatin1String(states[std::clamp(state, 0, 3)]),
            q.value(6).toString()};
}

// Exports the chart's choice through the tab and reads the file back against the database.
bool exportAndReadBack(HistoryTab& tab, const QString& databasePath, const QString& folder)
{
    QString path;
    dialogs::setFileDialogHandler([&path, &folder](const dialogs::FileDialogRequest& request) {
        path = QDir(folder).filePath(request.fileName); // the name proposed
        return path;
    });
    tab.cmdExportCsv_Click();
    waitFor(&tab, &HistoryTab::exportFinished, 60000);
    dialogs::setFileDialogHandler(nullptr);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        std::printf("  the export wrote no file\n");
        return false;
    }
    const QByteArray bytes = file.readAll();
    const QByteArray bom("\xEF\xBB\xBF");
    QStringList lines =
        QString::fromUtf8(bytes.mid(bytes.startsWith(bom) ? bom.size() : 0)).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty())
        lines.removeLast();

    const history::ReadingQuery query = tab.chosenQuery(rig::nowMs());
    QStringList positions;
    for (int p : query.positions)
        positions << QString::number(p);
    QList<QStringList> expected;
    const rig::ReadOnlyDb db(databasePath);
    db.forEach(
        QStringLiteral("SELECT time_ms, station, channel, position, celsius, state, raw FROM readings "
                       "WHERE station = ? AND channel = ? AND position IN (%1) AND time_ms BETWEEN ? AND ? "
                       "ORDER BY time_ms, position")
            .arg(positions.join(QLatin1Char(','))),
        {query.station, query.channel, query.fromMs, query.toMs},
        [&expected](const QSqlQuery& q) { expected << expectedFields(q); });
    int matching = 0;
    for (int i = 1; i < lines.size(); ++i)
        matching += i - 1 < expected.size() && lines[i].split(QLatin1Char(',')) == expected[i - 1];

    std::printf("\nCSV export %s (%lld bytes)\n", qPrintable(path), qint64(bytes.size()));
    std::printf("  UTF-8 byte-order mark first: %s\n", bytes.startsWith(bom) ? "yes" : "NO");
    std::printf("  first lines:\n");
    for (int i = 0; i < 5 && i < lines.size(); ++i)
        std::printf("    %s\n", qPrintable(lines[i]));
    std::printf("  rows (after the header) %lld, rows in history.db for the choice %lld, matching field by "
                "field %d\n",
                qint64(lines.size() - 1), qint64(expected.size()), matching);
    return bytes.startsWith(bom) && lines.size() - 1 == expected.size() && matching == expected.size();
}

int takePictures(const QString& out, int minutes)
{
    // The chart's range is whole minutes: start on one, so the readings fill it.
    const qint64 startMs = (rig::nowMs() / kMinuteMs + 1) * kMinuteMs;
    std::printf("waiting %lld s for the next whole minute\n", (startMs - rig::nowMs()) / 1000);
    QThread::msleep(ulong(startMs - rig::nowMs()));
    MosquittoBroker broker;
    QList<std::pair<QString, QByteArray>> files = kFiles;
    if (MosquittoBroker::available() && broker.start())
        files.append({QStringLiteral("mqtt.set"),
                      "127.0.0.1," + QByteArray::number(broker.port()) + ",plant,desk\r\n"});
    else
        std::printf("no mosquitto broker: the broker page is not pictured\n");
    rig::Installation site;
    if (!site.start(kBaud, kChannels, kSensors, files,
                    {QStringLiteral("--scenario"), QStringLiteral(TQ_HISTORY_SCENARIO)}))
        return 1;
    MainWindow window;
    window.startUp();
    if (!window.MSComm1->PortOpen()) {
        std::fprintf(stderr, "the program did not open COM%d\n", rig::kPort);
        return 1;
    }
    window.show();
    int passes = 0;
    int batchesRecorded = 0;
    const rig::PassWatch watch(window, [&](const rig::PassSpan&) {
        if (++passes == 1) // the recorder comes with the first batch, just handed over
            QObject::connect(window.outlet().recorder(), &history::HistoryRecorder::recorded, &window,
                             [&batchesRecorded] { ++batchesRecorded; });
    });
    const qint64 endMs = startMs + minutes * kMinuteMs;
    rig::runLoop(window, endMs - rig::nowMs());
    // Every pass's batch holds readings a second after the last: each is recorded.
    while (batchesRecorded < passes &&
           waitFor(window.outlet().recorder(), &history::HistoryRecorder::recorded, 5000)) {
    }
    std::printf("%d passes, %d batches recorded\n", passes, batchesRecorded);

    HistoryTab* tab = window.historyTab();
    window.SSTab1->setCurrentWidget(tab); // builds the tab: its first chart comes first
    waitFor(tab, &HistoryTab::trendShown, 5000);
    tab->cboTrendChannel->setCurrentIndex(kChannel - 1);
    tab->lstTrendPositions->clearSelection();
    for (int p : kPositions)
        tab->lstTrendPositions->item(p - 1)->setSelected(true);
    tab->cboTrendRange->setCurrentIndex(HistoryTab::Custom);
    tab->dtpTrendFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(startMs));
    tab->dtpTrendTo->setDateTime(QDateTime::fromMSecsSinceEpoch(endMs));
    if (!waitFor(tab, &HistoryTab::trendShown, 5000))
        std::printf("the chart did not show its readings\n");
    bool good = grab(window.SSTab1, QDir(out).filePath(QStringLiteral("history-tab.png")));
    tab->tabHistory->setCurrentWidget(window.alarmsPanel());
    good = grab(window.SSTab1, QDir(out).filePath(QStringLiteral("history-alarms.png"))) && good;
    if (files.size() > kFiles.size()) {
        tab->tabHistory->setCurrentWidget(
            tab->tabHistory->findChild<QWidget*>(QStringLiteral("tabHistoryBroker")));
        good = grab(window.SSTab1, QDir(out).filePath(QStringLiteral("history-broker.png"))) && good;
    }
    tab->tabHistory->setCurrentWidget(tab->tabHistoryTrend);
    return exportAndReadBack(*tab, history::HistoryStore::pathIn(site.folder.path()), out) && good ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pictures of the history tab with a rising hot spot."));
    parser.addHelpOption();
    const QCommandLineOption folderOption(
        QStringLiteral("folder"), QStringLiteral("Where the pictures and the CSV go (default: here)."),
        QStringLiteral("F"), QStringLiteral("."));
    const QCommandLineOption minutesOption(
        QStringLiteral("minutes"), QStringLiteral("Whole minutes of readings charted (1 to 60, default 2)."),
        QStringLiteral("M"), QStringLiteral("2"));
    parser.addOptions({folderOption, minutesOption});
    parser.process(app);
    bool ok = false;
    const int minutes = parser.value(minutesOption).toInt(&ok);
    if (!ok || minutes < 1 || minutes > 60) {
        std::fprintf(stderr, "--minutes: a whole number of minutes from 1 to 60 is needed\n");
        return 2;
    }
    const QString out = QDir(parser.value(folderOption)).absolutePath();
    QDir().mkpath(out);
    dialogs::setMessageBoxHandler([](const dialogs::MessageBoxRequest& request) {
        std::printf("  message: %s\n", qPrintable(request.text));
        return int(dialogs::AnswerOk);
    });
    return takePictures(out, minutes);
}
