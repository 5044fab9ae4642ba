#include "serial_numbers.h"

#include "protocol/hex_text.h"

namespace serials {

namespace {

const QLatin1Char PartSeparator(' ');
constexpr qsizetype SerialBytes = std::tuple_size_v<SerialNumber>;
// The text rule looks at parts 0 to 6.
constexpr qsizetype TextRuleParts = 7;

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

// One or two hex digits and nothing else: no sign, no blank, no "0x".
std::optional<quint8> byteFromHex(QStringView text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + digit;
    }
    return quint8(value);
}

// Eight texts of one byte each, with or without the blanks around them.
std::optional<SerialNumber> serialFromTexts(const QStringList& texts, bool trim)
{
    SerialNumber serial{};
    if (texts.size() != SerialBytes)
        return std::nullopt;
    for (std::size_t j = 0; j < serial.size(); ++j) {
        QStringView text(texts[qsizetype(j)]);
        const std::optional<quint8> byte = byteFromHex(trim ? text.trimmed() : text);
        if (!byte)
            return std::nullopt;
        serial[j] = *byte;
    }
    return serial;
}

} // namespace

QString serialText(const QByteArray& bytes, qsizetype offset)
{
    return protocol::spacedHex(bytes.mid(offset, SerialBytes));
}

QString serialText(const SerialNumber& serial)
{
    return serialText(QByteArray(reinterpret_cast<const char*>(serial.data()), SerialBytes));
}

bool passesListRule(const SerialNumber& serial)
{
    return serial[0] == FamilyCode && serial[5] == 0x00 && serial[6] == 0x00 &&
           (serial[1] != 0x00 || serial[2] != 0x00);
}

bool passesReplyRule(const SerialNumber& serial)
{
    return passesListRule(serial) && (serial[1] != 0x00 || serial[7] != 0x00);
}

std::optional<bool> passesTextRule(const QString& entry)
{
    const QStringList parts = entry.split(PartSeparator);
    if (parts.size() < TextRuleParts)
        return std::nullopt;
    const QString family = protocol::FormatHex(FamilyCode);
    const QString zero = protocol::FormatHex(0x00);
    return parts[0] == family && parts[5] == zero && parts[6] == zero &&
           (parts[1] != zero || parts[2] != zero);
}

QStringList entryParts(const QString& entry)
{
    QStringList parts = entry.split(PartSeparator);
    for (QString& part : parts)
        part = part.trimmed();
    return parts;
}

std::optional<SerialNumber> serialFromEntry(const QString& entry)
{
    return serialFromTexts(entry.split(PartSeparator), false);
}

std::optional<SerialNumber> serialFromParts(const QStringList& parts)
{
    return serialFromTexts(parts, true);
}

} // namespace serials
