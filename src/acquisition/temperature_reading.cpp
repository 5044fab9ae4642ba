#include "temperature_reading.h"

#include "protocol/frames.h"
#include "protocol/reply_notes.h"
#include "protocol/temperature.h"

namespace acquisition {

requests::Request temperatureReadRequest(const TemperatureRequestFields& fields, quint8 channel,
                                         bool receiveEvent)
{
    requests::Request request;
    request.frame =
        protocol::temperatureRequest(fields.station, fields.function, channel, fields.start, fields.count);
    request.replyLength = protocol::temperatureReplyLength(fields.count);
    request.threshold = receiveEvent ? request.replyLength : 0;
    request.context = {protocol::ModeTemperature, fields.station, channel, fields.count, fields.start};
    return request;
}

TemperatureReplyOutcome judgeTemperatureReply(const QByteArray& received, const requests::Request& request,
                                              bool mayBeCutShort)
{
    using Located = protocol::LocatedReply;
    const Located located = protocol::locateTemperatureReply(
        received, quint8(request.frame.at(0)), quint8(request.frame.at(1)), request.context.count);
    switch (located.kind) {
    case Located::Nothing:
        return {};
    case Located::Complete:
        return {TemperatureReplyOutcome::Decode, located.bytes, {}};
    case Located::CutShort:
        if (mayBeCutShort)
            return {TemperatureReplyOutcome::Decode, located.bytes, {}};
        break;
    case Located::Refused:
        return {TemperatureReplyOutcome::Flag, located.bytes,
                protocol::refusedReplyNote(quint8(located.bytes.at(2)))};
    case Located::Mismatch:
        return {TemperatureReplyOutcome::Flag, received, protocol::replyMismatchNote()};
    case Located::Invalid:
        break;
    }
    return {TemperatureReplyOutcome::Flag, received, protocol::crcErrorNote()};
}

} // namespace acquisition
