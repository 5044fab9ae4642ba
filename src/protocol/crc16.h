#pragma once
// CRC-16/MODBUS, the checksum that closes every frame on the line.

#include <QByteArray>
#include <QtGlobal>

namespace protocol {

// Result of the last Crc16 call, low byte first on the wire. Senders read
// them right after the call, as the frame builders below do.
extern int CrcLow;
extern quint8 CrcHigh;

// Computes the CRC over frame[0..lastIndex] and leaves it in CrcLow/CrcHigh.
void Crc16(const QByteArray& frame, int lastIndex);

// Pure form: register value after all bytes (low byte goes on the wire first).
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
