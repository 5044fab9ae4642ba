#pragma once
// The all-channels pass: channels 1..n read one after another on one line. The
// window and a program without windows run the same pass; hooks let each show
// its progress its own way.

#include "temperature_reading.h"

#include "requests/request_core.h"

#include <functional>

namespace acquisition {

struct PassHooks
{
    std::function<bool()> keepGoing;                  // asked before each channel: false ends the pass there
    std::function<void(int channel)> channelStarting; // before the channel's request
    std::function<void(const requests::Request& request)> requestSent; // the request is on the line
    std::function<void(int channel, const TemperatureReplyOutcome& outcome)> channelAnswered;
};

// Reads channels 1..channelCount with the station, function, start and count of
// `fields`, one request on the line at a time: before each request the line must
// have gone quiet (the previous reply may still be arriving; bounded by the
// channel's deadline) and the input is emptied, so late bytes never reach
// another channel; each reply is awaited until it is whole, or the module
// refused, or the channel's deadline passed. Ends early when the port closes,
// a request cannot go out or the hooks say not to go on.
void runAllChannelsPass(requests::RequestCore& core, const TemperatureRequestFields& fields, int channelCount,
                        const PassHooks& hooks);

} // namespace acquisition
