#include "serial_replies.h"

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

} // namespace

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
