#include "hex_text.h"

namespace protocol {

namespace {
constexpr char digits[] = "0123456789ABCDEF";
}

QString FormatHex(quint8 value)
{
    const QChar text[2] = {QLatin1Char(digits[value >> 4]), QLatin1Char(digits[value & 0x0F])};
    return QString(text, 2);
}

QString requestEcho(const QByteArray& frame, int lastIndex)
{
    const qsizetype end =
        lastIndex < 0 ? frame.size() : qMin<qsizetype>(frame.size(), qsizetype(lastIndex) + 1);
    QString text;
    text.reserve(end * 3);
    for (qsizetype i = 0; i < end; ++i) {
        text += FormatHex(quint8(frame.at(i)));
        text += QLatin1Char(' ');
    }
    return text;
}

QString replyDump(const QByteArray& reply)
{
    QString text;
    text.reserve(reply.size() * 3);
    for (char byte : reply) {
        text += QLatin1Char(' ');
        text += FormatHex(quint8(byte));
    }
    return text;
}

QString spacedHex(const QByteArray& bytes)
{
    return replyDump(bytes).mid(1);
}

} // namespace protocol
