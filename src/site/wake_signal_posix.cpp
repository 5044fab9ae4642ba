// The wake-up as a pipe of the thread's own, polled together with the connection's socket.

#include "wake_signal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace site {

namespace {

bool makeNonBlocking(int fd)
{
    return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

struct WakeSignal::Parts
{
    int read = -1;
    int write = -1;
    int openError = 0;
    std::atomic<bool> pending{false}; // a byte is in the pipe: one is enough
};

WakeSignal::WakeSignal() : m_parts(std::make_unique<Parts>())
{
    int ends[2];
    if (::pipe(ends) != 0) {
        m_parts->openError = errno;
        return;
    }
    m_parts->read = ends[0];
    m_parts->write = ends[1];
    if (!makeNonBlocking(ends[0]) || !makeNonBlocking(ends[1]))
        m_parts->openError = errno;
}

WakeSignal::~WakeSignal()
{
    for (const int fd : {m_parts->read, m_parts->write}) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString WakeSignal::problem() const
{
    return m_parts->openError != 0 ? qt_error_string(m_parts->openError) : QString();
}

void WakeSignal::wake()
{
    if (!m_parts->pending.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_parts->write, &byte, 1);
    }
}

bool WakeSignal::wait(int socket, bool wantWrite, int timeoutMs, Ready& ready)
{
    pollfd fds[2] = {{m_parts->read, POLLIN, 0}, {socket, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    ready = Ready();
    const int count = ::poll(fds, socket >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (count < 0)
        return errno == EINTR;
    if (fds[0].revents & POLLIN) {
        // Cleared first: a wake() from now on writes again rather than being lost.
        m_parts->pending = false;
        char bytes[16];
        while (::read(m_parts->read, bytes, sizeof bytes) > 0) {
        }
    }
    ready.readable = fds[1].revents & (POLLIN | POLLHUP | POLLERR);
    ready.writable = fds[1].revents & POLLOUT;
    return true;
}

void WakeSignal::keepBrokenPipesFromEndingTheProgram()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

} // namespace site
