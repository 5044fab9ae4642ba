#pragma once
// The alarm limits' file "alarms.set" in the program's folder. The first line
// holds the installation's limits "high,low,rise"; each further line one
// channel's own limits "channel,high,low", or one of the rules, led by its key:
// "warning,high,low,rise", "warning-channel,channel,high,low",
// "persist,limit|rise|fault,readings,minutes", "margin,°C", "poweron,readings",
// "silent,rounds", "gone,rounds". Limits are decimal °C; an empty field is no
// limit. Lines end with CR LF.

#include "alarm_limits.h"
#include "alarm_rules.h"

#include "config/settings_file.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>

namespace alarms {

inline constexpr QLatin1String kAlarmsSetName("alarms.set");
// Far more than the limits of both levels and the rules need.
inline constexpr qint64 kAlarmsFileBytes = 8192;

// The file's text; a channel without limits of its own has no line, a rule
// at its default none.
QByteArray formatAlarmsFile(const AlarmLimits& limits, const AlarmRules& rules = {});

struct AlarmsFileParse
{
    std::optional<AlarmLimits> limits;
    AlarmRules rules; // the defaults unless limits is set
    int badLine = 0;  // 1-based, set when limits is not
};

// Reads the file's text. A line that cannot be used: one with other than the
// fields its kind has, a limit that is not a number in its range (as the boxes
// accept them), a channel that is not 1..10 or has a line already, a low limit
// above the high one in force (of either level), a count outside 0..its
// maximum, a key that is not known or comes twice, or the first line missing.
AlarmsFileParse parseAlarmsFile(const QByteArray& text);

struct AlarmsLoad : config::SettingsLoad
{
    AlarmLimits limits; // no limits unless status is Ok
    AlarmRules rules;   // the defaults unless status is Ok
    int badLine = 0;    // the line that could not be used (0: the file itself could not be read)
};

// Loads the file from `folder`: missing, no limits; unreadable, no limits and
// the line that made it so.
AlarmsLoad loadAlarmLimits(const QString& folder);
// The same from the file at `path` (the reader's --alarms).
AlarmsLoad loadAlarmsFile(const QString& path);

// "无法读取报警限值文件“<path>”第<n>行，报警限值未使用。" (without the line when the file could not be read
// at all).
QString unreadableAlarmsMessage(const AlarmsLoad& load);

// Writes the file whole. False when it cannot be written.
bool saveAlarmLimits(const QString& folder, const AlarmLimits& limits, const AlarmRules& rules = {});

// "无法写入报警限值文件“<path>”，报警限值未保存。"
QString unsavedAlarmsMessage(const QString& folder);

} // namespace alarms
