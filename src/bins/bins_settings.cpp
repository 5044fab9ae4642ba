#include "bins_settings.h"

#include <QList>
#include <cmath>

namespace bins {

namespace {

constexpr int kFieldCount = 6;
constexpr double kMinCelsius = -55;
constexpr double kMaxCelsius = 125;
constexpr int kMaxKeepDays = 3650;

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 10);
}

std::optional<double> decimal(const QByteArray& field, double low, double high)
{
    bool ok = false;
    const double value = field.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

QByteArray formatBinsSettings(const BinsSettings& s)
{
    QByteArray site = s.site.toUtf8();
    site.replace('"', "");
    return '"' + site + "\"," + number(s.scaleLow) + ',' + number(s.scaleHigh) + ',' + number(s.riseLimit) + ',' +
           (s.reportTime ? s.reportTime->toString(QStringLiteral("HH:mm")).toLatin1() : QByteArray()) + ',' +
           QByteArray::number(s.keepDays) + "\r\n";
}

BinsSettingsParse parseBinsSettings(const QByteArray& text)
{
    BinsSettingsParse result;
    config::FieldReader reader(text);
    QList<QByteArray> fields;
    while (fields.size() < kFieldCount) {
        const std::optional<QByteArray> field = reader.next();
        if (!field)
            break;
        fields.append(*field);
    }
    if (fields.size() < kFieldCount) {
        result.badField = int(fields.size()) + 1;
        return result;
    }
    BinsSettings s;
    s.site = QString::fromUtf8(fields[0]);
    const auto low = decimal(fields[1], kMinCelsius, kMaxCelsius);
    const auto high = decimal(fields[2], kMinCelsius, kMaxCelsius);
    const auto rise = decimal(fields[3], 0, kMaxCelsius - kMinCelsius);
    const std::optional<int> keep = config::int16FromField(fields[5]);
    const QTime at = QTime::fromString(QString::fromLatin1(fields[4]), QStringLiteral("HH:mm"));
    if (s.site.isEmpty())
        result.badField = 1;
    else if (!low)
        result.badField = 2;
    else if (!high || *high <= *low)
        result.badField = 3;
    else if (!rise)
        result.badField = 4;
    else if (!fields[4].isEmpty() && !at.isValid())
        result.badField = 5;
    else if (!keep || *keep < 1 || *keep > kMaxKeepDays)
        result.badField = 6;
    if (result.badField)
        return result;
    s.scaleLow = *low;
    s.scaleHigh = *high;
    s.riseLimit = *rise;
    if (!fields[4].isEmpty())
        s.reportTime = at;
    s.keepDays = *keep;
    result.settings = s;
    return result;
}

BinsSettingsLoad loadBinsSettings(const QString& folder)
{
    BinsSettingsLoad result;
    result.path = config::settingsFilePath(folder, kBinsSetName);
    const config::FileText file = config::readSettingsFile(result.path, 4096);
    result.status = file.status;
    if (file.status != BinsSettingsLoad::Ok)
        return result;
    const BinsSettingsParse parsed = parseBinsSettings(file.bytes);
    if (!parsed.settings) {
        result.status = BinsSettingsLoad::Unreadable;
        result.badField = parsed.badField;
        return result;
    }
    result.settings = *parsed.settings;
    return result;
}

QString unreadableBinsSettingsMessage(const BinsSettingsLoad& load)
{
    if (load.badField == 0)
        return QStringLiteral("无法读取设置文件“%1”，已使用默认设置。").arg(load.path);
    return QStringLiteral("设置文件“%1”第%2项无法使用，已使用默认设置。").arg(load.path).arg(load.badField);
}

bool saveBinsSettings(const QString& folder, const BinsSettings& settings)
{
    return config::saveWholeFile(config::settingsFilePath(folder, kBinsSetName), formatBinsSettings(settings));
}

qint64 msUntilNext(const QDateTime& now, const QTime& at)
{
    QDateTime next(now.date(), at, now.timeSpec());
    if (next <= now)
        next = QDateTime(now.date().addDays(1), at, now.timeSpec());
    return now.msecsTo(next);
}

} // namespace bins
