#include "temperature_reading.h"

#include "read_timing.h"

#include "protocol/frames.h"
#include "protocol/temperature.h"

namespace acquisition {

namespace {
requests::Request temperatureReadRequest(const TemperatureRequestFields& fields, quint8 channel)
{
    requests::Request request;
    request.frame =
        protocol::temperatureRequest(fields.station, fields.function, channel, fields.start, fields.count);
    request.shape = protocol::temperatureReplyShape(fields.station, fields.function, fields.count);
    request.context = {protocol::ModeTemperature, fields.station, channel, fields.count, fields.start};
    return request;
}
} // namespace

requests::Request singleReadingRequest(const TemperatureRequestFields& fields, int baud, int replyTimeoutMs)
{
    requests::Request request = temperatureReadRequest(fields, fields.channel);
    request.threshold = protocol::temperatureReplyLength(fields.count);
    request.deadlineMs = temperatureReadWaitMs(fields.count, baud, replyTimeoutMs);
    return request;
}

requests::Request passChannelRequest(const TemperatureRequestFields& fields, quint8 channel, int baud,
                                     bool afterUnfinishedReply, int replyTimeoutMs)
{
    requests::Request request = temperatureReadRequest(fields, channel);
    request.threshold = 0; // the pass takes its replies itself: no receive event
    request.deadlineMs = passChannelDeadlineMs(fields.count, baud, replyTimeoutMs);
    request.quietGapUs = passQuietGapUs(baud, afterUnfinishedReply);
    request.cutShortUsable = true;
    request.lateReplyTaken = false;
    return request;
}

} // namespace acquisition
