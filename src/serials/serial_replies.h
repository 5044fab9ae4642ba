#pragma once
// What the module's replies to the serial-number requests carry, once the
// request core judged them usable.

#include "serial_numbers.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace serials {

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
