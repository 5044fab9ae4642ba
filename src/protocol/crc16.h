#pragma once
// CRC-16/MODBUS, the checksum that closes every frame on the line.

#include <QByteArray>
#include <QtGlobal>

namespace protocol {

// Register value after all bytes (its low byte goes on the wire first).
quint16 crc16Modbus(const char* data, qsizetype length);
inline quint16 crc16Modbus(const QByteArray& bytes)
{
    return crc16Modbus(bytes.constData(), bytes.size());
}

// Appends the CRC of all bytes, low byte first.
QByteArray appendCrc(QByteArray bytes);

// True when the last two bytes are the CRC of the ones before them.
bool hasValidCrc(const QByteArray& frame);

} // namespace protocol
