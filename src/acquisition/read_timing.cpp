#include "read_timing.h"

#include "protocol/frames.h"
#include "protocol/line_timing.h"

#include <algorithm>

namespace acquisition {

int temperatureExchangeMs(int count, int baud)
{
    return protocol::lineTimeMs(kTemperatureRequestBytes + protocol::temperatureReplyLength(count), baud);
}

int temperatureReadWaitMs(int count, int baud, int replyTimeoutMs)
{
    const int floorMs = replyTimeoutMs > kPassDeadlineFloorMs ? replyTimeoutMs : kReadWaitFloorMs;
    return std::max(floorMs, temperatureExchangeMs(count, baud) + protocol::ModuleTurnaroundMs);
}

int passChannelDeadlineMs(int count, int baud, int replyTimeoutMs)
{
    return std::max(replyTimeoutMs, temperatureExchangeMs(count, baud) + protocol::ModuleTurnaroundMs);
}

int passQuietGapUs(int baud, bool afterCutShortReply)
{
    const int gap = protocol::interFrameGapUs(baud);
    return afterCutShortReply ? std::max(gap, kCutShortQuietUs) : gap;
}

} // namespace acquisition
