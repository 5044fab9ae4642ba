#include "frames.h"

#include "crc16.h"

namespace protocol {

QByteArray frame8(quint8 b0, quint8 b1, quint8 b2, quint8 b3, quint8 b4, quint8 b5)
{
    const char bytes[6] = {char(b0), char(b1), char(b2), char(b3), char(b4), char(b5)};
    return appendCrc(QByteArray(bytes, 6));
}

QByteArray temperatureRequest(quint8 station, quint8 function, quint8 channel, quint8 start, quint8 count)
{
    return frame8(station, function, channel, start, 0x00, count);
}

QByteArray readSerialsRequest(quint8 station, quint8 channel, quint8 count)
{
    return frame8(station, FunctionSerials, SubReadSerials, channel, 0x00, count);
}

QByteArray manualReadInRequest(quint8 station, quint8 channel, quint8 position)
{
    return frame8(station, FunctionSerials, SubReadIn, channel, position, 0x04);
}

QByteArray autoSearchRequest(quint8 station, quint8 firstChannel, quint8 channelCount)
{
    QByteArray bytes = frame8(station, FunctionWrite, SubSearch, firstChannel, 0x01, channelCount);
    bytes.append('\0');
    return bytes;
}

QByteArray writeSerialRequest(quint8 station, quint8 channel, quint8 position, const SerialNumber& serial)
{
    QByteArray bytes;
    bytes.reserve(15);
    bytes.append(char(station));
    bytes.append(char(FunctionSerials));
    bytes.append(char(SubWriteSerial));
    bytes.append(char(channel));
    bytes.append(char(position));
    for (quint8 b : serial)
        bytes.append(char(b));
    return appendCrc(bytes);
}

QByteArray changeAddressRequest(quint8 currentAddress, quint8 newAddress)
{
    return frame8(currentAddress, FunctionWrite, SubChangeAddress, 0x00, 0x00, newAddress);
}

QByteArray readAddressRequest()
{
    return frame8(WildcardStation, FunctionReadAddress, 0x02, 0x00, 0x00, 0x01);
}

QByteArray changeBaudRequest(quint8 currentCode, quint8 newCode)
{
    return frame8(WildcardStation, FunctionWrite, SubChangeBaud, currentCode, 0x00, newCode);
}

} // namespace protocol
