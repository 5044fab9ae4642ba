#include "request_core.h"

#include "protocol/frame_log.h"
#include "protocol/hex_text.h"
#include "protocol/line_timing.h"

#include <algorithm>

namespace requests {

namespace {
// Unsolicited bytes kept while a request may still get its late reply, at most:
// a line full of noise must not grow the buffer without end.
constexpr int MaxLingeringBytes = 4096;

int expectedReplyBytes(const protocol::ReplyShape& shape)
{
    return shape.length > 0 ? shape.length : shape.shortestLength;
}
} // namespace

qint64 quietLineWaitUs(qint64 sinceLastByteUs, qint64 waitedUs, qint64 gapUs, qint64 deadlineUs)
{
    if (sinceLastByteUs >= gapUs)
        return 0;
    if (waitedUs >= deadlineUs)
        return -1;
    return std::min(gapUs - sinceLastByteUs, deadlineUs - waitedUs);
}

int RequestCore::commandDeadlineMs(const Request& request, int baud)
{
    const int lineMs = protocol::lineTimeMs(int(request.frame.size()) + expectedReplyBytes(request.shape), baud);
    return std::max(NoReplyTimeoutMs, lineMs + protocol::ModuleTurnaroundMs);
}

void RequestCore::setLineTuning(const LineTuning& tuning)
{
    m_tuning = tuning;
    m_watchdog.setInterval(overdueAfterMs());
}

int RequestCore::overdueAfterMs() const
{
    return std::max(NoReplyTimeoutMs, m_tuning.replyTimeoutMs);
}

QByteArray RequestCore::replyPart(const QByteArray& received, int* echoBytes) const
{
    const qsizetype echoed = m_tuning.echo ? protocol::echoedRequestLength(received, m_current->request.frame) : 0;
    if (echoBytes)
        *echoBytes = int(echoed);
    return received.mid(echoed);
}

RequestCore::RequestCore(port::MSComm* port, QObject* parent) : QObject(parent), m_port(port)
{
    m_sinceExchange.start();
    for (QTimer* timer : {&m_quietTimer, &m_deadline, &m_holdTimer, &m_silence, &m_watchdog}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    m_watchdog.setTimerType(Qt::CoarseTimer);
    m_watchdog.setInterval(NoReplyTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        if (!m_awaitingReply)
            return;
        m_overdue = true;
        Q_EMIT overdue();
    });
    connect(&m_quietTimer, &QTimer::timeout, this, &RequestCore::checkQuietLine);
    connect(&m_deadline, &QTimer::timeout, this, &RequestCore::onDeadline);
    connect(&m_holdTimer, &QTimer::timeout, this, &RequestCore::releaseInput);
    m_silence.setInterval(protocol::ReplyEndSilenceMs);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Awaiting)
            finishCurrent();
    });
    connect(port, &port::MSComm::bytesArrived, this, &RequestCore::onBytesArrived);
    connect(port, &port::MSComm::OnComm, this, &RequestCore::onReceiveEvent);
    // Nothing that waits can be answered any more.
    connect(port, &port::MSComm::closed, this, &RequestCore::abortAll);
}

RequestCore::~RequestCore()
{
    if (m_port)
        releaseInput();
}

RequestCore::Submitted RequestCore::submit(const Request& request, QObject* receiver, Done done,
                                           std::function<void()> starting)
{
    if (!m_port->PortOpen())
        return Submitted::PortClosed;
    if (int(m_queue.size()) >= m_queueBound)
        return Submitted::QueueFull;
    m_queue.push_back(Entry{request, receiver, std::move(done), std::move(starting), false});
    startNext();
    return Submitted::Queued;
}

void RequestCore::cancel(QObject* receiver)
{
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [receiver](const Entry& e) { return e.receiver == receiver; }),
                  m_queue.end());
    if (m_lingering && m_lingering->receiver == receiver)
        m_lingering.reset();
    if (m_current && m_current->receiver == receiver) {
        m_current->cancelled = true;
        if (m_phase == Phase::Quiet) { // not written yet: it need not go out at all
            takeCurrent();
            startNext();
            return;
        }
    }
    if (idle())
        Q_EMIT becameIdle();
}

void RequestCore::startNext()
{
    // A sender being told may queue its next request: it waits until the telling is done,
    // so requests queued meanwhile by others keep their places.
    if (m_current || m_delivering > 0)
        return;
    while (!m_queue.empty()) {
        Entry entry = std::move(m_queue.front());
        m_queue.pop_front();
        if (!entry.receiver)
            continue; // its sender is gone
        m_current = std::move(entry);
        break;
    }
    if (!m_current) {
        Q_EMIT becameIdle();
        return;
    }
    if (m_current->starting) {
        ++m_delivering;
        m_current->starting();
        --m_delivering;
    }
    if (!m_current)
        return; // the port closed meanwhile
    if (m_current->request.quietGapUs > 0 || m_tuning.gapMs > 0) {
        m_phase = Phase::Quiet;
        m_quietClock.start();
        checkQuietLine();
        return;
    }
    writeCurrent();
}

