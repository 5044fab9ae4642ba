#pragma once
// The request core: the one road every request travels between the program and
// the line. One request is on the line at a time; the others wait their turn in
// a bounded first-in-first-out queue. Each request goes through the same small
// state machine: wait for its turn (and, where it asks, for a quiet line), write
// its frame, then wait for its reply or its deadline, whichever comes first;
// the reply is judged against the request (protocol::judgeReply) before anyone
// sees it, and the sender is told what became of its request. Every wait is a
// timer or a signal; nothing here runs a nested event loop, so a dialog, a
// click or a closing window never holds the line or ends a wait early.
//
// No widgets: a program without windows uses it as the window does.

#include "line_tuning.h"
#include "request.h"

#include "port/mscomm.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

namespace requests {

// The quiet-line rule, `sinceLastByteUs` after the last byte arrived and
// `waitedUs` into the wait: 0 when the line has been quiet for `gapUs`, -1 when
// the deadline passed first, otherwise how long to wait (µs) before looking again.
qint64 quietLineWaitUs(qint64 sinceLastByteUs, qint64 waitedUs, qint64 gapUs, qint64 deadlineUs);

// What became of a request.
struct Exchange
{
    enum class Ending {
        Answered,   // its reply came, or its deadline passed (reply.status NoReply)
        Cancelled,  // the port closed (or was lost) before its reply came
        NotWritten, // the port refused its frame: nothing went out
    };
    Request request;
    protocol::JudgedReply reply;
    Ending ending = Ending::Answered;
    bool late = false;  // a reply that came after the deadline, before any other request went out
    QString writeError; // NotWritten: the device's own words
    int echoBytes = 0;  // the request's own bytes handed back before the reply (LineTuning::echo)
    int replyMs = -1;   // from the write to the reply being taken; -1: nothing came
};

class RequestCore : public QObject
{
    Q_OBJECT
public:
    // A request unanswered this long is reported overdue.
    static constexpr int NoReplyTimeoutMs = 3000;
    // Requests that may wait for the line at once.
    static constexpr int DefaultQueueBound = 32;

    enum class Submitted {
        Queued,     // on the line, or waiting its turn
        PortClosed, // nothing queued: the port is not open
        QueueFull,  // nothing queued: queueBound() requests wait already
    };
    // Told what became of a request. Called once when its exchange ends, and
    // once more for each late reply (Exchange::late).
    using Done = std::function<void(const Exchange& exchange)>;

    // How long a command (a request without a deadline of its own) waits for its
    // reply: NoReplyTimeoutMs, or longer where the line needs longer for the
    // request and its reply at `baud`.
    static int commandDeadlineMs(const Request& request, int baud);

    explicit RequestCore(port::MSComm* port, QObject* parent = nullptr);
    ~RequestCore() override;

    port::MSComm* port() const { return m_port.data(); }

    // How the line is driven from the next request on: the reply time-out of
    // commands and of the watchdog, the pause between requests, the echo.
    void setLineTuning(const LineTuning& tuning);
    const LineTuning& lineTuning() const { return m_tuning; }
    // How long a request goes unanswered before it is overdue: NoReplyTimeoutMs,
    // or the reply time-out where that is longer.
    int overdueAfterMs() const;

    // Puts `request` in line. `done` runs (in this object's thread) as long as
    // `receiver` lives; `starting`, when given, runs as the request's turn comes,
    // before its quiet wait and its frame.
    Submitted submit(const Request& request, QObject* receiver, Done done, std::function<void()> starting = {});

    // `receiver` wants nothing more of its requests: the waiting ones leave the
    // queue and nothing of the one on the line is delivered. That one still has
    // the line until its reply or its deadline, so that its reply cannot collide
    // with the next request on the bus. Nobody is told.
    void cancel(QObject* receiver);

    void setQueueBound(int bound) { m_queueBound = qMax(1, bound); }
    int queueBound() const { return m_queueBound; }
    // Requests waiting for their turn (the one on the line not counted).
    int waiting() const { return int(m_queue.size()); }
    // No request on the line and none waiting.
    bool idle() const { return !m_current && m_queue.empty(); }

    // The oldest unanswered request went overdueAfterMs() without a reply.
    bool isOverdue() const { return m_overdue; }
    // Milliseconds until an unanswered request counts as overdue (-1: none waiting).
    int watchdogRemainingMs() const { return m_watchdog.remainingTime(); }

Q_SIGNALS:
    // A request's frame went out on the line.
    void requestWritten(const requests::Request& request);
    // Bytes were taken from the line as the reply to their request.
    void replyTaken(const requests::Reply& reply);
    // A request's exchange ended (before its sender is told), or a late reply came.
    void exchangeEnded(const requests::Exchange& exchange);
    // The port raised its receive event while no request was on the line and
    // none awaited a late reply: the bytes were taken and belong to nobody.
    void strayBytes(const QByteArray& bytes);
    // A request went overdueAfterMs() without a reply.
    void overdue();
    // The line has nothing on it and nothing waiting.
    void becameIdle();

private:
    enum class Phase {
        Idle,     // nothing on the line
        Quiet,    // the request's turn: waiting for the pause and a quiet line before it goes out
        Awaiting, // written: waiting for its reply or its deadline
    };
    struct Entry
    {
        Request request;
        QPointer<QObject> receiver;
        Done done;
        std::function<void()> starting;
        bool cancelled = false; // its receiver gave it up: nothing is delivered
    };

    void startNext();
    void checkQuietLine();
    void writeCurrent();
    void onBytesArrived();
    void onReceiveEvent();
    void onDeadline();
    // Takes what came for the request on the line, judges it and tells its sender.
    void finishCurrent();
    // The request on the line leaves it: its timers stop and the input is released.
    Entry takeCurrent();
    void endCurrent(Exchange exchange);
    void deliver(const Entry& entry, const Exchange& exchange);
    void abortAll();
    void releaseInput();
    void noteRequestSent();
    void resetWatchdog();

    QPointer<port::MSComm> m_port; // may go before the core (both children of one window)
    int m_queueBound = DefaultQueueBound;
    std::deque<Entry> m_queue;
    std::optional<Entry> m_current;
    std::optional<Entry> m_lingering; // awaits a late reply until the next request goes out
    Phase m_phase = Phase::Idle;
    int m_delivering = 0; // senders being told: a request they submit waits for them to finish
    // The request on the line without the echo of its own bytes, if the line echoes them.
    QByteArray replyPart(const QByteArray& received, int* echoBytes = nullptr) const;

    LineTuning m_tuning;
    QElapsedTimer m_sinceExchange; // since the last exchange ended: the pause between requests
    QElapsedTimer m_sinceWrite;
    QElapsedTimer m_quietClock;
    QTimer m_quietTimer;
    QTimer m_deadline;
    QTimer m_holdTimer;
    QTimer m_silence; // bytes stopped coming: a reply that is no whole one has ended
    bool m_inputHeld = false;
    QTimer m_watchdog;
    bool m_awaitingReply = false;
    bool m_overdue = false;
};

} // namespace requests
