#pragma once
// Waits of the temperature reading paths, scaled to the line: a slow baud rate
// or a long reply gets the time its bytes need, fast short reads keep the
// familiar floor of 200 ms (single read) and 500 ms (each channel of a pass).

#include "protocol/line_timing.h"
#include "requests/line_tuning.h"

#include <QtGlobal>

namespace acquisition {

inline constexpr int kReadWaitFloorMs = 200;
inline constexpr int kPassDeadlineFloorMs = requests::LineTuning::DefaultReplyTimeoutMs;
inline constexpr int kTemperatureRequestBytes = 8;

// Line time of the request and its expected reply at `baud`, in milliseconds.
int temperatureExchangeMs(int count, int baud);

// How long a single temperature read waits for its reply: its own floor, or the
// line's reply time-out where that is longer than the default.
int temperatureReadWaitMs(int count, int baud, int replyTimeoutMs = kPassDeadlineFloorMs);

// How long the all-channels pass waits for one channel's reply before giving up
// on it: the line's reply time-out, or longer where the line needs it.
int passChannelDeadlineMs(int count, int baud, int replyTimeoutMs = kPassDeadlineFloorMs);

// Silence the pass wants on the line before each channel's request, so that late
// bytes of the previous reply are not taken for the next one: 3.5 character
// times, or, after a reply that was cut short by its deadline and so may still be
// arriving, at least kCutShortQuietUs. Operating systems and USB adapters hand
// received bytes over in bursts (an adapter's latency timer is typically 16 ms),
// so a pause of a few character times in what the program sees does not prove
// the sender has finished.
inline constexpr int kCutShortQuietUs = 20000;
int passQuietGapUs(int baud, bool afterCutShortReply = false);

} // namespace acquisition
