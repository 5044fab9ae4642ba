#include "comm_settings.h"

#include <QRegularExpression>

namespace port {

QByteArray formatCommSet(int port, int baud)
{
    return QByteArray::number(port) + ',' + QByteArray::number(baud) + "\r\n";
}

std::optional<CommSetValues> parseCommSet(const QByteArray& text)
{
    const std::optional<QList<int>> fields = config::readInt16Fields(text, 2);
    if (!fields)
        return std::nullopt;
    return CommSetValues{fields->at(0), fields->at(1)};
}

CommSetLoad loadCommSet(const QString& folder)
{
    CommSetLoad result;
    result.path = config::settingsFilePath(folder, config::kCommSetName);
    const config::FileText file = config::readSettingsFile(result.path, config::kOneLineFileBytes);
    result.status = file.status;
    if (file.status != CommSetLoad::Ok)
        return result;
    const std::optional<CommSetValues> values = parseCommSet(file.bytes);
    if (!values) {
        result.status = CommSetLoad::Unreadable;
        return result;
    }
    result.port = values->port;
    result.baud = values->baud;
    return result;
}

bool saveCommSet(const QString& folder, int port, int baud)
{
    return config::saveWholeFile(config::settingsFilePath(folder, config::kCommSetName),
                                    formatCommSet(port, baud));
}

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
