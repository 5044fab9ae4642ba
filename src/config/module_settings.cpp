#include "module_settings.h"

#include "protocol/box_number.h"
#include "protocol/module_limits.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cmath>
#include <limits>

namespace config {

int ModuleCount = kModuleCountDefault;

namespace {

constexpr int kInt16Min = std::numeric_limits<qint16>::min();
constexpr int kInt16Max = std::numeric_limits<qint16>::max();

// One field as a signed 16-bit decimal integer: an optional sign and digits only.
std::optional<int> parseField(QByteArray field)
{
    field = field.trimmed();
    int i = 0;
    if (!field.isEmpty() && (field.at(0) == '-' || field.at(0) == '+'))
        i = 1;
    if (i == field.size())
        return std::nullopt;
    long long value = 0;
    for (; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kInt16Max + 1) // stop before a long run of digits can overflow
            return std::nullopt;
    }
    if (field.at(0) == '-')
        value = -value;
    if (value < kInt16Min || value > kInt16Max)
        return std::nullopt;
    return int(value);
}

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

QString modSetPath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("ModSet.set"));
}

QByteArray formatModSet(const ModuleSettings& values)
{
    return QByteArray::number(values.defaultAddress) + ',' + QByteArray::number(values.channelCount) + ',' +
           QByteArray::number(values.sensorsPerChannel) + ',' + QByteArray::number(values.moduleCount) +
           "\r\n";
}

std::optional<ModuleSettings> parseModSet(const QByteArray& content)
{
    int fields[4] = {};
    int found = 0;
    qsizetype start = 0;
    while (found < 4) {
        if (start >= content.size())
            return std::nullopt; // ended before the fourth field
        qsizetype end = start;
        while (end < content.size() && content.at(end) != ',' && content.at(end) != '\r' &&
               content.at(end) != '\n')
            ++end;
        const std::optional<int> value = parseField(content.mid(start, end - start));
        if (!value)
            return std::nullopt;
        fields[found++] = *value;
        // CR LF is one line end, not an empty field between the two.
        if (end + 1 < content.size() && content.at(end) == '\r' && content.at(end + 1) == '\n')
            ++end;
        start = end + 1;
    }
    ModuleSettings values;
    values.defaultAddress = fields[0];
    values.channelCount = fields[1];
    values.sensorsPerChannel = fields[2];
    values.moduleCount = fields[3];
    return values;
}

ModSetLoad loadModSet(const QString& folder)
{
    ModSetLoad result;
    result.path = modSetPath(folder);
    QFile file(result.path);
    if (!file.exists()) {
        result.status = ModSetLoad::Missing;
        return result;
    }
    result.status = ModSetLoad::Unreadable;
    if (!file.open(QIODevice::ReadOnly))
        return result;
    // The file is one short line; a bounded read keeps a stray huge file harmless.
    const std::optional<ModuleSettings> values = parseModSet(file.read(4096));
    if (!values)
        return result;
    result.values = *values;
    result.status = ModSetLoad::Ok;
    return result;
}

bool saveModSet(const QString& folder, const ModuleSettings& values)
{
    // Written to a temporary file and renamed, so a failed write never leaves a
    // half file that the next start could not load.
    QSaveFile file(modSetPath(folder));
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = formatModSet(values);
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
