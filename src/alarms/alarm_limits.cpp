#include "alarm_limits.h"

#include "protocol/box_number.h"

#include <cmath>

namespace alarms {

HighLow AlarmLimits::forChannel(int channel) const
{
    if (channel < 1 || channel > int(channels.size()))
        return installation;
    const HighLow& own = channels[std::size_t(channel - 1)];
    return {own.high ? own.high : installation.high, own.low ? own.low : installation.low};
}

bool readLimitText(const QString& text, double minimum, double maximum, std::optional<double>& limit)
{
    if (text.trimmed().isEmpty()) {
        limit.reset();
        return true;
    }
    const std::optional<double> value = protocol::parseDecimal(text);
    if (!value || *value < minimum || *value > maximum)
        return false;
    limit = std::round(*value * 100) / 100;
    return true;
}

QString formatLimit(const std::optional<double>& limit)
{
    // Hundredths print exactly with up to five significant digits (-55.00 .. 180.00).
    return limit ? QString::number(*limit, 'g', 10) : QString();
}

} // namespace alarms
