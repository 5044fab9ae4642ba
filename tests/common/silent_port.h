#pragma once
// A TCP port on 127.0.0.1 that never answers: for waits that must end by a
// time-out of their own (POSIX sockets).

#include <QtGlobal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A port on 127.0.0.1 that never says a word: a broker that takes the
// connection and then hangs or, with its backlog full, a host that never
// completes a connection (Linux drops the SYNs, as a black-holed address does).
class SilentPort
{
public:
    explicit SilentPort(bool completesConnections)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, completesConnections ? 16 : 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        // A backlog of 0 holds one connection: this one fills it.
        if (!completesConnections &&
            ::connect(m_filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            m_port = 0;
    }
    ~SilentPort()
    {
        for (const int fd : {m_taken, m_filler, m_listener})
            ::close(fd);
    }
    quint16 port() const { return m_port; } // 0 when it could not be made
    // Makes room in a full backlog: the next SYN sent again completes its connection (and no more).
    void admitOne() { m_taken = ::accept(m_listener, nullptr, nullptr); }

private:
    const int m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
    int m_taken = -1;
    quint16 m_port = 0;
};
