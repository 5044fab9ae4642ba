#include "view_settings.h"

#include <algorithm>

namespace config {

int nextZoomPercent(int percent, int steps)
{
    const int clamped = std::clamp(percent, kZoomMinPercent, kZoomMaxPercent);
    const int offset = clamped - kZoomMinPercent;
    // The step at or below the percent, then as many steps as asked; a percent
    // between two steps counts as one step on the way down.
    int step = offset / kZoomStepPercent;
    if (steps < 0 && offset % kZoomStepPercent != 0)
        ++step;
    return std::clamp(kZoomMinPercent + (step + steps) * kZoomStepPercent, kZoomMinPercent, kZoomMaxPercent);
}

QByteArray formatViewSet(int percent)
{
    return QByteArray::number(percent) + "\r\n";
}

std::optional<int> parseViewSet(const QByteArray& text)
{
    const std::optional<QList<int>> fields = readInt16Fields(text, 1);
    if (!fields || fields->at(0) < kZoomMinPercent || fields->at(0) > kZoomMaxPercent)
        return std::nullopt;
    return fields->at(0);
}

int loadZoomPercent(const QString& folder)
{
    const FileText file = readSettingsFile(settingsFilePath(folder, kViewSetName), kOneLineFileBytes);
    if (file.status != SettingsLoad::Ok)
        return kZoomDefaultPercent;
    return parseViewSet(file.bytes).value_or(kZoomDefaultPercent);
}

bool saveZoomPercent(const QString& folder, int percent)
{
    return saveWholeFile(settingsFilePath(folder, kViewSetName), formatViewSet(percent));
}

} // namespace config
