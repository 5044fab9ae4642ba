#include "request_core.h"

#include "protocol/frame_log.h"
#include "protocol/hex_text.h"
#include "protocol/line_timing.h"
#include "protocol/module1.h"

#include <QElapsedTimer>
#include <algorithm>

namespace requests {

qint64 quietLineWaitUs(qint64 sinceLastByteUs, qint64 waitedUs, qint64 gapUs, qint64 deadlineUs)
{
    if (sinceLastByteUs >= gapUs)
        return 0;
    if (waitedUs >= deadlineUs)
        return -1;
    return std::min(gapUs - sinceLastByteUs, deadlineUs - waitedUs);
}

class RequestCore::LineWait
{
public:
    LineWait(RequestCore* core, Waiting waiting) : m_core(core), m_before(core->m_waiting)
    {
        m_core->m_waiting = waiting;
    }
    ~LineWait()
    {
        m_core->m_waiting = m_before;
        if (m_before == Waiting::None)
            Q_EMIT m_core->lineFree();
    }
    LineWait(const LineWait&) = delete;
    LineWait& operator=(const LineWait&) = delete;

private:
    RequestCore* m_core;
    Waiting m_before;
};

RequestCore::RequestCore(port::MSComm* port, QObject* parent) : QObject(parent), m_port(port)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(NoReplyTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        if (!m_awaitingReply)
            return;
        m_overdue = true;
        Q_EMIT overdue();
    });
    connect(m_port, &port::MSComm::OnComm, this, &RequestCore::onComm);
    // A vanished device answers nothing: no request is awaited any more.
    connect(m_port, &port::MSComm::connectionLost, this, &RequestCore::resetWatchdog);
}

void RequestCore::setHandler(int kind, Handler handler)
{
    m_handlers[kind] = std::move(handler);
}

RequestCore::SendResult RequestCore::send(const Request& request)
{
    if (lineBusy())
        return SendResult::LineBusy;
    m_port->setInBufferCount(0); // whatever came before belongs to no request now
    m_port->setInputLen(0);
    m_port->setInputMode(port::MSComm::comInputModeBinary);
    m_pending = request;
    m_port->setRThreshold(request.threshold);
    if (!m_port->PortOpen())
        return SendResult::PortClosed;
    m_port->Output(request.frame);
    m_sentAt.start();
    noteRequestSent();
    Q_EMIT requestWritten(m_pending);
    return SendResult::Sent;
}

bool RequestCore::waitForReply(int milliseconds)
{
    const LineWait wait(this, Waiting::ForHandledReply);
    const int handledBefore = m_repliesHandled;
    const int held = holdInputWhileReplyCannotBeWhole(milliseconds);
    return Module1::WaitUntil(milliseconds - held, this, &RequestCore::replyHandled,
                              [&] { return m_repliesHandled != handledBefore; });
}

QByteArray RequestCore::takeReply(int deadlineMs, const std::function<bool(const QByteArray&)>& whole)
{
    const LineWait wait(this, Waiting::ForTakenReply);
    const int held = holdInputWhileReplyCannotBeWhole(deadlineMs);
    Module1::WaitUntil(deadlineMs - held, m_port, &port::MSComm::bytesArrived,
                       [&] { return whole(m_port->peekInput()); });
    m_port->setInputLen(0);
    const QByteArray bytes = m_port->Input();
    if (!bytes.isEmpty()) {
        noteReplyArrived();
        Q_EMIT replyTaken(Reply{bytes, m_pending});
    }
    return bytes;
}

bool RequestCore::waitForQuietLine(int gapUs, int deadlineMs)
{
    const LineWait wait(this, Waiting::ForQuietLine);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const qint64 waitUs = quietLineWaitUs(m_port->usSinceLastByte(), waited.nsecsElapsed() / 1000, gapUs,
                                              qint64(deadlineMs) * 1000);
        if (waitUs <= 0)
            return waitUs == 0;
        // Ends at the next byte (the silence starts again) or when the silence is due.
        Module1::WaitForSignal(int((waitUs + 999) / 1000), m_port, &port::MSComm::bytesArrived);
    }
}

int RequestCore::holdInputWhileReplyCannotBeWhole(int deadlineMs)
{
    if (!m_sentAt.isValid())
        return 0;
    const qint64 lineMs =
        protocol::lineTimeMs(int(m_pending.frame.size()) + m_pending.replyLength, m_port->baudRate());
    const int holdMs = int(std::min<qint64>(lineMs - m_sentAt.elapsed(), deadlineMs));
    if (holdMs <= 0)
        return 0;
    m_port->setInputHeld(true);
    Module1::WaitMilliseconds(holdMs);
    m_port->setInputHeld(false);
    return holdMs;
}

void RequestCore::discardInput()
{
    m_port->setInBufferCount(0);
}

void RequestCore::onComm()
{
    if (m_port->CommEvent() != port::MSComm::comEvReceive)
        return;
    if (m_waiting == Waiting::ForTakenReply)
        return; // its sender takes these bytes itself
    // A handler never sees fewer bytes than its request waits for, even when a
    // reopened port has lowered the port's threshold since.
    if (m_port->InBufferCount() < m_pending.threshold)
        return;
    m_port->setInputLen(m_pending.replyLength);
    const Reply reply{m_port->Input(), m_pending};
    m_port->setInBufferCount(0); // anything beyond the expected length is discarded
    if (!reply.bytes.isEmpty()) {
        noteReplyArrived();
        Q_EMIT replyTaken(reply);
    }
    qCDebug(lcFrames, "reply for mode %d:%s", m_pending.context.kind,
            qPrintable(protocol::replyDump(reply.bytes)));
    Q_EMIT replyArrived(reply);

    bool finished = true;
    const auto handler = m_handlers.find(reply.request.context.kind);
    if (handler != m_handlers.end())
        finished = handler->second(reply);
    ++m_repliesHandled;
    Q_EMIT replyHandled(reply, finished);
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

void RequestCore::noteReplyArrived()
{
    resetWatchdog();
}

void RequestCore::resetWatchdog()
{
    m_awaitingReply = false;
    m_overdue = false;
    m_watchdog.stop();
}

} // namespace requests
