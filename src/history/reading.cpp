#include "reading.h"

#include "protocol/temperature.h"

namespace history {

QLatin1String stateText(ReadingState state)
{
    switch (state) {
    case ReadingState::Ok:
        return QLatin1String("ok");
    case ReadingState::NotWired:
        return QLatin1String("not_wired");
    case ReadingState::NotRecognised:
        return QLatin1String("not_recognised");
    case ReadingState::NoValue:
        break;
    }
    return QLatin1String("no_value");
}

std::optional<ReadingState> parseState(QStringView text)
{
    for (ReadingState state :
         {ReadingState::Ok, ReadingState::NotWired, ReadingState::NotRecognised, ReadingState::NoValue}) {
        if (text == stateText(state))
            return state;
    }
    return std::nullopt;
}

Reading readingFromRaw(qint64 timeMs, int station, int channel, int position, quint16 raw)
{
    Reading reading;
    reading.timeMs = timeMs;
    reading.station = station;
    reading.channel = channel;
    reading.position = position;
    reading.raw = raw;
    // 65535 converts to 0 °C, so it must be told apart before the conversion.
    if (raw == protocol::NoValueRegister) {
        reading.state = ReadingState::NoValue;
        return reading;
    }
    const int hundredths = protocol::signedTemperature(raw);
    if (hundredths == protocol::NotWiredCode)
        reading.state = ReadingState::NotWired;
    else if (hundredths == protocol::NotRecognisedCode)
        reading.state = ReadingState::NotRecognised;
    else {
        reading.state = ReadingState::Ok;
        reading.celsius = hundredths / 100.0;
    }
    return reading;
}

alarms::SensorReading alarmReading(const Reading& r)
{
    alarms::SensorState state = alarms::SensorState::NoValue;
    switch (r.state) {
    case ReadingState::Ok:
        state = alarms::SensorState::Ok;
        break;
    case ReadingState::NotWired:
        state = alarms::SensorState::NotWired;
        break;
    case ReadingState::NotRecognised:
        state = alarms::SensorState::NotRecognised;
        break;
    case ReadingState::NoValue:
        break;
    }
    return {{r.station, r.channel, r.position}, r.timeMs, state, r.celsius};
}

} // namespace history
