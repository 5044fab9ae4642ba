// The wake-up where there is no poll() over a socket and a pipe: a
// condition variable. The socket cannot be waited on with it, so it is taken
// as ready every SocketCheckMs; libmosquitto's socket is non-blocking, and a
// read or write that finds nothing to do returns at once.

#include "wake_signal.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace site {

struct WakeSignal::Parts
{
    std::mutex mutex;
    std::condition_variable changed;
    bool woken = false;
};

WakeSignal::WakeSignal() : m_parts(std::make_unique<Parts>()) {}

WakeSignal::~WakeSignal() = default;

QString WakeSignal::problem() const
{
    return QString();
}

void WakeSignal::wake()
{
    {
        std::lock_guard lock(m_parts->mutex);
        m_parts->woken = true;
    }
    m_parts->changed.notify_one();
}

bool WakeSignal::wait(int socket, bool wantWrite, int timeoutMs, Ready& ready)
{
    ready = Ready();
    std::unique_lock lock(m_parts->mutex);
    const auto woken = [this] { return m_parts->woken; };
    int waitMs = timeoutMs;
    if (socket >= 0)
        waitMs = timeoutMs < 0 ? SocketCheckMs : std::min(timeoutMs, SocketCheckMs);
    if (waitMs < 0)
        m_parts->changed.wait(lock, woken);
    else
        m_parts->changed.wait_for(lock, std::chrono::milliseconds(waitMs), woken);
    m_parts->woken = false;
    ready.readable = socket >= 0;
    ready.writable = socket >= 0 && wantWrite;
    return true;
}

void WakeSignal::keepBrokenPipesFromEndingTheProgram()
{
    // No SIGPIPE here: a write to a closed connection fails with an error.
}

} // namespace site
