#pragma once
// The boxes of the reading paths brought to the values a request needs, with the
// message naming the box whose text does not fit.

#include "protocol/box_number.h"

#include <QString>
#include <optional>

namespace acquisition {

// The five boxes of "MODBUS设置" as request bytes.
struct TemperatureRequestFields
{
    quint8 station = 0;
    quint8 function = 0;
    quint8 start = 0;
    quint8 count = 0;
    quint8 channel = 0;
};

struct FieldsResult
{
    std::optional<TemperatureRequestFields> fields;
    QString message; // set when fields is not: names the first box that does not fit
};

// Each box as a byte (0..255) with `rounding`: CutOff for the single-channel
// reading, HalfToEven for the all-channels pass. Boxes are checked in the order
// of the arguments.
FieldsResult readRequestFields(const QString& station, const QString& function, const QString& start,
                               const QString& count, const QString& channel, protocol::Rounding rounding);
// The boxes of the all-channels pass: the same but the channel box, which the
// pass does not read (it asks every channel in turn); `channel` stays 0.
FieldsResult readPassFields(const QString& station, const QString& function, const QString& start,
                            const QString& count, protocol::Rounding rounding);

inline constexpr int kLoopIntervalMin = 1; // 0 would start a loop that never runs
inline constexpr int kLoopIntervalMax = 65535;

// A loop interval box ("定时时长(ms)"): a whole number 1..65535, fraction cut off.
std::optional<int> loopInterval(const QString& text);
QString loopIntervalMessage();

// The single-channel loop counter before a tick: above 65535 it starts again at "0".
QString wrappedCounterText(const QString& counter);
// The counter after a tick that sent a request: wrapped, then one more. A text
// that is not a number (or is negative) counts as 0.
QString nextCounterText(const QString& counter);

} // namespace acquisition
