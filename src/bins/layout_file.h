#pragma once
// The installation's map "layout.set" in the program's folder, UTF-8, one
// record a line (CR LF), fields separated by commas, text in double quotes
// where it holds a comma:
//
//   # a comment line (also blank lines)
//   bin,NAME,WIDTH,DEPTH            a bin and its plan's outline in metres
//   cable,NUMBER,STATION,CHANNEL,X,Y,TOP,BOTTOM
//                                   a cable of the bin above it: its number,
//                                   the channel it hangs on, its place on the
//                                   plan (metres from the corner), the position
//                                   at the top (layer 1) and at the bottom
//
// Without the file the default map applies (bins::defaultLayout).

#include "bin_layout.h"

#include "config/settings_file.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <optional>

namespace bins {

inline constexpr QLatin1String kLayoutSetName("layout.set");
inline constexpr qint64 kLayoutFileBytes = 1024 * 1024;

// Where a map's text cannot be used: its line and field (1-based; field 0 is
// the line as a whole), the field's name and what is wrong with it.
struct LayoutProblem
{
    int line = 0;
    int field = 0;
    QString fieldName;
    QString reason;
};

struct LayoutParse
{
    std::optional<BinLayout> layout;
    LayoutProblem problem; // when layout is not set
};

LayoutParse parseLayoutFile(const QByteArray& text);
QByteArray formatLayoutFile(const BinLayout& layout);

// "第3行第4项（通道）：应为 1..10 的整数"
QString problemText(const LayoutProblem& problem);

struct LayoutLoad : config::SettingsLoad
{
    std::optional<BinLayout> layout; // set when status is Ok
    LayoutProblem problem;           // when Unreadable: line 0 when the file itself could not be read
};

LayoutLoad loadLayout(const QString& folder);
LayoutLoad loadLayoutFile(const QString& path);

// "布局文件“<path>”第3行第4项（通道）：应为 1..10 的整数，使用默认布局。"
QString unreadableLayoutMessage(const LayoutLoad& load);

bool saveLayoutText(const QString& folder, const QByteArray& text);

} // namespace bins
