#include "temperature.h"

#include "crc16.h"
#include "frames.h"

namespace protocol {

int signedTemperature(quint16 raw)
{
    if (raw == 0xFFFF)
        return 0;
    if (raw > 40000)
        return int(raw) - 65536;
    return raw;
}

QString temperatureText(quint16 raw)
{
    const int value = signedTemperature(raw);
    if (value == NotWiredCode)
        return QStringLiteral("未接线");
    if (value == NotRecognisedCode)
        return QStringLiteral("未识别");
    // Integer arithmetic keeps "-0.02" and "0.05" exact.
    const int magnitude = value < 0 ? -value : value;
    return QStringLiteral("%1%2.%3")
        .arg(value < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QVector<quint16> decodeRegisters(const QByteArray& reply, int positions)
{
    QVector<quint16> registers;
    const qsizetype last = reply.size() - 1;
    if (reply.isEmpty() || last < 5)
        return registers;
    for (int k = 0; k < positions; ++k) {
        const qsizetype i = FirstRegisterOffset + 2 * qsizetype(k);
        if (i + 3 > last)
            break;
        registers.append(quint16(quint8(reply.at(i)) << 8 | quint8(reply.at(i + 1))));
    }
    return registers;
}

QVector<QString> decodeTemperatures(const QByteArray& reply, int positions)
{
    QVector<QString> texts;
    for (const quint16 raw : decodeRegisters(reply, positions))
        texts.append(temperatureText(raw));
    return texts;
}

namespace {
// A request to the wildcard address is answered by any station.
bool stationMatches(char received, quint8 station)
{
    return station == WildcardStation || quint8(received) == station;
}

// Whether the bytes from `at` on start like the reply's header, as far as they go.
bool headerAt(const QByteArray& bytes, qsizetype at, quint8 station, quint8 function, int count)
{
    if (!stationMatches(bytes.at(at), station))
        return false;
    const quint8 rest[] = {function, quint8(2 * count)};
    for (qsizetype k = 0; k < 2 && at + 1 + k < bytes.size(); ++k) {
        if (quint8(bytes.at(at + 1 + k)) != rest[k])
            return false;
    }
    return true;
}

constexpr qsizetype ExceptionReplyLength = 5; // station, function + 0x80, code, CRC

bool exceptionAt(const QByteArray& bytes, qsizetype at, quint8 station, quint8 function)
{
    if (bytes.size() - at < ExceptionReplyLength)
        return false;
    return stationMatches(bytes.at(at), station) && quint8(bytes.at(at + 1)) == quint8(function | 0x80) &&
           hasValidCrc(bytes.mid(at, ExceptionReplyLength));
}
} // namespace

LocatedReply locateTemperatureReply(const QByteArray& received, quint8 station, quint8 function, int count)
{
    if (received.isEmpty())
        return {};
    const qsizetype length = temperatureReplyLength(count);
    bool wholeButBroken = false; // a reply's full length came, with a bad CRC
    for (qsizetype at = 0; at < received.size(); ++at) {
        if (exceptionAt(received, at, station, function))
            return {LocatedReply::Refused, received.mid(at, ExceptionReplyLength)};
        if (!headerAt(received, at, station, function, count))
            continue;
        if (received.size() - at < length) {
            // The reply still arriving; every later start would be shorter still.
            if (!wholeButBroken)
                return {LocatedReply::CutShort, received.mid(at)};
            break;
        }
        const QByteArray candidate = received.mid(at, length);
        if (hasValidCrc(candidate))
            return {LocatedReply::Complete, candidate};
        wholeButBroken = true;
    }
    // Intact on the line, but an answer to some other request.
    if (received.size() >= ExceptionReplyLength && hasValidCrc(received))
        return {LocatedReply::Mismatch, received};
    return {LocatedReply::Invalid, received};
}

} // namespace protocol
