#pragma once
// A temperature read as a request, and what becomes of the bytes received for
// it: decoded, or flagged with what is wrong. Shared by the single reading and
// the all-channels pass.

#include "request_fields.h"

#include "requests/request.h"

#include <QByteArray>
#include <QString>

namespace acquisition {

// The temperature read of `channel` with the station, function, start and count
// of `fields`. With `receiveEvent` its reply is taken by the receive event at its
// full length; without, the sender takes it.
requests::Request temperatureReadRequest(const TemperatureRequestFields& fields, quint8 channel,
                                         bool receiveEvent);

struct TemperatureReplyOutcome
{
    enum Kind {
        Nothing, // no bytes came
        Decode,  // `bytes` are the reply from its start, whole or as far as it came
        Flag,    // `bytes` are shown with `note` after them, and nothing is decoded
    };
    Kind kind = Nothing;
    QByteArray bytes;
    QString note;
};

// Judges `received` against the request it answers. A reply that had not fully
// arrived is decoded as far as it goes only when `mayBeCutShort` (its deadline
// passed while it came in); otherwise bytes that are not one whole reply are a
// CRC error.
TemperatureReplyOutcome judgeTemperatureReply(const QByteArray& received, const requests::Request& request,
                                              bool mayBeCutShort);

} // namespace acquisition
