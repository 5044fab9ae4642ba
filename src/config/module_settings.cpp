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

// Where each of the first three values must lie for the window to use it, and
// its name in a message.
struct ValueRange
{
    int ModuleSettings::*value;
    int minimum;
    int maximum;
    const char* name;
};
constexpr ValueRange kRanges[] = {
    {&ModuleSettings::defaultAddress, 1, kMaxDefaultAddress, "设备地址"},
    {&ModuleSettings::channelCount, 1, protocol::MaxChannelsPerModule, "通道数"},
    {&ModuleSettings::sensorsPerChannel, 1, protocol::MaxPositionsPerChannel, "每通道传感器数"},
};

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
    const ModuleSettings defaults;
    for (const ValueRange& range : kRanges) {
        int& value = result.values.*range.value;
        if (value >= range.minimum && value <= range.maximum)
            continue;
        result.outOfRange << QStringLiteral("%1 %2 不在 %3～%4 之内")
                                 .arg(QString::fromUtf8(range.name))
                                 .arg(value)
                                 .arg(range.minimum)
                                 .arg(range.maximum);
        value = defaults.*range.value;
    }
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
    const std::optional<int> defaultAddress = flooredInRange(address, 1, kMaxDefaultAddress);
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
