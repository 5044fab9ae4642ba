#pragma once
// What the module's replies to the serial-number requests carry, and whether a
// list reply can be trusted.

#include "serial_numbers.h"

#include "requests/request.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace serials {

// A reply to a list read (8n + 5 bytes) judged against its request: it is used
// only when it is one whole reply with the request's station (any station for
// the wildcard address) and function and a valid CRC. Otherwise `note` says
// what is wrong (" CRC校验错误", or " 应答与请求不符" for an intact frame that
// answers some other request) and nothing of it is shown as serial numbers.
struct ListReplyVerdict
{
    bool usable = false;
    QString note;
};
ListReplyVerdict judgeListReply(const QByteArray& reply, const requests::Request& request);

// The serial numbers of a list reply: number i at offsets 3 + 8i .. 10 + 8i, as
// many of the `count` asked for as the reply holds whole.
QVector<SerialNumber> serialsInListReply(const QByteArray& reply, int count);

// The serial number at offsets 3 .. 10 of a read-in or write reply; nullopt when
// the reply is too short.
std::optional<SerialNumber> serialInReply(const QByteArray& reply);

// Sensors found per channel in a search reply: offset 3 + i for channel c + i,
// for as many of the `channelCount` asked for as the reply holds.
QVector<int> sensorsFoundInSearchReply(const QByteArray& reply, int channelCount);

} // namespace serials
