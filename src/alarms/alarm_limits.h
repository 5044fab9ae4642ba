#pragma once
// The alarm limits of an installation: a high and a low temperature limit for
// every channel, which a channel may replace with its own, and a limit for the
// rise in °C per day. A limit that is not set never raises an alarm.

#include "protocol/module_limits.h"

#include <QString>
#include <array>
#include <optional>

namespace alarms {

// What the module can measure, and so the range a temperature limit may take.
inline constexpr double MinCelsius = -55;
inline constexpr double MaxCelsius = 125;
// The rise limit watches a slow warming over a day: the whole measuring range
// a day is more than any such limit needs.
inline constexpr double MaxRisePerDay = MaxCelsius - MinCelsius;

struct HighLow
{
    std::optional<double> high;
    std::optional<double> low;

    // Every value would be in alarm.
    bool lowAboveHigh() const { return high && low && *low > *high; }

    friend bool operator==(const HighLow& a, const HighLow& b) { return a.high == b.high && a.low == b.low; }
};

struct AlarmLimits
{
    HighLow installation;
    std::optional<double> risePerDay;
    // Channel 1..10 at index 0..9: a limit set here replaces the installation's
    // for that channel; one not set leaves the installation's in force.
    std::array<HighLow, protocol::MaxChannelsPerModule> channels;

    // The high and low limits in force on `channel`; channels outside 1..10 have the installation's.
    HighLow forChannel(int channel) const;

    friend bool operator==(const AlarmLimits& a, const AlarmLimits& b)
    {
        return a.installation == b.installation && a.risePerDay == b.risePerDay && a.channels == b.channels;
    }
};

// A limit's text, typed in a box or read from the file: blanks only is no
// limit; a decimal number in [minimum, maximum] is that limit, kept in
// hundredths of a degree (the module's resolution) so that a saved limit reads
// back exactly. False for anything else, and `limit` is left as it was.
bool readLimitText(const QString& text, double minimum, double maximum, std::optional<double>& limit);
// A limit's text as readLimitText reads it back: "12.35", "-10", empty for no limit.
QString formatLimit(const std::optional<double>& limit);

} // namespace alarms