void RequestCore::checkQuietLine()
{
    if (m_phase != Phase::Quiet)
        return;
    const Request& request = m_current->request;
    // The pause between requests, counted from the end of the exchange before.
    const qint64 pauseLeftMs = m_tuning.gapMs - m_sinceExchange.elapsed();
    if (pauseLeftMs > 0) {
        m_quietClock.start(); // the quiet line's wait, bounded by the deadline, starts after the pause
        m_quietTimer.start(int(pauseLeftMs));
        return;
    }
    const qint64 waitedUs = m_quietClock.nsecsElapsed() / 1000;
    const qint64 sinceLastByteUs =
        request.quietFromTurn ? std::min(m_port->usSinceLastByte(), waitedUs) : m_port->usSinceLastByte();
    const qint64 waitUs =
        quietLineWaitUs(sinceLastByteUs, waitedUs, request.quietGapUs, qint64(request.deadlineMs) * 1000);
    if (waitUs <= 0) {
        writeCurrent();
        return;
    }
    // A byte arriving meanwhile starts the silence again (onBytesArrived looks anew).
    m_quietTimer.start(int((waitUs + 999) / 1000));
}

void RequestCore::writeCurrent()
{
    m_quietTimer.stop();
    m_lingering.reset(); // whatever comes now is this request's
    const Request& request = m_current->request;
    m_port->setInBufferCount(0); // whatever came before belongs to no request now
    m_port->setInputLen(0);
    m_port->setInputMode(port::MSComm::comInputModeBinary);
    m_port->setRThreshold(request.threshold);
    if (!m_port->Output(request.frame)) {
        Exchange exchange;
        exchange.request = request;
        exchange.ending = Exchange::Ending::NotWritten;
        exchange.writeError = m_port->backend()->errorText();
        endCurrent(exchange);
        return;
    }
    m_phase = Phase::Awaiting;
    m_sinceWrite.start();
    noteRequestSent();
    const int deadlineMs = request.deadlineMs > 0
                               ? request.deadlineMs
                               : std::max(commandDeadlineMs(request, m_port->baudRate()), m_tuning.replyTimeoutMs);
    m_deadline.start(deadlineMs);
    Q_EMIT requestWritten(request);
    // Nothing awaited can be whole before the request, the silence a module keeps
    // before it answers (3.5 characters, twice for a module slow to turn the
    // line around) and the reply have passed on the line: until then the port
    // need not wake the program for every byte.
    const int baud = m_port->baudRate();
    const int echoed = m_tuning.echo ? int(request.frame.size()) : 0;
    const qint64 wholeAfterUs =
        protocol::lineTimeUs(int(request.frame.size()) + echoed + expectedReplyBytes(request.shape), baud) +
                                2 * protocol::interFrameGapUs(baud);
    const int holdMs = int(qMin<qint64>(wholeAfterUs / 1000, deadlineMs));
    if (holdMs > 0 && m_phase == Phase::Awaiting) {
        m_inputHeld = true;
        m_port->setInputHeld(true);
        m_holdTimer.start(holdMs);
    }
}

void RequestCore::releaseInput()
{
    m_holdTimer.stop();
    if (!m_inputHeld)
        return;
    m_inputHeld = false;
    m_port->setInputHeld(false); // what was held arrives now (onBytesArrived)
}

void RequestCore::onBytesArrived()
{
    switch (m_phase) {
    case Phase::Quiet:
        checkQuietLine();
        return;
    case Phase::Awaiting: {
        const QByteArray reply = replyPart(m_port->peekInput());
        if (protocol::replyComplete(reply, m_current->request.shape))
            finishCurrent();
        else if (!m_current->request.cutShortUsable && !reply.isEmpty())
            m_silence.start(); // restarted by every byte: it runs out once they stop (an echo is not the reply)
        return;
    }
    case Phase::Idle:
        break;
    }
    if (!m_lingering)
        return; // the receive event, if armed, takes these bytes
    const QByteArray bytes = m_port->peekInput();
    if (bytes.size() > MaxLingeringBytes) {
        m_lingering.reset();
        m_port->setInBufferCount(0);
        return;
    }
    if (!protocol::replyComplete(bytes, m_lingering->request.shape))
        return;
    const Entry entry = std::move(*m_lingering);
    m_lingering.reset();
    m_port->setInBufferCount(0);
    resetWatchdog();
    Q_EMIT replyTaken(Reply{bytes, entry.request});
    Exchange exchange;
    exchange.request = entry.request;
    exchange.reply = protocol::judgeReply(bytes, entry.request.shape);
    exchange.late = true;
    deliver(entry, exchange);
    startNext();
}

