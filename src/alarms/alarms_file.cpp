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

// The line's fields, or nullopt when one cannot be read.
std::optional<QList<QByteArray>> lineFields(const QByteArray& line)
{
    config::FieldReader reader(line);
    QList<QByteArray> fields;
    while (const std::optional<QByteArray> field = reader.next())
        fields.append(*field);
    if (reader.stoppedAtBrokenField())
        return std::nullopt;
    return fields;
}

// A field's limit, as the boxes accept it.
bool readLimit(const QByteArray& field, double minimum, double maximum, std::optional<double>& limit)
{
    return readLimitText(QString::fromLatin1(field), minimum, maximum, limit);
}

// A count in 0..maximum; an empty field is 0.
bool readCount(const QByteArray& field, int maximum, int& count)
{
    if (field.trimmed().isEmpty()) {
        count = 0;
        return true;
    }
    const std::optional<int> value = config::int16FromField(field);
    if (!value || *value < 0 || *value > maximum)
        return false;
    count = *value;
    return true;
}

// The keys of the rules' lines.
namespace key {
const QByteArray Warning("warning");
const QByteArray WarningChannel("warning-channel");
const QByteArray Persist("persist");
const QByteArray Margin("margin");
const QByteArray PowerOn("poweron");
const QByteArray Silent("silent");
const QByteArray Gone("gone");
const QByteArray Limit("limit");
const QByteArray Rise("rise");
const QByteArray Fault("fault");
} // namespace key

// The persistence a "persist" line's second field names.
Persistence* persistenceNamed(const QByteArray& name, AlarmRules& rules)
{
    if (name == key::Limit)
        return &rules.limitPersistence;
    if (name == key::Rise)
        return &rules.risePersistence;
    if (name == key::Fault)
        return &rules.faultPersistence;
    return nullptr;
}

bool anyLowAboveHigh(const AlarmLimits& limits)
{
    for (int channel = 0; channel <= int(limits.channels.size()); ++channel)
        if (limits.forChannel(channel).lowAboveHigh())
            return true;
    return false;
}

// Reads one of the rules' lines into `rules`; `seen` holds the keys (and
// "key,name" for persist and warning-channel lines) read before. False when it cannot be used.
bool readRuleLine(const QList<QByteArray>& fields, AlarmRules& rules, QList<QByteArray>& seen)
{
    const QByteArray name = fields.value(0).trimmed();
    QByteArray seenAs = name;
    if (name == key::Persist || name == key::WarningChannel)
        seenAs += ',' + fields.value(1).trimmed();
    if (seen.contains(seenAs))
        return false;
    seen.append(seenAs);

    if (name == key::Warning) {
        return fields.size() == 4 &&
               readLimit(fields[1], MinCelsius, MaxCelsius, rules.warning.installation.high) &&
               readLimit(fields[2], MinCelsius, MaxCelsius, rules.warning.installation.low) &&
               readLimit(fields[3], 0, MaxRisePerDay, rules.warning.risePerDay) &&
               !anyLowAboveHigh(rules.warning);
    }
    if (name == key::WarningChannel) {
        const std::optional<int> channel = config::int16FromField(fields.value(1));
        if (fields.size() != 4 || !channel || *channel < 1 || *channel > int(rules.warning.channels.size()))
            return false;
        HighLow& own = rules.warning.channels[std::size_t(*channel - 1)];
        return readLimit(fields[2], MinCelsius, MaxCelsius, own.high) &&
               readLimit(fields[3], MinCelsius, MaxCelsius, own.low) &&
               !rules.warning.forChannel(*channel).lowAboveHigh();
    }
    if (name == key::Persist) {
        Persistence* persistence = persistenceNamed(fields.value(1).trimmed(), rules);
        return fields.size() == 4 && persistence &&
               readCount(fields[2], MaxPersistReadings, persistence->readings) &&
               readCount(fields[3], MaxPersistMinutes, persistence->minutes);
    }
    if (fields.size() != 2)
        return false;
    if (name == key::Margin) {
        std::optional<double> margin;
        if (!readLimit(fields[1], 0, MaxMarginCelsius, margin))
            return false;
        rules.marginCelsius = margin.value_or(0);
        return true;
    }
    if (name == key::PowerOn)
        return readCount(fields[1], MaxRounds, rules.powerOnRepeats);
    if (name == key::Silent)
        return readCount(fields[1], MaxRounds, rules.silentRounds);
    if (name == key::Gone)
        return readCount(fields[1], MaxRounds, rules.goneRounds) && rules.goneRounds > 0;
    return false;
}

