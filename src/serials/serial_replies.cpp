#include "serial_replies.h"

#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/reply_notes.h"

namespace serials {

namespace {

// Offset of the first serial number or search count in a reply.
constexpr qsizetype DataOffset = 3;
constexpr qsizetype SerialBytes = std::tuple_size_v<SerialNumber>;

SerialNumber serialAt(const QByteArray& reply, qsizetype offset)
{
    SerialNumber serial{};
    for (std::size_t j = 0; j < serial.size(); ++j)
        serial[j] = quint8(reply.at(offset + qsizetype(j)));
    return serial;
}

bool answersListRequest(const QByteArray& frame, const requests::Request& request)
{
    const int station = request.context.station;
    return frame.size() >= 2 && (station == protocol::WildcardStation || quint8(frame.at(0)) == station) &&
           quint8(frame.at(1)) == protocol::FunctionSerials;
}

} // namespace

ListReplyVerdict judgeListReply(const QByteArray& reply, const requests::Request& request)
{
    const qsizetype length = protocol::readSerialsReplyLength(request.context.count);
    const QByteArray whole = reply.left(length);
    const bool intact = whole.size() == length && protocol::hasValidCrc(whole);
    if (intact && answersListRequest(whole, request))
        return {true, {}};
    if (protocol::hasValidCrc(reply) && !answersListRequest(reply, request))
        return {false, protocol::replyMismatchNote()};
    return {false, protocol::crcErrorNote()};
}

QVector<SerialNumber> serialsInListReply(const QByteArray& reply, int count)
{
    QVector<SerialNumber> serials;
    for (int i = 0; i < count && DataOffset + SerialBytes * (i + 1) <= reply.size(); ++i)
        serials.append(serialAt(reply, DataOffset + SerialBytes * i));
    return serials;
}

std::optional<SerialNumber> serialInReply(const QByteArray& reply)
{
    if (reply.size() < DataOffset + SerialBytes)
        return std::nullopt;
    return serialAt(reply, DataOffset);
}

QVector<int> sensorsFoundInSearchReply(const QByteArray& reply, int channelCount)
{
    QVector<int> found;
    for (int i = 0; i < channelCount && DataOffset + i < reply.size(); ++i)
        found.append(quint8(reply.at(DataOffset + i)));
    return found;
}

} // namespace serials
