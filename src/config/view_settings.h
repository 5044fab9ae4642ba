#pragma once
// How large the main window shows its form: the zoom, in percent, kept between
// runs in "view.set" in the program's folder. One line: the percent, CR LF
// ("150\r\n"). A file that is missing or cannot be used means 100 %; the
// operator is not told, since nothing but the size depends on it.

#include "settings_file.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace config {

inline constexpr QLatin1String kViewSetName("view.set");

inline constexpr int kZoomDefaultPercent = 100;
inline constexpr int kZoomMinPercent = 80;
inline constexpr int kZoomMaxPercent = 200;
inline constexpr int kZoomStepPercent = 10;

// The zoom one step larger (`steps` 1) or smaller (-1) than `percent`, on the
// steps kZoomMinPercent, +kZoomStepPercent ... kZoomMaxPercent and kept within them.
// From a percent between two steps the next step is the one in that direction.
int nextZoomPercent(int percent, int steps);

QByteArray formatViewSet(int percent);
// The first field of the file's text, a whole number from kZoomMinPercent to
// kZoomMaxPercent (steps or not); whatever follows it is not read.
std::optional<int> parseViewSet(const QByteArray& text);

// The zoom "view.set" in `folder` holds, or kZoomDefaultPercent.
int loadZoomPercent(const QString& folder);
// Replaces the whole file; false if it cannot be written.
bool saveZoomPercent(const QString& folder, int percent);

} // namespace config
