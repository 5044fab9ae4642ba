// Replies to the serial-number and address requests: their judges,
// the serial numbers and search counts a reply carries, their validity rules,
// and the address a reply reports. Input: station, channel, count, then the reply.

#include "fuzz_input.h"

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

// A usable verdict promises one whole frame of `length` bytes with a valid CRC
// that answers the request; any other carries a note.
void checkVerdict(const protocol::ReplyVerdict& verdict, const QByteArray& reply, int length, quint8 station,
                  quint8 function)
{
    if (!verdict.usable) {
        FUZZ_CHECK(!verdict.note.isEmpty());
        return;
    }
    const QByteArray whole = reply.left(length);
    FUZZ_CHECK(verdict.note.isEmpty());
    FUZZ_CHECK(whole.size() == length && protocol::hasValidCrc(whole));
    FUZZ_CHECK(station == protocol::WildcardStation || quint8(reply.at(0)) == station);
    FUZZ_CHECK(quint8(reply.at(1)) == function);
}

void checkListReply(const QByteArray& reply, quint8 station, quint8 channel, quint8 count)
{
    const requests::Request request = serials::readListRequest(station, channel, count);
    const protocol::ReplyVerdict verdict = serials::judgeListReply(reply, request);
    checkVerdict(verdict, reply, protocol::readSerialsReplyLength(count), station, protocol::FunctionSerials);
    const QVector<serials::SerialNumber> found = serials::serialsInListReply(reply, count);
    FUZZ_CHECK(found.size() == itemsHeld(reply, count, SerialBytes));
    for (qsizetype i = 0; i < found.size(); ++i)
        checkSerial(found[i], reply, DataOffset + SerialBytes * i);
    FUZZ_CHECK(!verdict.usable || found.size() == count);
}

void checkOneSerial(const QByteArray& reply, quint8 station, quint8 channel, quint8 position)
{
    checkVerdict(serials::judgeReadInReply(reply, serials::readInRequest(station, channel, position)), reply,
                 protocol::manualReadInThreshold, station, protocol::FunctionSerials);
    const std::optional<serials::SerialNumber> serial = serials::serialInReply(reply);
    FUZZ_CHECK(serial.has_value() == (reply.size() >= DataOffset + SerialBytes));
    if (serial)
        checkSerial(*serial, reply, DataOffset);
}

void checkSearchReply(const QByteArray& reply, quint8 station, quint8 channel, quint8 channelCount)
{
    checkVerdict(serials::judgeSearchReply(reply, serials::searchRequest(station, channel, channelCount)),
                 reply, protocol::autoSearchReplyLength(channelCount), station, protocol::FunctionWrite);
    const QVector<int> found = serials::sensorsFoundInSearchReply(reply, channelCount);
    FUZZ_CHECK(found.size() == itemsHeld(reply, channelCount, 1));
    for (qsizetype i = 0; i < found.size(); ++i)
        FUZZ_CHECK(found[i] == quint8(reply.at(DataOffset + i)));
}

void checkAddressReply(const QByteArray& reply, int kind, quint8 function)
{
    if (function == protocol::FunctionReadAddress)
        checkVerdict(config::judgeAddressReply(reply, config::readAddressRequest()), reply,
                     protocol::configReplyLength(0, 1), protocol::WildcardStation, function);
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
    checkAddressReply(reply, protocol::ModeChangeAddress, protocol::FunctionWrite);
    checkAddressReply(reply, protocol::ModeReadAddressOrBaud, protocol::FunctionReadAddress);
    return 0;
}
