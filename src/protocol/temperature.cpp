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

QVector<QString> decodeTemperatures(const QByteArray& reply, int positions)
{
    QVector<QString> texts;
    const qsizetype last = reply.size() - 1;
    if (reply.isEmpty() || last < 5)
        return texts;
    for (int k = 0; k < positions; ++k) {
        const qsizetype i = FirstRegisterOffset + 2 * qsizetype(k);
        if (i + 3 > last)
            break;
        const quint16 raw = quint16(quint8(reply.at(i)) << 8 | quint8(reply.at(i + 1)));
        texts.append(temperatureText(raw));
    }
    return texts;
}

namespace {
bool headerAt(const QByteArray& bytes, qsizetype at, quint8 station, quint8 function, int count)
{
    const bool stationMatches = station == WildcardStation || quint8(bytes.at(at)) == station;
    return stationMatches && quint8(bytes.at(at + 1)) == function &&
           quint8(bytes.at(at + 2)) == quint8(2 * count);
}
} // namespace

LocatedReply locateTemperatureReply(const QByteArray& received, quint8 station, quint8 function, int count)
{
    if (received.isEmpty())
        return {};
    const qsizetype length = temperatureReplyLength(count);
    bool wholeButBroken = false; // a reply's full length came, with a bad CRC
    for (qsizetype at = 0; at + 3 <= received.size(); ++at) {
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
    return {LocatedReply::Invalid, received};
}

} // namespace protocol
