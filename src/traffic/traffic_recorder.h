#pragma once
// Keeps the traffic record and per-channel statistics of a request core: every
// request written and every reply taken, with the verdict the core gave it.
// The recorder never judges a frame itself.

#include "reply_stats.h"
#include "traffic_record.h"

#include "requests/request_core.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <optional>

namespace traffic {

class TrafficRecorder : public QObject
{
    Q_OBJECT
public:
    explicit TrafficRecorder(int capacity = TrafficRing::DefaultCapacity, QObject* parent = nullptr);

    // Records what `core` writes and takes, and its verdicts, from now on.
    void attach(requests::RequestCore* core);

    // The verdict on `request`, the one last written (told by its frame): it
    // goes to the reply taken for it, or to the request itself when no reply
    // was (NoReply). A verdict on an older request is counted in the
    // statistics of its channel, but it no longer finds its frames.
    void noteVerdict(const requests::Request& request, Verdict verdict);

    const TrafficRing& record() const { return m_record; }
    // Channels (the requests' channel numbers) with any traffic, and their statistics.
    const std::map<int, ChannelStats>& stats() const { return m_stats; }
    // Forgets the record and the statistics.
    void clear();

    // For tests: `nowMs` gives both the entries' times and the reply times.
    void setClock(std::function<qint64()> nowMs);

Q_SIGNALS:
    // An entry was added or its verdict set.
    void changed();
    // The entry with `sequence` got its verdict (before changed() says so).
    void verdictSet(quint64 sequence);

private:
    void onRequestWritten(const requests::Request& request);
    void onReplyTaken(const requests::Reply& reply);
    void onExchangeEnded(const requests::Exchange& exchange);
    bool isLast(const requests::Request& request) const;
    // What framed the frames on the port's line now (see TrafficEntry::framing).
    QString wireFraming() const;

    // The request last written (its frame) and its frames in the record.
    struct Exchange
    {
        QByteArray frame;
        quint64 out = 0;
        std::optional<quint64> in;
        qint64 writtenAtMs = 0; // by the monotonic clock
    };

    QPointer<port::MSComm> m_port;
    TrafficRing m_record;
    std::map<int, ChannelStats> m_stats;
    std::optional<Exchange> m_last;
    QElapsedTimer m_monotonic;
    std::function<qint64()> m_wallMs;
    std::function<qint64()> m_monotonicMs;
};

} // namespace traffic
