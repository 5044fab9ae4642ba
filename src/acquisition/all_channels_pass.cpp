#include "all_channels_pass.h"

#include "read_timing.h"

#include "protocol/temperature.h"

namespace acquisition {

void runAllChannelsPass(requests::RequestCore& core, const TemperatureRequestFields& fields, int channelCount,
                        const PassHooks& hooks)
{
    using Located = protocol::LocatedReply;
    const auto locate = [&fields](const QByteArray& bytes) {
        return protocol::locateTemperatureReply(bytes, fields.station, fields.function, fields.count).kind;
    };
    const auto whole = [&locate](const QByteArray& bytes) {
        const Located::Kind kind = locate(bytes);
        return kind == Located::Complete || kind == Located::Refused;
    };

    bool previousNotWhole = false; // the last channel's bytes were no whole reply: more may follow
    for (int channel = 1; channel <= channelCount && core.port()->PortOpen(); ++channel) {
        if (hooks.keepGoing && !hooks.keepGoing())
            break;
        if (hooks.channelStarting)
            hooks.channelStarting(channel);
        const int baud = core.port()->baudRate();
        const int deadline = passChannelDeadlineMs(fields.count, baud);
        core.waitForQuietLine(passQuietGapUs(baud, previousNotWhole), deadline);

        const requests::Request request = temperatureReadRequest(fields, quint8(channel), false);
        if (core.send(request) != requests::RequestCore::SendResult::Sent)
            break;
        if (hooks.requestSent)
            hooks.requestSent(request);

        const QByteArray received = core.takeReply(deadline, whole);
        previousNotWhole = !received.isEmpty() && !whole(received);
        if (hooks.channelAnswered)
            hooks.channelAnswered(channel, judgeTemperatureReply(received, request, true));
    }
}

} // namespace acquisition
