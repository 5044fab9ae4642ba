#pragma once
// Temperature reads as requests: the single reading of one channel and each
// channel's read of the all-channels pass. The request core judges their replies
// (protocol::judgeReply); these fix what each expects and how long it waits.

#include "read_timing.h"
#include "request_fields.h"

#include "requests/request.h"

namespace acquisition {

// The single reading of `fields.channel`: taken at its full length by the
// receive event, awaited for temperatureReadWaitMs at `baud`; a reply that comes
// later is still taken while no other request went out.
requests::Request singleReadingRequest(const TemperatureRequestFields& fields, int baud,
                                       int replyTimeoutMs = kPassDeadlineFloorMs);

// The pass's read of `channel` with the station, function, start and count of
// `fields`. It goes out once the line has been quiet for passQuietGapUs (longer
// after `afterUnfinishedReply`: bytes that were no whole reply, whose rest may
// still come), is awaited until passChannelDeadlineMs, and a reply cut short by
// that deadline is used as far as it goes; nothing later is taken for it.
requests::Request passChannelRequest(const TemperatureRequestFields& fields, quint8 channel, int baud,
                                     bool afterUnfinishedReply, int replyTimeoutMs = kPassDeadlineFloorMs);

} // namespace acquisition
