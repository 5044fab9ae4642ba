#pragma once
// How one destination of the alarms' delivery fares: what the page and the
// reader say about it.

#include <QString>

namespace notify {

// One destination's figures; every event given to it is delivered, waiting or dropped.
struct DestinationStatus
{
    enum class State {
        Idle,     // nothing waiting, or sending
        Retrying, // the last attempt failed (lastError); the next waits its turn
        Failed,   // refused for good (lastError): no further attempt
    };
    QString name;            // "邮件 smtp://host:port", "webhook URL"
    State state = State::Idle;
    QString lastError;       // the last failed attempt's reason (libcurl's words)
    qint64 delivered = 0;    // events the destination took
    qint64 failedAttempts = 0;
    qint64 waiting = 0;      // events not yet taken (gathered for the next e-mail included)
    qint64 dropped = 0;      // events given up: beyond the queue's bound
};

} // namespace notify
