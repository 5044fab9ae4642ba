#include "read_timing.h"

#include "protocol/frames.h"
#include "protocol/line_timing.h"

#include <algorithm>

namespace acquisition {

int temperatureExchangeMs(int count, int baud)
{
    return protocol::lineTimeMs(kTemperatureRequestBytes + protocol::temperatureReplyLength(count), baud);
}

int temperatureReadWaitMs(int count, int baud)
{
    return std::max(kReadWaitFloorMs, temperatureExchangeMs(count, baud) + protocol::ModuleTurnaroundMs);
}

int passChannelDeadlineMs(int count, int baud)
{
    return std::max(kPassDeadlineFloorMs, temperatureExchangeMs(count, baud) + protocol::ModuleTurnaroundMs);
}

int passQuietGapUs(int baud, bool afterCutShortReply)
{
    const int gap = protocol::interFrameGapUs(baud);
    return afterCutShortReply ? std::max(gap, kCutShortQuietUs) : gap;
}

} // namespace acquisition
