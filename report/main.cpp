// tq5900k-report: the bins' report from a history database, as PDF or CSV,
// drawn offscreen so that it runs on a server without a display.

#include "report_options.h"

#include "bins/layout_file.h"
#include "history/history_store.h"
#include "platform/settings_folder.h"
#include "report/bin_report.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

namespace {

constexpr int kFailed = 1;
constexpr int kBadOptions = 2;

void complain(const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

} // namespace

int main(int argc, char* argv[])
{
    // The options first: --help, --version and bad options need no graphics.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const reportcmd::ParsedOptions parsed = reportcmd::parseReportOptions(arguments);
    if (parsed.status == reportcmd::ParsedOptions::Help) {
        std::fputs(reportcmd::reportHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.status == reportcmd::ParsedOptions::Version) {
        std::printf("tq5900k-report %s\n", qPrintable(platform::versionText()));
        return 0;
    }
    if (parsed.status == reportcmd::ParsedOptions::Error) {
        complain(parsed.error);
        return kBadOptions;
    }
    // No window is ever shown: the offscreen platform needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tq5900k-report"));
    const reportcmd::ReportOptions& options = parsed.options;

    // A database that is not there is not made here.
    if (!QFileInfo(options.historyPath).isFile()) {
        complain(QStringLiteral("历史数据库“%1”不存在 (no history database at %1)").arg(options.historyPath));
        return kFailed;
    }
    std::optional<bins::BinLayout> layout;
    if (!options.layoutPath.isEmpty()) {
        const bins::LayoutLoad load = bins::loadLayoutFile(options.layoutPath);
        if (load.status != bins::LayoutLoad::Ok) {
            const QString what = load.status == bins::LayoutLoad::Missing ? QStringLiteral("不存在")
                                 : load.problem.reason.isEmpty()          ? QStringLiteral("无法读取")
                                                                          : bins::problemText(load.problem);
            complain(QStringLiteral("布局文件“%1”%2 (the layout file cannot be used)").arg(options.layoutPath, what));
            return kFailed;
        }
        layout = load.layout;
    }

    report::ReportContents contents;
    contents.site = options.site;
    contents.scale = options.scale;
    contents.madeAtMs = QDateTime::currentMSecsSinceEpoch();
    contents.atMs = options.atMs.value_or(contents.madeAtMs);
    history::HistoryStore store(options.historyPath);
    const std::optional<QVector<history::Reading>> newest =
        store.ok() ? store.newestReadingsAtOrBefore(contents.atMs, contents.atMs - history::kNewestLookBackMs)
                   : std::nullopt;
    if (!newest) {
        complain(store.errorText());
        return kFailed;
    }
    if (!layout)
        layout = bins::defaultLayout(*newest);
    bins::SensorReadings sensors;
    sensors.add(*newest);
    for (const bins::Bin& bin : layout->bins) {
        if (options.binName.isEmpty() || bin.name == options.binName)
            contents.bins.append(bins::binView(bin, sensors));
    }
    if (contents.bins.isEmpty()) {
        QStringList names;
        for (const bins::Bin& bin : layout->bins)
            names << bin.name;
        if (options.binName.isEmpty())
            complain(QStringLiteral("没有可报的仓：此时刻之前一天内没有读数 (no bins: no readings within a day before the time)"));
        else
            complain(QStringLiteral("选项 --bin 的值 \"%1\" 无效，应为 %2 (no bin named %1)")
                         .arg(options.binName, names.isEmpty() ? QStringLiteral("—") : names.join(QStringLiteral("、"))));
        return options.binName.isEmpty() ? kFailed : kBadOptions;
    }
    QString error;
    if (!options.pdfPath.isEmpty() && !report::writeReportPdf(options.pdfPath, contents, &error)) {
        complain(error);
        return kFailed;
    }
    if (!options.csvPath.isEmpty() && !report::writeReportCsv(options.csvPath, contents, &error)) {
        complain(error);
        return kFailed;
    }
    return 0;
}
