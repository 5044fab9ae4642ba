#pragma once
// One temperature reading as the history keeps it: when, which sensor, the raw
// register and what it means.

#include "alarms/alarm_engine.h"
#include "protocol/temperature.h"

#include <QLatin1String>
#include <QStringView>
#include <QtGlobal>
#include <optional>

namespace history {

// The values are stored in the database's `state` column; never renumber them.
enum class ReadingState {
    Ok = 0,
    NotWired = 1,      // "未接线"
    NotRecognised = 2, // "未识别"
    NoValue = 3,       // raw 65535, "无数值"
};

// The state's text form for files and other programs: ok, not_wired, not_recognised, no_value.
QLatin1String stateText(ReadingState state);
std::optional<ReadingState> parseState(QStringView text);

struct Reading
{
    qint64 timeMs = 0; // UTC, milliseconds since the epoch
    int station = 0;
    int channel = 0;
    int position = 0;
    quint16 raw = protocol::NoValueRegister;
    ReadingState state = ReadingState::NoValue;
    std::optional<double> celsius; // only when state is Ok

    friend bool operator==(const Reading& a, const Reading& b)
    {
        return a.timeMs == b.timeMs && a.station == b.station && a.channel == b.channel &&
               a.position == b.position && a.raw == b.raw && a.state == b.state && a.celsius == b.celsius;
    }
    friend bool operator!=(const Reading& a, const Reading& b) { return !(a == b); }
};

// The reading as the alarm engine is fed it.
alarms::SensorReading alarmReading(const Reading& reading);

// The reading of a raw register, judged with the module's own codes and conversion.
Reading readingFromRaw(qint64 timeMs, int station, int channel, int position, quint16 raw);

} // namespace history
