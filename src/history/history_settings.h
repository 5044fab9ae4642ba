#pragma once
// How the history records and how long it keeps readings, and their file
// "history.set" in the program's folder: one line "interval_seconds,retention_days"
// ended by CR LF, like the program's other settings files.

#include "config/settings_file.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <variant>

namespace history {

inline constexpr QLatin1String kHistorySetName("history.set");

inline constexpr int kMinIntervalSeconds = 0; // 0 records every reading
inline constexpr int kMaxIntervalSeconds = 86400;
inline constexpr int kMinRetentionDays = 1;
inline constexpr int kMaxRetentionDays = 3650;

struct HistorySettings
{
    int intervalSeconds = 60;
    int retentionDays = 90;

    friend bool operator==(const HistorySettings& a, const HistorySettings& b)
    {
        return a.intervalSeconds == b.intervalSeconds && a.retentionDays == b.retentionDays;
    }
    friend bool operator!=(const HistorySettings& a, const HistorySettings& b) { return !(a == b); }
};

// The file's content: the two values as plain decimals, a comma between, CR LF at the end.
QByteArray formatHistorySet(const HistorySettings& values);

// The first two fields of the file's content as whole numbers in their ranges;
// what follows them is not read. Otherwise the name of the first field that is
// missing, not a whole number or out of range ("interval_seconds" or "retention_days").
std::variant<HistorySettings, QLatin1String> parseHistorySet(const QByteArray& content);

struct HistorySetLoad : config::SettingsLoad
{
    HistorySettings values; // the defaults unless status is Ok
    QString errorText;      // for the operator when status is Unreadable: names the file and the field
};

// Loads the file from `folder`: missing gives the defaults (the next save writes
// the file); a file that cannot be read or holds a bad field gives the defaults
// and an error text.
HistorySetLoad loadHistorySet(const QString& folder);

// Writes the file whole (replacing an existing one). False when it cannot be written.
bool saveHistorySet(const QString& folder, const HistorySettings& values);

} // namespace history
