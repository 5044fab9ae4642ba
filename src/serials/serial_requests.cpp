#include "serial_requests.h"

#include "protocol/frames.h"

namespace serials {

namespace {
// Where a write request carries the serial number it writes.
constexpr qsizetype WrittenSerialOffset = 5;

protocol::ReplyShape wholeReplyOf(quint8 station, quint8 function, int length)
{
    protocol::ReplyShape shape;
    shape.station = station;
    shape.function = function;
    shape.length = length;
    return shape;
}
} // namespace

requests::Request readListRequest(quint8 station, quint8 channel, quint8 count)
{
    requests::Request request;
    request.frame = protocol::readSerialsRequest(station, channel, count);
    request.threshold = protocol::readSerialsReplyLength(count);
    request.shape = wholeReplyOf(station, protocol::FunctionSerials, request.threshold);
    request.context = {protocol::ModeReadSerials, station, channel, count, 0};
    return request;
}

requests::Request searchRequest(quint8 station, quint8 firstChannel, quint8 channelCount)
{
    requests::Request request;
    request.frame = protocol::autoSearchRequest(station, firstChannel, channelCount);
    request.echoLastIndex = 7; // the trailing 0x00 is sent but not echoed
    request.threshold = protocol::autoSearchReplyLength(channelCount);
    request.shape = wholeReplyOf(station, protocol::FunctionWrite, request.threshold);
    request.context = {protocol::ModeAutoSearch, station, firstChannel, channelCount, 0};
    return request;
}

requests::Request readInRequest(quint8 station, quint8 channel, quint8 position)
{
    requests::Request request;
    request.frame = protocol::manualReadInRequest(station, channel, position);
    request.threshold = protocol::manualReadInThreshold;
    // The module answers a read-in with 13 bytes whatever the position.
    request.shape = wholeReplyOf(station, protocol::FunctionSerials, protocol::manualReadInThreshold);
    request.context = {protocol::ModeManualReadIn, station, channel, 1, position};
    return request;
}

requests::Request writeRequest(quint8 station, quint8 channel, quint8 position, const SerialNumber& serial)
{
    requests::Request request;
    request.frame = protocol::writeSerialRequest(station, channel, position, serial);
    request.threshold = protocol::writeSerialThreshold;
    request.shape = wholeReplyOf(station, protocol::FunctionSerials, protocol::writeSerialReplyLength);
    request.context = {protocol::ModeWriteSerial, station, channel, 1, position};
    return request;
}

SerialNumber serialWritten(const requests::Request& request)
{
    SerialNumber serial{};
    for (std::size_t j = 0; j < serial.size(); ++j)
        serial[j] = quint8(request.frame.at(WrittenSerialOffset + qsizetype(j)));
    return serial;
}

} // namespace serials
