#pragma once
// The request core: the one road every request travels between the program and
// the line. It keeps one request on the line at a time with the context its
// reply must be read with, writes it on the port, takes the reply (by the
// port's receive event, or for the sender that waits for it), hands it to the
// handler registered for the request's kind, and watches for replies that do
// not come. No widgets: a program without windows uses it as the window does.

#include "request.h"

#include "port/mscomm.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

namespace requests {

// The quiet-line rule, `sinceLastByteUs` after the last byte arrived and
// `waitedUs` into the wait: 0 when the line has been quiet for `gapUs`, -1 when
// the deadline passed first, otherwise how long to wait (µs) before looking again.
qint64 quietLineWaitUs(qint64 sinceLastByteUs, qint64 waitedUs, qint64 gapUs, qint64 deadlineUs);

class RequestCore : public QObject
{
    Q_OBJECT
public:
    // A request unanswered this long is reported overdue.
    static constexpr int NoReplyTimeoutMs = 3000;

    enum class SendResult {
        Sent,
        PortClosed, // nothing written; the request is still the one awaited
        LineBusy,   // a sender waits on the line for its own reply: nothing written, nothing changed
    };
    // Handles a reply taken by the receive event; false ends the event early
    // (the window then leaves its lamps as they are).
    using Handler = std::function<bool(const Reply& reply)>;

    explicit RequestCore(port::MSComm* port, QObject* parent = nullptr);

    port::MSComm* port() const { return m_port; }
    void setHandler(int kind, Handler handler);

    // Empties the input, arms the receive event for `request` and writes it.
    // The request replaces the one awaited before; a late reply to that one
    // would be read as this one's, as the line cannot tell them apart.
    SendResult send(const Request& request);

    // For a request whose reply the receive event takes: waits until that reply
    // was handled or `milliseconds` passed. Returns whether it was handled.
    bool waitForReply(int milliseconds);
    // For a request without a receive threshold: waits until `whole(bytes in)`
    // holds or `deadlineMs` passed, then takes every byte in. The receive event
    // leaves these bytes alone, even if a reopened port arms it meanwhile.
    QByteArray takeReply(int deadlineMs, const std::function<bool(const QByteArray& bytes)>& whole);
    // Waits until no byte has arrived for `gapUs` (a reply still coming in has
    // ended), or `deadlineMs` passed. Returns whether the line went quiet.
    bool waitForQuietLine(int gapUs, int deadlineMs);
    // Drops every byte received: what still arrives belongs to no request.
    void discardInput();

    // A sender waits on the line (for its reply or a quiet line); no other request may go out.
    bool lineBusy() const { return m_waiting != Waiting::None; }
    // A request went out and neither a reply nor NoReplyTimeoutMs have come since.
    bool replyAwaited() const { return m_awaitingReply && !m_overdue; }
    // The request last sent, whose reply is awaited; its kind is the CommandMode.
    const Request& pending() const { return m_pending; }

    // The oldest unanswered request went NoReplyTimeoutMs without a reply.
    bool isOverdue() const { return m_overdue; }
    // Milliseconds until an unanswered request counts as overdue (-1: none waiting).
    int watchdogRemainingMs() const { return m_watchdog.remainingTime(); }

Q_SIGNALS:
    // A request's frame went out on the line.
    void requestWritten(const requests::Request& request);
    // Bytes were taken from the line as the reply to their request, by the
    // receive event (before replyArrived) or by the sender that waited for them.
    void replyTaken(const requests::Reply& reply);
    // The receive event took a reply, before its handler runs.
    void replyArrived(const requests::Reply& reply);
    // After the handler ran; `finished` is false when it ended the event early.
    void replyHandled(const requests::Reply& reply, bool finished);
    // A request went NoReplyTimeoutMs without a reply.
    void overdue();
    // The sender that waited on the line is done: another request may go out.
    void lineFree();

private:
    enum class Waiting { None, ForHandledReply, ForTakenReply, ForQuietLine };
    class LineWait; // a sender's wait on the line, for as long as it lives

    void onComm();
    // Nothing awaited can be whole before the request and its full reply have
    // passed on the line; until then (at most `deadlineMs`) the port need not
    // wake the program for every byte. Returns the milliseconds waited.
    int holdInputWhileReplyCannotBeWhole(int deadlineMs);
    void noteRequestSent();
    void noteReplyArrived();
    void resetWatchdog();

    port::MSComm* m_port;
    std::map<int, Handler> m_handlers;
    Request m_pending;
    QElapsedTimer m_sentAt;
    Waiting m_waiting = Waiting::None;
    int m_repliesHandled = 0;
    QTimer m_watchdog;
    bool m_awaitingReply = false;
    bool m_overdue = false;
};

} // namespace requests
