#pragma once
// Request frames of every kind the program sends, with their CRC, and the
// reply sizes each kind expects. Builders are pure: bytes in, bytes out.

#include <QByteArray>
#include <array>

namespace protocol {

// Request kinds, valued as the receive path's CommandMode that selects the reply handler.
enum CommandModes : int {
    ModeNone = 0,
    ModeTemperature = 1,
    ModeManualReadIn = 2,
    ModeReadSerials = 3,
    ModeWriteSerial = 6,
    ModeAutoSearch = 10,
    ModeChangeAddress = 15,
    ModeReadAddressOrBaud = 16,
};

constexpr quint8 WildcardStation = 0xFA;
constexpr quint8 FunctionSerials = 0x22;
constexpr quint8 FunctionWrite = 0x06;
constexpr quint8 FunctionReadAddress = 0x25;
constexpr quint8 SubReadIn = 0x01;
constexpr quint8 SubReadSerials = 0x02;
constexpr quint8 SubWriteSerial = 0x0C;
constexpr quint8 SubSearch = 0x0C;
constexpr quint8 SubChangeAddress = 0x0B;
constexpr quint8 SubChangeBaud = 0x0A;

using SerialNumber = std::array<quint8, 8>;

// Eight-byte frame: six bytes then their CRC, low byte first.
QByteArray frame8(quint8 b0, quint8 b1, quint8 b2, quint8 b3, quint8 b4, quint8 b5);

// Temperature read: station, function, channel (register high), start (register low), 0, count.
QByteArray temperatureRequest(quint8 station, quint8 function, quint8 channel, quint8 start, quint8 count);
QByteArray readSerialsRequest(quint8 station, quint8 channel, quint8 count);
QByteArray manualReadInRequest(quint8 station, quint8 channel, quint8 position);
// Nine bytes: the 8-byte frame followed by one 0x00 that is sent too.
QByteArray autoSearchRequest(quint8 station, quint8 firstChannel, quint8 channelCount);
// Fifteen bytes: station, 0x22, 0x0C, channel, position, 8 serial-number bytes, CRC.
QByteArray writeSerialRequest(quint8 station, quint8 channel, quint8 position, const SerialNumber& serial);
QByteArray changeAddressRequest(quint8 currentAddress, quint8 newAddress);
QByteArray readAddressRequest();
QByteArray changeBaudRequest(quint8 currentCode, quint8 newCode);

// Expected reply sizes. Plain ints: counts up to 255 and positions above 128
// must not overflow a 16-bit value.
constexpr int temperatureReplyLength(int count)
{
    return 2 * count + 5;
}
constexpr int readSerialsReplyLength(int count)
{
    return 8 * count + 5;
}
constexpr int autoSearchReplyLength(int channelCount)
{
    return channelCount + 5;
}
constexpr int manualReadInReplyLength(int position)
{
    return 255 * position + 13;
}
constexpr int manualReadInThreshold = 13;
constexpr int writeSerialReplyLength = 14;
constexpr int writeSerialThreshold = 13;
// Shared rule of the address and baud requests: 255 x byte 4 + 2 x byte 5 + 5.
constexpr int configReplyLength(int byte4, int byte5)
{
    return 255 * byte4 + 2 * byte5 + 5;
}
constexpr int configThreshold = 6;

} // namespace protocol
