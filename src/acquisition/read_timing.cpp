#include "read_timing.h"

#include "port/line_timing.h"
#include "protocol/frames.h"

#include <algorithm>

namespace acquisition {

int temperatureExchangeMs(int count, int baud)
{
    return port::lineTimeMs(kTemperatureRequestBytes + protocol::temperatureReplyLength(count), baud);
}

int temperatureReadWaitMs(int count, int baud)
{
    return std::max(kReadWaitFloorMs, temperatureExchangeMs(count, baud) + kTurnaroundMs);
}

int passChannelDeadlineMs(int count, int baud)
{
    return std::max(kPassDeadlineFloorMs, temperatureExchangeMs(count, baud) + kTurnaroundMs);
}

int passQuietGapUs(int baud, bool afterCutShortReply)
{
    const int gap = port::interFrameGapUs(baud);
    return afterCutShortReply ? std::max(gap, kCutShortQuietUs) : gap;
}

} // namespace acquisition
