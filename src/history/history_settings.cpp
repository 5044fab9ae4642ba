#include "history_settings.h"

namespace history {

namespace {

constexpr QLatin1String kIntervalField("interval_seconds");
constexpr QLatin1String kRetentionField("retention_days");

constexpr qint64 kFarOutOfRange = 1'000'000'000; // beyond every range of the file

// Decimal digits with an optional sign, within [minimum, maximum].
std::optional<int> numberInRange(const QByteArray& field, int minimum, int maximum)
{
    const bool negative = field.startsWith('-');
    qsizetype i = (negative || field.startsWith('+')) ? 1 : 0;
    if (i == field.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < field.size(); ++i) {
        const char c = field[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kFarOutOfRange) // stops a long run of digits before it can overflow
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < minimum || value > maximum)
        return std::nullopt;
    return int(value);
}

} // namespace

QByteArray formatHistorySet(const HistorySettings& values)
{
    return QByteArray::number(values.intervalSeconds) + ',' + QByteArray::number(values.retentionDays) +
           "\r\n";
}

std::variant<HistorySettings, QLatin1String> parseHistorySet(const QByteArray& content)
{
    config::FieldReader reader(content);
    HistorySettings values;
    const std::optional<QByteArray> interval = reader.next();
    const std::optional<int> seconds =
        interval ? numberInRange(*interval, kMinIntervalSeconds, kMaxIntervalSeconds) : std::nullopt;
    if (!seconds)
        return kIntervalField;
    const std::optional<QByteArray> retention = reader.next();
    const std::optional<int> days =
        retention ? numberInRange(*retention, kMinRetentionDays, kMaxRetentionDays) : std::nullopt;
    if (!days)
        return kRetentionField;
    return HistorySettings{*seconds, *days};
}

HistorySetLoad loadHistorySet(const QString& folder)
{
    HistorySetLoad result;
    result.path = config::settingsFilePath(folder, kHistorySetName);
    const config::FileText file = config::readSettingsFile(result.path, config::kOneLineFileBytes);
    result.status = file.status;
    if (file.status == HistorySetLoad::Missing)
        return result;
    if (file.status == HistorySetLoad::Unreadable) {
        result.errorText = QStringLiteral("无法读取历史数据设置文件 %1，已使用默认设置").arg(result.path);
        return result;
    }
    const auto parsed = parseHistorySet(file.bytes);
    if (const auto* field = std::get_if<QLatin1String>(&parsed)) {
        result.status = HistorySetLoad::Unreadable;
        result.errorText = QStringLiteral("历史数据设置文件 %1 中的 %2 缺失或超出范围（记录间隔 %3..%4 秒，"
                                          "保留 %5..%6 天），已使用默认设置")
                               .arg(result.path, *field)
                               .arg(kMinIntervalSeconds)
                               .arg(kMaxIntervalSeconds)
                               .arg(kMinRetentionDays)
                               .arg(kMaxRetentionDays);
        return result;
    }
    result.values = std::get<HistorySettings>(parsed);
    return result;
}

bool saveHistorySet(const QString& folder, const HistorySettings& values)
{
    return config::saveWholeFile(config::settingsFilePath(folder, kHistorySetName), formatHistorySet(values));
}

} // namespace history
