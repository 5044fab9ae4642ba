// Replies to the serial-number and address requests: their verdicts, the
// serial numbers and search counts a reply carries, their validity rules, and
// the address a reply reports. Input: station, channel, count, then the reply.

#include "judged_reply_check.h"

#include "config/module_address.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "serials/serial_numbers.h"
#include "serials/serial_replies.h"
#include "serials/serial_requests.h"

#include <algorithm>

namespace {

constexpr qsizetype DataOffset = 3;
constexpr qsizetype SerialBytes = 8;

// Whole items of `itemBytes` from the data offset on, at most `count`.
qsizetype itemsHeld(const QByteArray& reply, int count, qsizetype itemBytes)
{
    return std::min<qsizetype>(count, std::max<qsizetype>(0, (reply.size() - DataOffset) / itemBytes));
}

void checkSerial(const serials::SerialNumber& serial, const QByteArray& reply, qsizetype offset)
{
    const QString text = serials::serialText(serial);
    FUZZ_CHECK(text == serials::serialText(reply, offset));
    // The text form reads back as the same bytes, and the text rule agrees with the byte rule.
    FUZZ_CHECK(serials::serialFromEntry(text) == serial);
    FUZZ_CHECK(serials::passesTextRule(text) == serials::passesListRule(serial));
    FUZZ_CHECK(!serials::passesReplyRule(serial) || serials::passesListRule(serial));
}

// The verdict on `reply` for `request`, checked; whether it is usable.
bool judged(const QByteArray& reply, const requests::Request& request)
{
    const protocol::JudgedReply verdict = protocol::judgeReply(reply, request.shape);
    fuzz::checkJudgedReply(verdict, reply, request.shape);
    return verdict.status == protocol::ReplyStatus::Usable;
}

void checkListReply(const QByteArray& reply, quint8 station, quint8 channel, quint8 count)
{
    const bool usable = judged(reply, serials::readListRequest(station, channel, count));
    const QVector<serials::SerialNumber> found = serials::serialsInListReply(reply, count);
    FUZZ_CHECK(found.size() == itemsHeld(reply, count, SerialBytes));
    for (qsizetype i = 0; i < found.size(); ++i)
        checkSerial(found[i], reply, DataOffset + SerialBytes * i);
    FUZZ_CHECK(!usable || found.size() == count);
}

void checkOneSerial(const QByteArray& reply, quint8 station, quint8 channel, quint8 position)
{
    judged(reply, serials::readInRequest(station, channel, position));
    judged(reply, serials::writeRequest(station, channel, position, serials::SerialNumber{}));
    const std::optional<serials::SerialNumber> serial = serials::serialInReply(reply);
    FUZZ_CHECK(serial.has_value() == (reply.size() >= DataOffset + SerialBytes));
    if (serial)
        checkSerial(*serial, reply, DataOffset);
}

void checkSearchReply(const QByteArray& reply, quint8 station, quint8 channel, quint8 channelCount)
{
    judged(reply, serials::searchRequest(station, channel, channelCount));
    const QVector<int> found = serials::sensorsFoundInSearchReply(reply, channelCount);
    FUZZ_CHECK(found.size() == itemsHeld(reply, channelCount, 1));
    for (qsizetype i = 0; i < found.size(); ++i)
        FUZZ_CHECK(found[i] == quint8(reply.at(DataOffset + i)));
}

void checkAddressReply(const QByteArray& reply, int kind, quint8 function, quint8 station, quint8 changed)
{
    if (function == protocol::FunctionReadAddress)
        judged(reply, config::readAddressRequest());
    else
        judged(reply, config::changeAddressRequest(station, changed));
    const std::optional<int> address = config::addressInReply(reply, kind);
    if (!address)
        return;
    FUZZ_CHECK(*address >= config::MinStation && *address <= config::MaxStation);
    FUZZ_CHECK(*address == quint8(reply.at(3)) && quint8(reply.at(1)) == function);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const quint8 station = input.byte();
    const quint8 channel = input.byte();
    const quint8 count = input.byte();
    const QByteArray reply = input.rest();

    checkListReply(reply, station, channel, count);
    checkOneSerial(reply, station, channel, count);
    checkSearchReply(reply, station, channel, count);
    checkAddressReply(reply, protocol::ModeChangeAddress, protocol::FunctionWrite, station, count);
    checkAddressReply(reply, protocol::ModeReadAddressOrBaud, protocol::FunctionReadAddress, station, count);
    judged(reply, config::changeBaudRequest(channel, count));
    return 0;
}
