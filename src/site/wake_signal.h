#pragma once
// What the publisher's network thread waits on: its connection's socket and a
// wake-up that any thread may give (a message queued, stop() called), so that
// the thread never sleeps through either. On Unix the socket and a pipe are
// polled together (wake_signal_posix.cpp); elsewhere a condition variable
// stands in, which looks at the socket every SocketCheckMs
// (wake_signal_portable.cpp).

#include <QString>
#include <memory>

namespace site {

class WakeSignal
{
public:
    // The portable stand-in's look at the socket while nothing wakes it.
    static constexpr int SocketCheckMs = 50;

    struct Ready
    {
        bool readable = false; // data, the peer's close, or an error to read
        bool writable = false;
    };

    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Why it cannot be used; empty when it can.
    QString problem() const;

    // From any thread: the wait in progress, or the next one, returns at once.
    void wake();

    // Waits until `socket` is readable (or writable, when `wantWrite`), wake()
    // was called, or `timeoutMs` passed (negative: no limit). A negative socket
    // waits for the wake-up alone. False when the wait itself failed, with errno.
    bool wait(int socket, bool wantWrite, int timeoutMs, Ready& ready);

    // In the calling thread: a write to a connection the peer has closed fails
    // instead of ending the program (SIGPIPE, where there is one).
    static void keepBrokenPipesFromEndingTheProgram();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

} // namespace site
