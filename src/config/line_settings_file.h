#pragma once
// The line's tuning and its file "line.set" in the program's folder: one
// key=value a line, e.g.
//   address=
//   timeout_ms=500
//   retries=0
//   gap_ms=0
//   echo=0
// A missing key keeps its default. A value that cannot be used is named, by its
// field, and the default is used for it. Lines with other keys are kept as they
// are and written back by the next save.

#include "settings_file.h"

#include "requests/line_tuning.h"

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace config {

inline constexpr QLatin1String kLineSetName("line.set");

// The whole-number fields, with the key the file uses, the operator's name for
// them and their ranges: the one home of these rules for the file and the window.
struct LineNumberField
{
    QLatin1String key;
    const char* label; // UTF-8
    int min;
    int max;
};
enum class LineNumber { ReplyTimeout, Retries, Gap };
const LineNumberField& lineNumberField(LineNumber field);

// `text` as the field's value: decimal digits only, within its range.
std::optional<int> lineNumberFromText(LineNumber field, const QString& text);
// "应答超时(ms)：请输入100～60000之间的整数"
QString lineNumberRangeText(LineNumber field);

struct LineSetContent
{
    requests::LineTuning tuning;
    QStringList badFields;      // keys whose values could not be used, in file order
    QList<QByteArray> kept;     // lines with other keys, as they were
};

LineSetContent parseLineSet(const QByteArray& content);
// All keys, in the order above, then the kept lines; CR LF after each line.
QByteArray formatLineSet(const requests::LineTuning& tuning, const QList<QByteArray>& kept = {});

struct LineSetLoad : SettingsLoad
{
    LineSetContent content;
    QString errorText; // for the operator when a value or the file cannot be used; names it
};

// Missing: the defaults. Unreadable, or bad values: the defaults where needed and an error text.
LineSetLoad loadLineSet(const QString& folder);
bool saveLineSet(const QString& folder, const requests::LineTuning& tuning, const QList<QByteArray>& kept = {});

} // namespace config
