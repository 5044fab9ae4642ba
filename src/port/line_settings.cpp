#include "line_settings.h"

#include <QRegularExpression>

namespace port {

QString lineSettingsText(int baud)
{
    return QString::number(baud) + QStringLiteral(",N,8,1");
}

std::optional<int> baudFromSettings(const QString& settings)
{
    static const QRegularExpression format(
        QStringLiteral("^\\s*([0-9]+)\\s*,\\s*[Nn]\\s*,\\s*8\\s*,\\s*1\\s*$"));
    const QRegularExpressionMatch match = format.match(settings);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const int baud = match.captured(1).toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    return baud;
}

} // namespace port
