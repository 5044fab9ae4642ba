#pragma once
// The reader's rounds: every station given, one after another on the one line,
// each with the all-channels pass the window uses; then the round's records go
// to whoever listens, and the next round starts when the interval since this
// one's start has passed (at once when the round took longer).

#include "reader_options.h"

#include "acquisition/all_channels_pass.h"
#include "requests/request_core.h"
#include "site/site_record.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

namespace reader {

// The register read the reader sends: function 3 from position 1, as the
// window's request boxes start out.
inline constexpr quint8 kReadFunction = 3;
inline constexpr quint8 kFirstPosition = 1;
// While the port cannot be opened, rounds come at most this often, whatever the
// interval: a reader told to read back to back must not spin on an unplugged adapter.
inline constexpr int kReopenWaitMs = 1000;

// Sets `line` to `device` at `baud` and opens it for binary replies, as the reader
// reads with it. False when it cannot be opened (line.lastFailure() says why).
// A network address (tcp://, mbap://) opens in the background (line.openPending()).
bool openLine(port::MSComm& line, const QString& device, int baud);

class SiteReader : public QObject
{
    Q_OBJECT
public:
    // The core's port must be set up (port, rate, open) by the caller.
    SiteReader(requests::RequestCore& core, const ReaderOptions& options, QObject* parent = nullptr);

    using ChannelListener = std::function<void(const site::ChannelRecords& records)>;
    // Each channel's records as its reply is judged (failed channels included).
    void onChannel(ChannelListener listener) { m_channelListeners.push_back(std::move(listener)); }
    // After every round (also the last, cut short by stop()).
    void onRound(std::function<void()> listener) { m_roundListeners.push_back(std::move(listener)); }

    void start();
    // Ends at once: the request on the line is given up (its channel records
    // nothing) and no further request goes out. The round's listeners and
    // finished() follow from the event loop.
    void stop();
    bool stopping() const { return m_stopping; }
    int rounds() const { return m_rounds; }

Q_SIGNALS:
    void finished();
    // The port went away or cannot be opened again: each kind of failure said once
    // as it comes, nothing more until the port works again.
    void portProblem(const QString& text);
    void portBack();

private:
    void runRound();
    // The next station of the round, or the round's end.
    void readNextStation();
    void onChannelAnswered(const requests::Exchange& exchange);
    void onPassFinished(bool complete);
    // With the port away, every channel of the station is reported as not answering.
    void reportStationAway(int station);
    void endRound();
    bool portReady();
    void sayOpenFailure();
    void report(const site::ChannelRecords& records);

    requests::RequestCore& m_core;
    ReaderOptions m_options;
    acquisition::AllChannelsPass m_pass;
    std::vector<ChannelListener> m_channelListeners;
    std::vector<std::function<void()>> m_roundListeners;
    QTimer m_next;
    QElapsedTimer m_roundClock;
    bool m_stopping = false;
    bool m_inRound = false;
    bool m_portReady = false;
    int m_nextStation = 0; // index into the options' stations
    // The port's failure said last (a lost port counts as missing); none while it works.
    std::optional<port::OpenFailure> m_portProblemSaid;
    int m_rounds = 0;
};

} // namespace reader
