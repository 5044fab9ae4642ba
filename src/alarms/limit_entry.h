#pragma once
// What an operator types into the alarm limit boxes, checked: the limits, or a
// message naming the first box that cannot be used by its caption.

#include "alarm_limits.h"

#include <QString>
#include <array>
#include <optional>

namespace alarms {

// The texts of the boxes; an empty box (blanks only) means no limit.
struct LimitTexts
{
    QString high;
    QString low;
    QString risePerDay;
    std::array<QString, protocol::MaxChannelsPerModule> channelHigh; // channel 1..10 at 0..9
    std::array<QString, protocol::MaxChannelsPerModule> channelLow;
};

struct LimitEntry
{
    std::optional<AlarmLimits> limits;
    QString message; // set when limits is not
};

// The boxes' captions: "高温上限", "低温下限", "温升上限", "通道3高温上限", "通道3低温下限".
QString highCaption(int channel = 0); // channel 0: the installation's
QString lowCaption(int channel = 0);
QString riseCaption();

// Checks the boxes in the order installation high, low, rise, then channel 1
// high and low up to channel 10. A temperature limit must be a decimal number
// in -55..125, a rise limit one in 0..180; either is kept in hundredths of a
// degree. Then the low limit in force on each channel must not be above its
// high limit (the installation's first): the message names both boxes.
LimitEntry checkLimitTexts(const LimitTexts& texts);

} // namespace alarms
