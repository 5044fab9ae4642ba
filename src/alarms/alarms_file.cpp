#include "alarms_file.h"

#include "protocol/box_number.h"

#include <QList>

namespace alarms {

namespace {

const QByteArray LineEnd("\r\n");

QByteArray limitField(const std::optional<double>& limit)
{
    return formatLimit(limit).toLatin1();
}

// The text's lines without their ends (CR LF, CR or LF); a line end at the very end starts no line.
QList<QByteArray> splitLines(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

// Exactly three fields, or nullopt.
std::optional<QList<QByteArray>> threeFields(const QByteArray& line)
{
    config::FieldReader reader(line);
    QList<QByteArray> fields;
    while (const std::optional<QByteArray> field = reader.next())
        fields.append(*field);
    if (reader.stoppedAtBrokenField() || fields.size() != 3)
        return std::nullopt;
    return fields;
}

// A field's limit, as the boxes accept it.
bool readLimit(const QByteArray& field, double minimum, double maximum, std::optional<double>& limit)
{
    return readLimitText(QString::fromLatin1(field), minimum, maximum, limit);
}

} // namespace

QByteArray formatAlarmsFile(const AlarmLimits& limits)
{
    QByteArray text = limitField(limits.installation.high) + ',' + limitField(limits.installation.low) + ',' +
                      limitField(limits.risePerDay) + LineEnd;
    for (int channel = 1; channel <= int(limits.channels.size()); ++channel) {
        const HighLow& own = limits.channels[std::size_t(channel - 1)];
        if (own.high || own.low)
            text += QByteArray::number(channel) + ',' + limitField(own.high) + ',' + limitField(own.low) +
                    LineEnd;
    }
    return text;
}

AlarmsFileParse parseAlarmsFile(const QByteArray& text)
{
    AlarmsFileParse result;
    const QList<QByteArray> lines = splitLines(text);
    AlarmLimits limits;
    std::array<bool, protocol::MaxChannelsPerModule> seen{};
    if (lines.isEmpty()) {
        result.badLine = 1; // the installation's line is missing
        return result;
    }
    for (int n = 0; n < lines.size(); ++n) {
        result.badLine = n + 1;
        const std::optional<QList<QByteArray>> fields = threeFields(lines.value(n));
        if (!fields)
            return result;
        if (n == 0) {
            if (!readLimit(fields->at(0), MinCelsius, MaxCelsius, limits.installation.high) ||
                !readLimit(fields->at(1), MinCelsius, MaxCelsius, limits.installation.low) ||
                !readLimit(fields->at(2), 0, MaxRisePerDay, limits.risePerDay) ||
                limits.installation.lowAboveHigh())
                return result;
            continue;
        }
        const std::optional<int> channel = config::int16FromField(fields->at(0));
        if (!channel || *channel < 1 || *channel > int(limits.channels.size()) ||
            seen[std::size_t(*channel - 1)])
            return result;
        seen[std::size_t(*channel - 1)] = true;
        HighLow& own = limits.channels[std::size_t(*channel - 1)];
        if (!readLimit(fields->at(1), MinCelsius, MaxCelsius, own.high) ||
            !readLimit(fields->at(2), MinCelsius, MaxCelsius, own.low) ||
            limits.forChannel(*channel).lowAboveHigh())
            return result;
    }
    result.badLine = 0;
    result.limits = limits;
    return result;
}

AlarmsLoad loadAlarmLimits(const QString& folder)
{
    AlarmsLoad result;
    result.path = config::settingsFilePath(folder, kAlarmsSetName);
    // One byte more than a file may hold tells a file that is too long from one that fits.
    const config::FileText file = config::readSettingsFile(result.path, kAlarmsFileBytes + 1);
    result.status = file.status;
    if (file.status != AlarmsLoad::Ok)
        return result;
    const AlarmsFileParse parsed = parseAlarmsFile(file.bytes);
    if (!parsed.limits || file.bytes.size() > kAlarmsFileBytes) {
        result.status = AlarmsLoad::Unreadable;
        // A file too long is cut short in its last line read.
        result.badLine = parsed.limits ? int(splitLines(file.bytes).size()) : parsed.badLine;
        return result;
    }
    result.limits = *parsed.limits;
    return result;
}

QString unreadableAlarmsMessage(const AlarmsLoad& load)
{
    if (load.badLine == 0)
        return QStringLiteral("无法读取报警限值文件“%1”，报警限值未使用。").arg(load.path);
    return QStringLiteral("无法读取报警限值文件“%1”第%2行，报警限值未使用。")
        .arg(load.path)
        .arg(load.badLine);
}

bool saveAlarmLimits(const QString& folder, const AlarmLimits& limits)
{
    return config::saveWholeFile(config::settingsFilePath(folder, kAlarmsSetName), formatAlarmsFile(limits));
}

QString unsavedAlarmsMessage(const QString& folder)
{
    return QStringLiteral("无法写入报警限值文件“%1”，报警限值未保存。")
        .arg(config::settingsFilePath(folder, kAlarmsSetName));
}

} // namespace alarms