void RequestCore::onReceiveEvent()
{
    if (m_phase != Phase::Idle || m_lingering || m_port->CommEvent() != port::MSComm::comEvReceive)
        return;
    // Nobody asked for these: they are shown for what they are and used by no one.
    m_port->setInputLen(0);
    const QByteArray bytes = m_port->Input();
    m_port->setInBufferCount(0);
    if (bytes.isEmpty())
        return;
    qCDebug(lcFrames, "bytes for no request:%s", qPrintable(protocol::replyDump(bytes)));
    Q_EMIT replyTaken(Reply{bytes, Request{}});
    Q_EMIT strayBytes(bytes);
}

void RequestCore::onDeadline()
{
    if (m_phase != Phase::Awaiting)
        return;
    releaseInput(); // may complete the reply at once
    if (m_phase == Phase::Awaiting)
        finishCurrent();
}

void RequestCore::finishCurrent()
{
    m_deadline.stop();
    m_silence.stop();
    releaseInput();
    if (m_phase != Phase::Awaiting)
        return; // the released bytes finished it already
    m_phase = Phase::Idle;
    m_port->setInputLen(0);
    int echoBytes = 0;
    const QByteArray bytes = replyPart(m_port->Input(), &echoBytes);
    m_port->setInBufferCount(0); // anything beyond the reply is discarded
    const Request& request = m_current->request;
    Exchange exchange;
    exchange.echoBytes = echoBytes;
    if (!bytes.isEmpty()) {
        exchange.replyMs = int(m_sinceWrite.elapsed());
        resetWatchdog();
        qCDebug(lcFrames, "reply for mode %d:%s", request.context.kind, qPrintable(protocol::replyDump(bytes)));
        Q_EMIT replyTaken(Reply{bytes, request});
    }
    exchange.request = request;
    exchange.reply = protocol::judgeReply(bytes, request.shape);
    if (exchange.reply.status == protocol::ReplyStatus::CutShort && !request.cutShortUsable)
        exchange.reply = {protocol::ReplyStatus::CrcError, bytes, 0}; // it cannot be checked
    endCurrent(exchange);
}

RequestCore::Entry RequestCore::takeCurrent()
{
    m_phase = Phase::Idle;
    m_quietTimer.stop();
    m_deadline.stop();
    m_silence.stop();
    releaseInput();
    Entry entry = std::move(*m_current);
    m_current.reset();
    m_sinceExchange.start();
    return entry;
}

void RequestCore::endCurrent(Exchange exchange)
{
    const Entry entry = takeCurrent();
    if (exchange.ending == Exchange::Ending::Answered && exchange.reply.status == protocol::ReplyStatus::NoReply &&
        entry.request.lateReplyTaken && !entry.cancelled)
        m_lingering = entry;
    if (!entry.cancelled)
        deliver(entry, exchange);
    startNext();
}

void RequestCore::deliver(const Entry& entry, const Exchange& exchange)
{
    ++m_delivering;
    Q_EMIT exchangeEnded(exchange);
    if (entry.receiver && entry.done)
        entry.done(exchange);
    --m_delivering;
}

void RequestCore::abortAll()
{
    m_lingering.reset();
    resetWatchdog();
    std::deque<Entry> waiting;
    waiting.swap(m_queue);
    const auto cancelled = [](const Entry& entry) {
        Exchange exchange;
        exchange.request = entry.request;
        exchange.ending = Exchange::Ending::Cancelled;
        return exchange;
    };
    if (m_current) {
        const Entry entry = takeCurrent();
        if (!entry.cancelled)
            deliver(entry, cancelled(entry));
    }
    for (const Entry& entry : waiting)
        deliver(entry, cancelled(entry));
    startNext(); // whatever the senders queued meanwhile finds the port closed
}

void RequestCore::noteRequestSent()
{
    // The clock runs from the oldest request still unanswered, so a loop that
    // keeps sending cannot hide a module that stopped answering.
    if (!m_awaitingReply) {
        m_awaitingReply = true;
        m_watchdog.start();
    }
}

void RequestCore::resetWatchdog()
{
    m_awaitingReply = false;
    m_overdue = false;
    m_watchdog.stop();
}

} // namespace requests
