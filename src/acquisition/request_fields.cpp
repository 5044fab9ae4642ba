#include "request_fields.h"

#include <cmath>

namespace acquisition {

namespace {

constexpr int kCounterWrap = 65535;

// The counter's number, or nullopt when the text is no counter value at all.
std::optional<double> counterNumber(const QString& counter)
{
    const std::optional<double> value = protocol::parseDecimal(counter);
    if (!value || *value < 0)
        return std::nullopt;
    return value;
}

} // namespace

namespace {
struct Box
{
    const QString& text;
    const char16_t* caption;
    quint8 TemperatureRequestFields::*field;
};

// Reads `boxes` in order into `fields`; the first that does not fit a byte is named.
FieldsResult readBoxes(std::initializer_list<Box> boxes, protocol::Rounding rounding,
                       TemperatureRequestFields fields = {})
{
    FieldsResult result;
    for (const Box& box : boxes) {
        const std::optional<int> value = protocol::byteValue(box.text, rounding);
        if (!value) {
            result.message = protocol::rangeMessage(QString::fromUtf16(box.caption), 0, 255);
            return result;
        }
        fields.*box.field = quint8(*value);
    }
    result.fields = fields;
    return result;
}
} // namespace

FieldsResult readPassFields(const QString& station, const QString& function, const QString& start,
                            const QString& count, protocol::Rounding rounding)
{
    return readBoxes({{station, u"设备地址", &TemperatureRequestFields::station},
                      {function, u"功 能 码", &TemperatureRequestFields::function},
                      {start, u"超始地址", &TemperatureRequestFields::start},
                      {count, u"数据长度", &TemperatureRequestFields::count}},
                     rounding);
}

FieldsResult readRequestFields(const QString& station, const QString& function, const QString& start,
                               const QString& count, const QString& channel, protocol::Rounding rounding)
{
    const FieldsResult first = readPassFields(station, function, start, count, rounding);
    if (!first.fields)
        return first;
    return readBoxes({{channel, u"通道号", &TemperatureRequestFields::channel}}, rounding, *first.fields);
}

std::optional<int> loopInterval(const QString& text)
{
    return protocol::wholeNumber(text, protocol::Rounding::CutOff, kLoopIntervalMin, kLoopIntervalMax);
}

QString loopIntervalMessage()
{
    return protocol::rangeMessage(QStringLiteral("定时时长(ms)"), kLoopIntervalMin, kLoopIntervalMax);
}

QString wrappedCounterText(const QString& counter)
{
    const std::optional<double> value = counterNumber(counter);
    return value && *value > kCounterWrap ? QStringLiteral("0") : counter;
}

QString nextCounterText(const QString& counter)
{
    const std::optional<double> value = counterNumber(counter);
    const int whole = value && *value <= kCounterWrap ? int(std::trunc(*value)) : 0;
    return QString::number(whole + 1);
}

} // namespace acquisition
