#include "traffic_recorder.h"

#include "requests/request_core.h"

#include <QDateTime>

namespace traffic {

TrafficRecorder::TrafficRecorder(int capacity, QObject* parent)
    : QObject(parent), m_record(capacity), m_wallMs([] { return QDateTime::currentMSecsSinceEpoch(); }),
      m_monotonicMs([this] { return m_monotonic.elapsed(); })
{
    // Reply times come from a clock that a change of the system time cannot move.
    m_monotonic.start();
}

QString TrafficRecorder::wireFraming() const
{
    return m_port ? m_port->wireFraming() : QString();
}

void TrafficRecorder::attach(requests::RequestCore* core)
{
    m_port = core->port();
    connect(core, &requests::RequestCore::requestWritten, this, &TrafficRecorder::onRequestWritten);
    connect(core, &requests::RequestCore::replyTaken, this, &TrafficRecorder::onReplyTaken);
    connect(core, &requests::RequestCore::exchangeEnded, this, &TrafficRecorder::onExchangeEnded);
}

void TrafficRecorder::setClock(std::function<qint64()> nowMs)
{
    m_wallMs = nowMs;
    m_monotonicMs = std::move(nowMs);
}

void TrafficRecorder::clear()
{
    m_record.clear();
    m_stats.clear();
    m_last.reset();
    Q_EMIT changed();
}

bool TrafficRecorder::isLast(const requests::Request& request) const
{
    // One request is on the line at a time, so its frame tells it.
    return m_last && m_last->frame == request.frame;
}

void TrafficRecorder::onRequestWritten(const requests::Request& request)
{
    const quint64 out = m_record.append({m_wallMs(), Direction::Out, request.frame, Verdict::Sent, wireFraming()});
    ChannelStats& stats = m_stats[request.context.channel];
    ++stats.requests;
    if (request.retry > 0)
        ++stats.retries;
    m_last = Exchange{request.frame, out, std::nullopt, m_monotonicMs()};
    Q_EMIT changed();
}

void TrafficRecorder::onReplyTaken(const requests::Reply& reply)
{
    const quint64 in = m_record.append({m_wallMs(), Direction::In, reply.bytes, Verdict::Unjudged, wireFraming()});
    if (reply.request.frame.isEmpty()) {
        Q_EMIT changed(); // bytes no request asked for: no channel's statistics
        return;
    }
    ChannelStats& stats = m_stats[reply.request.context.channel];
    ++stats.replies;
    // Only the first reply to the request last written has a reply time: bytes
    // for a request never written (the port was closed) or a second take have none.
    if (isLast(reply.request) && !m_last->in) {
        m_last->in = in;
        stats.replyTimes.add(m_monotonicMs() - m_last->writtenAtMs);
    }
    Q_EMIT changed();
}

void TrafficRecorder::onExchangeEnded(const requests::Exchange& exchange)
{
    switch (exchange.ending) {
    case requests::Exchange::Ending::Answered:
        m_stats[exchange.request.context.channel].skippedBytes += exchange.reply.skipped;
        noteVerdict(exchange.request, verdictOf(exchange.reply.status));
        break;
    case requests::Exchange::Ending::Cancelled:
        noteVerdict(exchange.request, Verdict::Cancelled);
        break;
    case requests::Exchange::Ending::NotWritten:
        break; // nothing went out, so nothing was recorded
    }
}

void TrafficRecorder::noteVerdict(const requests::Request& request, Verdict verdict)
{
    ChannelStats& stats = m_stats[request.context.channel];
    if (verdict == Verdict::CrcError)
        ++stats.crcErrors;
    else if (verdict == Verdict::NoReply)
        ++stats.noReplies;
    if (!isLast(request))
        return;
    const quint64 sequence = m_last->in ? *m_last->in : m_last->out;
    if (TrafficEntry* entry = m_record.find(sequence)) {
        entry->verdict = verdict;
        Q_EMIT verdictSet(sequence);
    }
    Q_EMIT changed();
}

} // namespace traffic
