#include "crc16.h"

namespace protocol {

quint16 crc16Modbus(const char* data, qsizetype length)
{
    quint16 reg = 0xFFFF;
    for (qsizetype i = 0; i < length; ++i) {
        reg ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<quint16>((reg >> 1) ^ 0xA001) : static_cast<quint16>(reg >> 1);
    }
    return reg;
}

QByteArray appendCrc(QByteArray bytes)
{
    const quint16 reg = crc16Modbus(bytes);
    bytes.append(char(reg & 0xFF));
    bytes.append(char(reg >> 8));
    return bytes;
}

bool hasValidCrc(const QByteArray& frame)
{
    if (frame.size() < 3)
        return false;
    const quint16 reg = crc16Modbus(frame.constData(), frame.size() - 2);
    return quint8(frame.at(frame.size() - 2)) == (reg & 0xFF) &&
           quint8(frame.at(frame.size() - 1)) == (reg >> 8);
}

} // namespace protocol