bool isRuleKey(const QByteArray& field)
{
    const QByteArray name = field.trimmed();
    return !name.isEmpty() && (name[0] < '0' || name[0] > '9') && name[0] != '-' && name[0] != '+';
}

QByteArray countField(int count)
{
    return QByteArray::number(count);
}

} // namespace

QByteArray formatAlarmsFile(const AlarmLimits& limits, const AlarmRules& rules)
{
    QByteArray text = limitField(limits.installation.high) + ',' + limitField(limits.installation.low) + ',' +
                      limitField(limits.risePerDay) + LineEnd;
    for (int channel = 1; channel <= int(limits.channels.size()); ++channel) {
        const HighLow& own = limits.channels[std::size_t(channel - 1)];
        if (own.high || own.low)
            text += QByteArray::number(channel) + ',' + limitField(own.high) + ',' + limitField(own.low) +
                    LineEnd;
    }
    const AlarmRules defaults;
    const AlarmLimits& warning = rules.warning;
    if (warning.installation.high || warning.installation.low || warning.risePerDay)
        text += key::Warning + ',' + limitField(warning.installation.high) + ',' +
                limitField(warning.installation.low) + ',' + limitField(warning.risePerDay) + LineEnd;
    for (int channel = 1; channel <= int(warning.channels.size()); ++channel) {
        const HighLow& own = warning.channels[std::size_t(channel - 1)];
        if (own.high || own.low)
            text += key::WarningChannel + ',' + QByteArray::number(channel) + ',' + limitField(own.high) +
                    ',' + limitField(own.low) + LineEnd;
    }
    const std::pair<const QByteArray&, const Persistence&> persistences[] = {
        {key::Limit, rules.limitPersistence},
        {key::Rise, rules.risePersistence},
        {key::Fault, rules.faultPersistence}};
    for (const auto& [name, persistence] : persistences)
        if (persistence.isSet())
            text += key::Persist + ',' + name + ',' + countField(persistence.readings) + ',' +
                    countField(persistence.minutes) + LineEnd;
    if (rules.marginCelsius != defaults.marginCelsius)
        text += key::Margin + ',' + limitField(rules.marginCelsius) + LineEnd;
    const std::pair<const QByteArray&, int> counts[] = {{key::PowerOn, rules.powerOnRepeats},
                                                        {key::Silent, rules.silentRounds},
                                                        {key::Gone, rules.goneRounds}};
    const int defaultCounts[] = {defaults.powerOnRepeats, defaults.silentRounds, defaults.goneRounds};
    for (std::size_t i = 0; i < std::size(counts); ++i)
        if (counts[i].second != defaultCounts[i])
            text += counts[i].first + ',' + countField(counts[i].second) + LineEnd;
    return text;
}

AlarmsFileParse parseAlarmsFile(const QByteArray& text)
{
    AlarmsFileParse result;
    const QList<QByteArray> lines = splitLines(text);
    AlarmLimits limits;
    AlarmRules rules;
    QList<QByteArray> rulesSeen;
    std::array<bool, protocol::MaxChannelsPerModule> seen{};
    if (lines.isEmpty()) {
        result.badLine = 1; // the installation's line is missing
        return result;
    }
    for (int n = 0; n < lines.size(); ++n) {
        result.badLine = n + 1;
        const std::optional<QList<QByteArray>> fields = lineFields(lines.value(n));
        if (!fields)
            return result;
        if (n > 0 && isRuleKey(fields->value(0))) {
            if (!readRuleLine(*fields, rules, rulesSeen))
                return result;
            continue;
        }
        if (fields->size() != 3)
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
    result.rules = rules;
    return result;
}

AlarmsLoad loadAlarmLimits(const QString& folder)
{
    return loadAlarmsFile(config::settingsFilePath(folder, kAlarmsSetName));
}

AlarmsLoad loadAlarmsFile(const QString& path)
{
    AlarmsLoad result;
    result.path = path;
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
    result.rules = parsed.rules;
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

bool saveAlarmLimits(const QString& folder, const AlarmLimits& limits, const AlarmRules& rules)
{
    return config::saveWholeFile(config::settingsFilePath(folder, kAlarmsSetName),
                                 formatAlarmsFile(limits, rules));
}

QString unsavedAlarmsMessage(const QString& folder)
{
    return QStringLiteral("无法写入报警限值文件“%1”，报警限值未保存。")
        .arg(config::settingsFilePath(folder, kAlarmsSetName));
}

} // namespace alarms
