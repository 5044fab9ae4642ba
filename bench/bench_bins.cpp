// The 温度分布 tab and the report at their largest: a bin of 10 cables of 160
// layers, fed channel by channel as a pass hands its readings over, timed from
// a channel's readings to the tab drawn anew and painted; and the day's report
// of ten such bins as PDF and as CSV. Prints figures (docs/benchmarks.md).

#include "ui/bins_tab.h"

#include "history/history_store.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Channels = 10;
constexpr int Positions = 160;

QVector<history::Reading> channelReadings(int station, int channel, int pass, qint64 timeMs)
{
    QVector<history::Reading> readings;
    readings.reserve(Positions);
    for (int position = 1; position <= Positions; ++position) {
        const int hundredths = 1500 + (channel * 37 + position * 11 + pass * 13) % 1500;
        readings << history::readingFromRaw(timeMs, station, channel, position, quint16(hundredths));
    }
    return readings;
}

// Runs the event loop until `signal` of `sender` comes (or 10 s pass).
template <typename Signal>
void waitFor(const typename QtPrivate::FunctionPointer<Signal>::Object* sender, Signal signal)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The 温度分布 tab's update time for a bin of 10 x 160 and "
                                                    "the report time for ten such bins."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("passes"), QStringLiteral("Passes fed to the tab (default 20)."),
                      QStringLiteral("N"), QStringLiteral("20")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Reports made (default 3)."), QStringLiteral("N"),
                      QStringLiteral("3")});
    parser.process(app);
    const int passes = std::max(1, parser.value(QStringLiteral("passes")).toInt());
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir folder;
    {
        // A history of one earlier pass, so the tab starts as after a restart.
        history::HistoryStore store(history::HistoryStore::pathIn(folder.path()));
        QVector<history::Reading> first;
        for (int channel = 1; channel <= Channels; ++channel)
            first += channelReadings(1, channel, 0, QDateTime::currentMSecsSinceEpoch() - 60000);
        store.append(first);
    }

    BinsTab tab;
    tab.resize(1054, 760);
    tab.show();
    tab.setSource(folder.path(), history::HistoryStore::pathIn(folder.path()), 1, Channels, Positions);
    waitFor(&tab, &BinsTab::redrawn); // the history's readings drawn
    tab.repaint();

    QVector<double> perChannel;
    QVector<double> perPass;
    for (int pass = 1; pass <= passes; ++pass) {
        double passMs = 0;
        for (int channel = 1; channel <= Channels; ++channel) {
            const QVector<history::Reading> readings =
                channelReadings(1, channel, pass, QDateTime::currentMSecsSinceEpoch());
            QElapsedTimer timer;
            timer.start();
            tab.take(readings);
            waitFor(&tab, &BinsTab::redrawn);
            tab.repaint(); // painted, as the window would show it
            const double ms = timer.nsecsElapsed() / 1e6;
            perChannel << ms;
            passMs += ms;
        }
        perPass << passMs;
    }
    std::printf("tab, bin of %d cables x %d layers: from a channel's readings to the tab drawn and painted: "
                "median %.1f ms, max %.1f ms (%d passes of %d channels); all of a pass's redraws: median %.1f ms\n",
                Channels, Positions, median(perChannel), *std::max_element(perChannel.begin(), perChannel.end()),
                passes, Channels, median(perPass));

    bins::SensorReadings sensors;
    bins::BinLayout map;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int station = 1; station <= 10; ++station) {
        map.bins << bins::defaultBin(station, Channels, Positions);
        for (int channel = 1; channel <= Channels; ++channel)
            sensors.add(channelReadings(station, channel, station, now));
    }
    QVector<double> pdfMs;
    QVector<double> csvMs;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        report::ReportContents contents;
        contents.site = QStringLiteral("基准");
        contents.atMs = now;
        contents.madeAtMs = now;
        for (const bins::Bin& bin : map.bins)
            contents.bins << bins::binView(bin, sensors);
        QString error;
        if (!report::writeReportPdf(folder.filePath(QStringLiteral("r.pdf")), contents, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        pdfMs << timer.nsecsElapsed() / 1e6;
        timer.restart();
        if (!report::writeReportCsv(folder.filePath(QStringLiteral("r.csv")), contents, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        csvMs << timer.nsecsElapsed() / 1e6;
    }
    std::printf("report of 10 bins of %d x %d (%lld bytes of PDF): PDF median %.0f ms, max %.0f ms; CSV median %.0f ms "
                "(%d runs)\n",
                Channels, Positions, static_cast<long long>(QFileInfo(folder.filePath(QStringLiteral("r.pdf"))).size()),
                median(pdfMs), *std::max_element(pdfMs.begin(), pdfMs.end()), median(csvMs), runs);
    return 0;
}
