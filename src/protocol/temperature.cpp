#include "temperature.h"

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

} // namespace protocol
