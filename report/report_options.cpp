#include "report_options.h"

#include <QDateTime>

namespace reportcmd {

namespace {

QString badValue(const QString& option, const QString& value, const QString& expected, const QString& english)
{
    return QStringLiteral("选项 --%1 的值 \"%2\" 无效，应为 %3 (invalid value for --%1, expected %4)")
        .arg(option, value, expected, english);
}

} // namespace

std::optional<qint64> parseLocalTime(const QString& text)
{
    for (const QString& format : {QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-dd HH:mm:ss")}) {
        const QDateTime time = QDateTime::fromString(text.trimmed(), format);
        if (time.isValid())
            return time.toMSecsSinceEpoch();
    }
    return std::nullopt;
}

ParsedOptions parseReportOptions(const QStringList& arguments)
{
    ParsedOptions result;
    ReportOptions& o = result.options;
    const QStringList valued{QStringLiteral("history"), QStringLiteral("layout"), QStringLiteral("at"),
                             QStringLiteral("bin"),     QStringLiteral("pdf"),    QStringLiteral("csv"),
                             QStringLiteral("site"),    QStringLiteral("scale")};
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.status = ParsedOptions::Help;
            return result;
        }
        if (argument == QLatin1String("--version")) {
            result.status = ParsedOptions::Version;
            return result;
        }
        const QString name = argument.startsWith(QLatin1String("--")) ? argument.mid(2) : QString();
        if (!valued.contains(name)) {
            result.error = QStringLiteral("未知选项 %1 (unknown option %1)").arg(argument);
            return result;
        }
        if (i + 1 >= arguments.size()) {
            result.error = QStringLiteral("选项 --%1 缺少值 (--%1 needs a value)").arg(name);
            return result;
        }
        const QString value = arguments[++i];
        if (name == QLatin1String("history"))
            o.historyPath = value;
        else if (name == QLatin1String("layout"))
            o.layoutPath = value;
        else if (name == QLatin1String("bin"))
            o.binName = value;
        else if (name == QLatin1String("pdf"))
            o.pdfPath = value;
        else if (name == QLatin1String("csv"))
            o.csvPath = value;
        else if (name == QLatin1String("site"))
            o.site = value;
        else if (name == QLatin1String("at")) {
            o.atMs = parseLocalTime(value);
            if (!o.atMs) {
                result.error = badValue(name, value, QStringLiteral("\"YYYY-MM-DD HH:MM\" 形式的本地时间"),
                                        QStringLiteral("a local time \"YYYY-MM-DD HH:MM\""));
                return result;
            }
        } else if (name == QLatin1String("scale")) {
            const QStringList ends = value.split(QLatin1Char(','));
            bool lowOk = false;
            bool highOk = false;
            const double low = ends.value(0).toDouble(&lowOk);
            const double high = ends.value(1).toDouble(&highOk);
            if (ends.size() != 2 || !lowOk || !highOk || low >= high) {
                result.error = badValue(name, value, QStringLiteral("低,高（°C，低 < 高），如 0,40"),
                                        QStringLiteral("low,high in °C with low < high, e.g. 0,40"));
                return result;
            }
            o.scale = {low, high};
        }
    }
    if (o.historyPath.isEmpty()) {
        result.error = QStringLiteral("缺少 --history (--history is required)");
        return result;
    }
    if (o.pdfPath.isEmpty() && o.csvPath.isEmpty()) {
        result.error = QStringLiteral("缺少 --pdf 或 --csv (--pdf or --csv is required)");
        return result;
    }
    result.status = ParsedOptions::Run;
    return result;
}

QString reportHelpText()
{
    return QStringLiteral(
        "用法 (usage): tq5900k-report --history FILE [--layout FILE] [--at \"YYYY-MM-DD HH:MM\"] [--bin NAME]\n"
        "                             --pdf OUT | --csv OUT\n"
        "\n"
        "按仓生成温度分布报表：每个传感器在指定时刻或之前（一天之内）的最新读数。\n"
        "Makes the bins' temperature report: each sensor's newest reading at or before the time (within a day).\n"
        "\n"
        "  --history FILE   历史数据库 history.db (the history database)\n"
        "  --layout FILE    仓与电缆布局 layout.set，默认每站一仓、每通道一根电缆\n"
        "                   the map of bins and cables; default one bin per station, a cable per channel\n"
        "  --at TIME        本地时间 \"YYYY-MM-DD HH:MM\"，默认现在 (local time, default now)\n"
        "  --bin NAME       只报此仓，默认全部 (only this bin, default every bin)\n"
        "  --pdf OUT        写 PDF 报表 (write the PDF report)\n"
        "  --csv OUT        写 CSV 报表（UTF-8）(write the CSV report, UTF-8)\n"
        "  --site NAME      报表上的站点名，默认“站点” (the site's name on the report)\n"
        "  --scale LOW,HIGH 色标范围 °C，默认 0,40 (the colour scale in °C, default 0,40)\n"
        "  --help           显示本说明 (show this text)\n"
        "  --version        显示版本 (show the version)\n"
        "\n"
        "退出码 (exit codes): 0 完成 (done), 1 文件无法读取或写入 (a file could not be read or written), "
        "2 选项无效 (bad options)\n");
}

} // namespace reportcmd
