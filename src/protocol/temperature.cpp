#include "temperature.h"

#include "frames.h"

namespace protocol {

int signedTemperature(quint16 raw)
{
    if (raw == NoValueRegister)
        return 0;
    if (raw > 40000)
        return int(raw) - 65536;
    return raw;
}

QString temperatureText(quint16 raw)
{
    // 0.00 would be a reading of 0 °C: "no value" says what the module said.
    if (raw == NoValueRegister)
        return QStringLiteral("无数值");
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

ReplyShape temperatureReplyShape(quint8 station, quint8 function, int count)
{
    ReplyShape shape;
    shape.station = station;
    shape.function = function;
    shape.length = temperatureReplyLength(count);
    shape.byteCount = quint8(2 * count);
    return shape;
}

} // namespace protocol
