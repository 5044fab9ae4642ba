#include "comm_settings.h"


namespace config {

QByteArray formatCommSet(int port, int baud)
{
    return QByteArray::number(port) + ',' + QByteArray::number(baud) + "\r\n";
}

std::optional<CommSetValues> parseCommSet(const QByteArray& text)
{
    const std::optional<QList<int>> fields = readInt16Fields(text, 2);
    if (!fields)
        return std::nullopt;
    return CommSetValues{fields->at(0), fields->at(1)};
}

CommSetLoad loadCommSet(const QString& folder)
{
    CommSetLoad result;
    result.path = settingsFilePath(folder, kCommSetName);
    const FileText file = readSettingsFile(result.path, kOneLineFileBytes);
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
    return saveWholeFile(settingsFilePath(folder, kCommSetName),
                                    formatCommSet(port, baud));
}

} // namespace config
