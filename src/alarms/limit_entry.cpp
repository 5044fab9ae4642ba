#include "limit_entry.h"

namespace alarms {

namespace {

QString channelPrefix(int channel)
{
    return channel == 0 ? QString() : QStringLiteral("通道%1").arg(channel);
}

// One box, or the message naming it.
bool readBox(const QString& text, const QString& caption, double minimum, double maximum,
             std::optional<double>& limit, QString& message)
{
    if (readLimitText(text, minimum, maximum, limit))
        return true;
    message = QStringLiteral("%1：请输入%2～%3之间的数").arg(caption).arg(minimum).arg(maximum);
    return false;
}

} // namespace

QString highCaption(int channel)
{
    return channelPrefix(channel) + QStringLiteral("高温上限");
}

QString lowCaption(int channel)
{
    return channelPrefix(channel) + QStringLiteral("低温下限");
}

QString riseCaption()
{
    return QStringLiteral("温升上限");
}

LimitEntry checkLimitTexts(const LimitTexts& texts)
{
    LimitEntry entry;
    AlarmLimits limits;
    QString& message = entry.message;
    if (!readBox(texts.high, highCaption(), MinCelsius, MaxCelsius, limits.installation.high, message) ||
        !readBox(texts.low, lowCaption(), MinCelsius, MaxCelsius, limits.installation.low, message) ||
        !readBox(texts.risePerDay, riseCaption(), 0, MaxRisePerDay, limits.risePerDay, message))
        return entry;
    for (int channel = 1; channel <= int(limits.channels.size()); ++channel) {
        const std::size_t i = std::size_t(channel - 1);
        HighLow& own = limits.channels[i];
        if (!readBox(texts.channelHigh[i], highCaption(channel), MinCelsius, MaxCelsius, own.high, message) ||
            !readBox(texts.channelLow[i], lowCaption(channel), MinCelsius, MaxCelsius, own.low, message))
            return entry;
    }

    if (limits.installation.lowAboveHigh()) {
        message = QStringLiteral("%1：不能高于%2").arg(lowCaption(), highCaption());
        return entry;
    }
    for (int channel = 1; channel <= int(limits.channels.size()); ++channel) {
        if (!limits.forChannel(channel).lowAboveHigh())
            continue;
        // Name the boxes whose limits are in force: the channel's own, or the installation's.
        const HighLow& own = limits.channels[std::size_t(channel - 1)];
        message = QStringLiteral("%1：不能高于%2")
                      .arg(lowCaption(own.low ? channel : 0), highCaption(own.high ? channel : 0));
        return entry;
    }
    entry.limits = limits;
    return entry;
}

} // namespace alarms
