#include "alarm_rule.h"

#include <cmath>

namespace alarms {

namespace {

// Compared in the module's hundredths of a degree, so that a value on a limit
// is on it however the two were computed.
qint64 hundredths(double celsius)
{
    return std::llround(celsius * 100);
}

} // namespace

QString limitText(Limit limit)
{
    switch (limit) {
    case Limit::None:
        break;
    case Limit::High:
        return QStringLiteral("高温");
    case Limit::Low:
        return QStringLiteral("低温");
    case Limit::Rise:
        return QStringLiteral("温升");
    }
    return QString();
}

Limit brokenLimit(const SensorValue& value, const std::optional<EarlierValue>& earlier,
                  const AlarmLimits& limits)
{
    if (!value.celsius)
        return Limit::None;
    const qint64 celsius = hundredths(*value.celsius);
    const HighLow inForce = limits.forChannel(value.sensor.channel);
    if (inForce.high && celsius > hundredths(*inForce.high))
        return Limit::High;
    if (inForce.low && celsius < hundredths(*inForce.low))
        return Limit::Low;
    if (limits.risePerDay && earlier) {
        const qint64 spanMs = value.timeMs - earlier->timeMs;
        // rise / span > limit / day, without a division's rounding.
        const qint64 rise = celsius - hundredths(earlier->celsius);
        if (spanMs >= MinRiseSpanMs && rise * DayMs > hundredths(*limits.risePerDay) * spanMs)
            return Limit::Rise;
    }
    return Limit::None;
}

} // namespace alarms
