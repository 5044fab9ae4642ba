#pragma once
// Reading temperatures: the single reading of one channel and the all-channels
// pass, each a request (or a pass of them) on the request core. A single
// reading asked for while a reading waits, or a pass while a pass runs, is
// refused, so a loop's tick that comes early never starts a second one; a pass
// asked for during a single reading follows it on the line.
// Without widgets: the window shows what the signals carry.

#include "all_channels_pass.h"
#include "request_fields.h"

#include "requests/request_core.h"

#include <QObject>

namespace acquisition {

class ReadingController : public QObject
{
    Q_OBJECT
public:
    explicit ReadingController(requests::RequestCore& core, QObject* parent = nullptr);

    enum class Refusal {
        None,       // started
        Busy,       // a reading waits already
        PortClosed, // the port is not open: nothing sent
        QueueFull,  // the line has too many requests waiting: nothing sent
    };

    // One request for `fields.channel`, answered by temperatureAnswered.
    Refusal readOnce(const TemperatureRequestFields& fields);
    // Channels 1..channelCount; passChannelStarting and temperatureAnswered per
    // channel, then passFinished. Refused (Busy) only while a pass runs.
    Refusal startPass(const TemperatureRequestFields& fields, int channelCount);

    bool singleReadingWaits() const { return m_singleWaits; }
    bool passRunning() const { return m_pass.running(); }
    bool busy() const { return m_singleWaits || m_pass.running(); }

    // Nothing more is read or reported: the window is closing.
    void cancel();

Q_SIGNALS:
    void passChannelStarting(int channel);
    // A temperature request's exchange ended (also a late reply to a single
    // reading): `inPass` tells the pass's channels from single readings.
    void temperatureAnswered(const requests::Exchange& exchange, bool inPass);
    void passFinished(bool complete);

private:
    Refusal refusalOf(requests::RequestCore::Submitted submitted) const;

    requests::RequestCore& m_core;
    AllChannelsPass m_pass;
    bool m_singleWaits = false;
};

} // namespace acquisition
