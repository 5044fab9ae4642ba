#pragma once
// The all-channels pass: channels 1..n read one after another on one line, as a
// small state machine on the request core (a channel's request, then its reply
// or its deadline, then the next channel). The window and the headless reader
// run the same pass and follow it through its signals.

#include "request_fields.h"

#include "requests/request_core.h"

#include <QObject>

namespace acquisition {

class AllChannelsPass : public QObject
{
    Q_OBJECT
public:
    explicit AllChannelsPass(requests::RequestCore& core, QObject* parent = nullptr);

    // Reads channels 1..channelCount with the station, function, start and count
    // of `fields`. False, and nothing starts, while a pass runs or the port is closed.
    // Requests other senders queue meanwhile go out between its channels.
    bool start(const TemperatureRequestFields& fields, int channelCount);
    bool running() const { return m_running; }
    // Ends the pass at once: no channel after the one on the line is read, and
    // nothing of that one is reported. finished() does not follow.
    void cancel();

Q_SIGNALS:
    // The channel's turn on the line has come; its request goes out next.
    void channelStarting(int channel);
    // The channel's request ended: its judged reply (reply.status NoReply when
    // nothing came). A channel without a usable reply is first asked again as
    // often as the line's tuning says (LineTuning::retries); only the last
    // asking is told.
    void channelAnswered(int channel, const requests::Exchange& exchange);
    // Every channel was asked (`complete`), or the pass ended early: the port
    // closed or refused a request, or the line's queue was full.
    void finished(bool complete);

private:
    void askNext();
    void ask(); // the current channel, its m_retry'th asking again
    void onAnswer(const requests::Exchange& exchange);
    void finish(bool complete);

    requests::RequestCore& m_core;
    TemperatureRequestFields m_fields;
    int m_channelCount = 0;
    int m_channel = 0;
    bool m_running = false;
    bool m_previousUnfinished = false; // the last channel's bytes were no whole reply: more may follow
    bool m_previousSilent = false;     // the last channel got no byte in its time: its reply may come late
    int m_retry = 0;
};

} // namespace acquisition
