// Replies to the serial-number and address requests: the list reply's judge,
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

void checkListReply(const QByteArray& reply, quint8 station, quint8 channel, quint8 count)
{
    const requests::Request request = serials::readListRequest(station, channel, count);
    const serials::ListReplyVerdict verdict = serials::judgeListReply(reply, request);
    const QVector<serials::SerialNumber> found = serials::serialsInListReply(reply, count);
    FUZZ_CHECK(found.size() == itemsHeld(reply, count, SerialBytes));
    for (qsizetype i = 0; i < found.size(); ++i)
        checkSerial(found[i], reply, DataOffset + SerialBytes * i);
    if (verdict.usable) {
        const QByteArray whole = reply.left(protocol::readSerialsReplyLength(count));
        FUZZ_CHECK(verdict.note.isEmpty() && found.size() == count);
        FUZZ_CHECK(whole.size() == protocol::readSerialsReplyLength(count) && protocol::hasValidCrc(whole));
        FUZZ_CHECK(station == protocol::WildcardStation || quint8(reply.at(0)) == station);
        FUZZ_CHECK(quint8(reply.at(1)) == protocol::FunctionSerials);
    } else {
        FUZZ_CHECK(!verdict.note.isEmpty());
    }
}

void checkOneSerial(const QByteArray& reply)
{
    const std::optional<serials::SerialNumber> serial = serials::serialInReply(reply);
    FUZZ_CHECK(serial.has_value() == (reply.size() >= DataOffset + SerialBytes));
    if (serial)
        checkSerial(*serial, reply, DataOffset);
}

void checkSearchReply(const QByteArray& reply, int channelCount)
{
    const QVector<int> found = serials::sensorsFoundInSearchReply(reply, channelCount);
    FUZZ_CHECK(found.size() == itemsHeld(reply, channelCount, 1));
    for (qsizetype i = 0; i < found.size(); ++i)
        FUZZ_CHECK(found[i] == quint8(reply.at(DataOffset + i)));
}

void checkAddressReply(const QByteArray& reply, int kind, quint8 function)
{
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
    checkOneSerial(reply);
    checkSearchReply(reply, count);
    checkAddressReply(reply, protocol::ModeChangeAddress, protocol::FunctionWrite);
    checkAddressReply(reply, protocol::ModeReadAddressOrBaud, protocol::FunctionReadAddress);
    return 0;
}
