#pragma once
// The temperature-distribution tab's settings "bins.set" in the program's
// folder, one line: site,scaleLow,scaleHigh,riseLimit,reportTime,keepDays
// e.g. "东库,0,40,2,06:30,30". The site's name heads the report; the scale
// (°C) colours the views; a point that rose more than riseLimit °C against
// the earlier reading is marked; reportTime (HH:MM, empty: none) is when the
// daily report is made into reports/, kept keepDays days.

#include "config/settings_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QLatin1String>
#include <QString>
#include <QTime>
#include <optional>

namespace bins {

inline constexpr QLatin1String kBinsSetName("bins.set");
inline constexpr QLatin1String kReportsFolderName("reports");

struct BinsSettings
{
    QString site = QStringLiteral("站点");
    double scaleLow = 0;
    double scaleHigh = 40;
    double riseLimit = 2;
    std::optional<QTime> reportTime; // none: no daily report
    int keepDays = 30;

    friend bool operator==(const BinsSettings& a, const BinsSettings& b)
    {
        return a.site == b.site && a.scaleLow == b.scaleLow && a.scaleHigh == b.scaleHigh &&
               a.riseLimit == b.riseLimit && a.reportTime == b.reportTime && a.keepDays == b.keepDays;
    }
};

QByteArray formatBinsSettings(const BinsSettings& settings);

struct BinsSettingsParse
{
    std::optional<BinsSettings> settings;
    int badField = 0; // 1-based, when settings is not set
};
BinsSettingsParse parseBinsSettings(const QByteArray& text);

struct BinsSettingsLoad : config::SettingsLoad
{
    BinsSettings settings; // the defaults unless Ok
    int badField = 0;
};
BinsSettingsLoad loadBinsSettings(const QString& folder);
// "设置文件“<path>”第2项无法使用，已使用默认设置。"
QString unreadableBinsSettingsMessage(const BinsSettingsLoad& load);
bool saveBinsSettings(const QString& folder, const BinsSettings& settings);

// The milliseconds from `now` to the next `at` (local time) after it: today's
// when it is still ahead, otherwise tomorrow's.
qint64 msUntilNext(const QDateTime& now, const QTime& at);

} // namespace bins
