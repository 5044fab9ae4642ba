#pragma once
// What the module's replies to the serial-number requests carry, and whether a
// list reply can be trusted.

#include "serial_numbers.h"

#include "protocol/reply_notes.h"
#include "requests/request.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace serials {

// Replies judged against their request (see protocol::judgeWholeReply): a list
// read's 8n + 5 bytes, a read-in's 13 and a search's m + 5 are used only when
// they are one whole frame with a valid CRC that answers the request; otherwise
// nothing of them is shown as serial numbers or sensor counts.
protocol::ReplyVerdict judgeListReply(const QByteArray& reply, const requests::Request& request);
protocol::ReplyVerdict judgeReadInReply(const QByteArray& reply, const requests::Request& request);
protocol::ReplyVerdict judgeSearchReply(const QByteArray& reply, const requests::Request& request);

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
