#include "read_timing.h"

#include "protocol/line_timing.h"

#include <algorithm>

namespace acquisition {

int temperatureReplyBytes(int count)
{
    return 2 * count + 5;
}

bool temperatureReplyComplete(qsizetype bytes, int count)
{
    return bytes >= temperatureReplyBytes(count);
}

int temperatureExchangeMs(int count, int baud)
{
    return protocol::lineTimeMs(kTemperatureRequestBytes + temperatureReplyBytes(count), baud);
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
    const int gap = protocol::interFrameGapUs(baud);
    return afterCutShortReply ? std::max(gap, kCutShortQuietUs) : gap;
}

QuietWait quietWaitState(qint64 sinceLastByteUs, qint64 waitedUs, int count, int baud,
                         bool afterCutShortReply)
{
    if (sinceLastByteUs >= passQuietGapUs(baud, afterCutShortReply))
        return QuietWait::Quiet;
    if (waitedUs >= qint64(passChannelDeadlineMs(count, baud)) * 1000)
        return QuietWait::GaveUp;
    return QuietWait::Waiting;
}

} // namespace acquisition
