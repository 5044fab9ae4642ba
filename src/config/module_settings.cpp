#include "module_settings.h"

#include "protocol/box_number.h"
#include "protocol/module_limits.h"

#include <cmath>
#include <limits>

namespace config {

int ModuleCount = kModuleCountDefault;

namespace {

constexpr int kInt16Min = std::numeric_limits<qint16>::min();
constexpr int kInt16Max = std::numeric_limits<qint16>::max();

// A checked box: the number must lie in [minimum, maximum]; what is stored is its floor.
std::optional<int> flooredInRange(const QString& text, int minimum, int maximum)
{
    const std::optional<double> value = protocol::parseDecimal(text);
    if (!value || *value < minimum || *value > maximum)
        return std::nullopt;
    return int(std::floor(*value));
}

} // namespace

QString channelCountMessage()
{
    return QStringLiteral("模块通道数最大为1，最大为10，请检查后再保存");
}
QString addressMessage()
{
    return QStringLiteral("设备地址最小值为1，最大为250，请检查后再保存");
}
QString sensorCountMessage()
{
    return QStringLiteral("一个通道最多接传感器数为160，最少为1，请检查后再保存");
}
QString moduleCountMessage()
{
    return protocol::rangeMessage(QStringLiteral("模块总数"), kInt16Min, kInt16Max);
}

QByteArray formatModSet(const ModuleSettings& values)
{
    return QByteArray::number(values.defaultAddress) + ',' + QByteArray::number(values.channelCount) + ',' +
           QByteArray::number(values.sensorsPerChannel) + ',' + QByteArray::number(values.moduleCount) +
           "\r\n";
}

std::optional<ModuleSettings> parseModSet(const QByteArray& content)
{
    const std::optional<QList<int>> fields = readInt16Fields(content, 4);
    if (!fields)
        return std::nullopt;
    return ModuleSettings{fields->at(0), fields->at(1), fields->at(2), fields->at(3)};
}

ModSetLoad loadModSet(const QString& folder)
{
    ModSetLoad result;
    result.path = settingsFilePath(folder, kModSetName);
    const FileText file = readSettingsFile(result.path, kOneLineFileBytes);
    result.status = file.status;
    if (file.status != ModSetLoad::Ok)
        return result;
    const std::optional<ModuleSettings> values = parseModSet(file.bytes);
    if (!values) {
        result.status = ModSetLoad::Unreadable;
        return result;
    }
    result.values = *values;
    return result;
}

bool saveModSet(const QString& folder, const ModuleSettings& values)
{
    return saveWholeFile(settingsFilePath(folder, kModSetName), formatModSet(values));
}

SaveCheck checkModuleSettingsForSave(const QString& address, const QString& channels, const QString& sensors,
                                     const QString& modules)
{
    SaveCheck check;
    const std::optional<int> channelCount = flooredInRange(channels, 1, protocol::MaxChannelsPerModule);
    if (!channelCount)
        check.messages << channelCountMessage();
    const std::optional<int> defaultAddress = flooredInRange(address, 1, 250);
    if (!defaultAddress)
        check.messages << addressMessage();
    const std::optional<int> sensorsPerChannel = flooredInRange(sensors, 1, protocol::MaxPositionsPerChannel);
    if (!sensorsPerChannel)
        check.messages << sensorCountMessage();
    const std::optional<int> moduleCount =
        protocol::wholeNumber(modules, protocol::Rounding::Floor, kInt16Min, kInt16Max);
    if (!moduleCount)
        check.messages << moduleCountMessage();
    if (check.messages.isEmpty())
        check.values = ModuleSettings{*defaultAddress, *channelCount, *sensorsPerChannel, *moduleCount};
    return check;
}

} // namespace config
