#include "line_settings_file.h"

#include "protocol/box_number.h"

namespace config {

namespace {
constexpr LineNumberField kNumberFields[] = {
    {QLatin1String("timeout_ms"), "应答超时(ms)", requests::LineTuning::MinReplyTimeoutMs,
     requests::LineTuning::MaxReplyTimeoutMs},
    {QLatin1String("retries"), "重试次数", 0, requests::LineTuning::MaxRetries},
    {QLatin1String("gap_ms"), "请求间隔(ms)", 0, requests::LineTuning::MaxGapMs},
};
constexpr QLatin1String kAddressKey("address");
constexpr QLatin1String kEchoKey("echo");

// The tuning's value of `field` (const or not).
template <typename Tuning> auto& numberIn(Tuning& tuning, LineNumber field)
{
    switch (field) {
    case LineNumber::Retries:
        return tuning.retries;
    case LineNumber::Gap:
        return tuning.gapMs;
    case LineNumber::ReplyTimeout:
        break;
    }
    return tuning.replyTimeoutMs;
}

constexpr LineNumber kNumbers[] = {LineNumber::ReplyTimeout, LineNumber::Retries, LineNumber::Gap};
} // namespace

const LineNumberField& lineNumberField(LineNumber field)
{
    return kNumberFields[int(field)];
}

std::optional<int> lineNumberFromText(LineNumber field, const QString& text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 6)
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int value = digits.toInt();
    const LineNumberField& f = lineNumberField(field);
    if (value < f.min || value > f.max)
        return std::nullopt;
    return value;
}

QString lineNumberRangeText(LineNumber field)
{
    const LineNumberField& f = lineNumberField(field);
    return protocol::rangeMessage(QString::fromUtf8(f.label), f.min, f.max);
}

LineSetContent parseLineSet(const QByteArray& content)
{
    LineSetContent result;
    QByteArray text = content;
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype eq = line.indexOf('=');
        const QString key = QString::fromUtf8((eq < 0 ? line : line.left(eq)).trimmed().toLower());
        const QString value = QString::fromUtf8(eq < 0 ? QByteArray() : line.mid(eq + 1)).trimmed();
        bool known = true;
        if (key == kAddressKey) {
            result.tuning.address = value;
        } else if (key == kEchoKey) {
            if (value == QLatin1String("0") || value == QLatin1String("1"))
                result.tuning.echo = value == QLatin1String("1");
            else
                result.badFields << kEchoKey;
        } else {
            known = false;
            for (const LineNumber field : kNumbers) {
                if (key != lineNumberField(field).key)
                    continue;
                known = true;
                if (const std::optional<int> number = lineNumberFromText(field, value))
                    numberIn(result.tuning, field) = *number;
                else
                    result.badFields << key;
            }
        }
        if (!known)
            result.kept << rawLine;
    }
    return result;
}

QByteArray formatLineSet(const requests::LineTuning& tuning, const QList<QByteArray>& kept)
{
    QByteArray text = QByteArray(kAddressKey.data()) + '=' + tuning.address.toUtf8() + "\r\n";
    for (const LineNumber field : kNumbers)
        text += QByteArray(lineNumberField(field).key.data()) + '=' + QByteArray::number(numberIn(tuning, field)) +
                "\r\n";
    text += QByteArray(kEchoKey.data()) + '=' + (tuning.echo ? "1" : "0") + "\r\n";
    for (const QByteArray& line : kept)
        text += line + "\r\n";
    return text;
}

LineSetLoad loadLineSet(const QString& folder)
{
    LineSetLoad result;
    result.path = settingsFilePath(folder, kLineSetName);
    const FileText file = readSettingsFile(result.path, kOneLineFileBytes);
    result.status = file.status;
    if (file.status == SettingsLoad::Unreadable)
        result.errorText = QStringLiteral("无法读取通讯线路设置文件 %1，已使用默认设置").arg(result.path);
    if (file.status != SettingsLoad::Ok)
        return result;
    result.content = parseLineSet(file.bytes);
    if (!result.content.badFields.isEmpty()) {
        result.errorText = QStringLiteral("通讯线路设置文件 %1 中的 %2 不可用，已使用其默认值")
                               .arg(result.path, result.content.badFields.join(QStringLiteral("、")));
    }
    return result;
}

bool saveLineSet(const QString& folder, const requests::LineTuning& tuning, const QList<QByteArray>& kept)
{
    return saveWholeFile(settingsFilePath(folder, kLineSetName), formatLineSet(tuning, kept));
}

} // namespace config
