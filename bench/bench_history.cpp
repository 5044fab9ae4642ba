// bench_history: the history store at the size of a week of a full installation.
// Fills a fresh database with 10 channels x 40 sensors at one reading a minute
// per sensor, one transaction per minute as the writer commits a pass, then
// times the chart's query (a week of one channel's 40 sensors), the rise query,
// a retention chunk and a CSV export of a day of one channel.
//
//   bench_history [--days D] [--channels C] [--sensors S] [--folder F] [--runs R]

#include "history/csv_export.h"
#include "history/history_settings.h"
#include "history/history_store.h"
#include "history/history_writer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace history;

namespace {

constexpr qint64 kMinuteMs = 60000;
constexpr qint64 kDayMs = 1440 * kMinuteMs;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The process's CPU time: on a shared machine the wall time also holds the waits for a core.
double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

double mib(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

// A slowly varying temperature per sensor, with a few sensors not wired.
quint16 rawAt(int channel, int position, qint64 minute)
{
    if (position % 37 == 0)
        return 0xBAD2;
    const double celsius = 20.0 + channel + 5.0 * std::sin(double(minute) / 180.0 + position);
    return quint16(std::lround(celsius * 100.0));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The history store: fill, query, export."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("days"), QStringLiteral("Days of readings (default 7)."),
                      QStringLiteral("D"), QStringLiteral("7")});
    parser.addOption({QStringLiteral("channels"), QStringLiteral("Channels (default 10)."),
                      QStringLiteral("C"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("sensors"), QStringLiteral("Sensors per channel (default 40)."),
                      QStringLiteral("S"), QStringLiteral("40")});
    parser.addOption({QStringLiteral("folder"),
                      QStringLiteral("Folder for the database (default: temporary)."), QStringLiteral("F")});
    parser.addOption(
        {QStringLiteral("reuse"),
         QStringLiteral("Query the database already in --folder (filled with the same options).")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each query (default 5)."),
                      QStringLiteral("R"), QStringLiteral("5")});
    parser.process(app);
    const int days = parser.value(QStringLiteral("days")).toInt();
    const int channels = parser.value(QStringLiteral("channels")).toInt();
    const int sensors = parser.value(QStringLiteral("sensors")).toInt();
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    if (days < 1 || channels < 1 || sensors < 1) {
        std::fprintf(stderr, "days, channels and sensors must be at least 1\n");
        return 2;
    }

    QTemporaryDir temporary;
    const QString folder =
        parser.isSet(QStringLiteral("folder")) ? parser.value(QStringLiteral("folder")) : temporary.path();
    const QString path = HistoryStore::pathIn(folder);
    const bool reuse = parser.isSet(QStringLiteral("reuse")) && QFile::exists(path);
    if (!reuse)
        QFile::remove(path);
    const qint64 minutes = days * 1440LL;
    const qint64 rows = minutes * channels * sensors;

    // Fill: one batch a minute, as the writer does for one pass.
    // Whole days up to today's midnight (UTC), so that a reused database has the same times.
    const qint64 start = (QDateTime::currentMSecsSinceEpoch() / kDayMs - days) * kDayMs;
    double fillSeconds = 0;
    double fillCpuSeconds = 0;
    if (!reuse) {
        HistoryStore store(path);
        if (!store.ok()) {
            std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
            return 1;
        }
        QVector<Reading> batch;
        batch.reserve(channels * sensors);
        QElapsedTimer clock;
        clock.start();
        const double cpu = cpuMs();
        for (qint64 minute = 0; minute < minutes; ++minute) {
            batch.clear();
            const qint64 t = start + minute * kMinuteMs;
            for (int channel = 1; channel <= channels; ++channel) {
                for (int position = 1; position <= sensors; ++position)
                    batch.append(readingFromRaw(t, 1, channel, position, rawAt(channel, position, minute)));
            }
            if (!store.append(batch)) {
                std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
                return 1;
            }
        }
        fillSeconds = clock.nsecsElapsed() / 1e9;
        fillCpuSeconds = (cpuMs() - cpu) / 1000.0;
    }
    const qint64 fileBytes = QFileInfo(path).size(); // the log is checkpointed into it at close
    const double bytesPerRow = double(fileBytes) / double(rows);
    const HistorySettings defaults;
    const double yearRows = 365.0 * 1440 * 10 * 40;
    const double keptRows = double(defaults.retentionDays) * 1440 * 10 * 40;

    if (!reuse)
        std::printf(
            "Filled %lld rows (%d days, %d channels x %d sensors, one batch of %d a minute) in %.1f s:\n"
            "  %.0f rows/s, %.0f batches/s, %.2f ms a batch; CPU %.1f s\n",
            rows, days, channels, sensors, channels * sensors, fillSeconds, rows / fillSeconds,
            minutes / fillSeconds, fillSeconds * 1000.0 / minutes, fillCpuSeconds);
    std::printf("File: %.1f MiB, %.1f bytes a row\n", mib(fileBytes), bytesPerRow);
    std::printf("10 x 40 at one a minute: a year of readings %.1f GiB; kept %d days (the default) %.1f GiB\n",
                yearRows * bytesPerRow / (1024.0 * 1024 * 1024), defaults.retentionDays,
                keptRows * bytesPerRow / (1024.0 * 1024 * 1024));

    HistoryStore store(path);
    ReadingQuery chart{1, 1, {}, start, start + minutes * kMinuteMs};
    for (int position = 1; position <= sensors; ++position)
        chart.positions << position;

    std::vector<double> chartMs;
    std::vector<double> chartCpuMs;
    qint64 chartRows = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const double cpu = cpuMs();
        chartRows = store.readings(chart).size();
        chartCpuMs.push_back(cpuMs() - cpu);
        chartMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("Chart query, %d days of channel 1's %d sensors (%lld rows): median %.0f ms (min %.0f, max "
                "%.0f), CPU %.0f ms\n",
                days, sensors, chartRows, median(chartMs), *std::min_element(chartMs.begin(), chartMs.end()),
                *std::max_element(chartMs.begin(), chartMs.end()), median(chartCpuMs));

    std::vector<double> riseUs;
    for (int run = 0; run < runs * 20; ++run) {
        QElapsedTimer clock;
        clock.start();
        store.firstReadingAtOrAfter(1, 1 + run % channels, 1 + run % sensors, start + (run % days) * kDayMs);
        riseUs.push_back(clock.nsecsElapsed() / 1e3);
    }
    QElapsedTimer rangeClock;
    rangeClock.start();
    store.timeRange();
    const double rangeUs = rangeClock.nsecsElapsed() / 1e3;
    std::printf("First reading at or after a time: median %.0f us; the time range held: %.0f us\n",
                median(riseUs), rangeUs);

    // A day of one channel, as an operator exports it.
    ReadingQuery day = chart;
    day.fromMs = start;
    day.toMs = start + kDayMs - 1;
    const QString csv = QDir(folder).filePath(QStringLiteral("day.csv"));
    std::vector<double> exportMs;
    std::vector<double> exportCpuMs;
    ExportResult exported;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const double cpu = cpuMs();
        exported = exportCsv(store, day, csv);
        exportCpuMs.push_back(cpuMs() - cpu);
        exportMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("CSV export, a day of channel 1 (%lld rows, %.1f MiB): median %.0f ms, CPU %.0f ms\n",
                exported.rows, mib(QFileInfo(csv).size()), median(exportMs), median(exportCpuMs));
    QFile::remove(csv);

    // Retention: what one chunk costs the writer (the oldest day is deleted chunk by chunk).
    std::vector<double> chunkMs;
    for (int run = 0; run < runs * 4; ++run) {
        QElapsedTimer clock;
        clock.start();
        store.deleteOlderThan(start + kDayMs, kRetentionChunkRows);
        chunkMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("Retention, one chunk of %d rows: median %.1f ms (max %.1f)\n", kRetentionChunkRows,
                median(chunkMs), *std::max_element(chunkMs.begin(), chunkMs.end()));
    return store.ok() ? 0 : 1;
}
