#include "network_backend.h"

#include "protocol/frame_log.h"

namespace port {

NetworkBackend::NetworkBackend(QObject* parent) : SerialBackend(parent), m_socket(this)
{
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(kConnectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_errorText = QStringLiteral("no connection within %1 ms").arg(kConnectTimeoutMs);
        failOpen(OpenFailure::TimedOut);
    });
    connect(&m_socket, &QTcpSocket::connected, this, &NetworkBackend::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkBackend::onSocketReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkBackend::onSocketError);
}

NetworkBackend::~NetworkBackend()
{
    // Closing must not report a loss to whoever listens while we go away.
    m_socket.disconnect(this);
    m_socket.abort();
}

OpenFailure NetworkBackend::open(const QString& systemName, int)
{
    close();
    const std::optional<LineAddress> address = parseLineAddress(systemName, &m_errorText);
    if (!address)
        return OpenFailure::Other;
    m_errorText.clear();
    m_address = *address;
    m_mbap.reset();
    m_replies.clear();
    ++m_attempt;
    m_state = State::Connecting;
    m_connectTimer.start();
    m_socket.connectToHost(m_address.host, m_address.port);
    return OpenFailure::None;
}

void NetworkBackend::close()
{
    ++m_attempt; // a failure reported later belongs to no open any more
    m_connectTimer.stop();
    m_state = State::Closed;
    m_socket.abort();
    m_replies.clear();
}

void NetworkBackend::onConnected()
{
    m_connectTimer.stop();
    m_state = State::Connected;
    // Frames are small and each is awaited: send them at once.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Q_EMIT opened();
}

void NetworkBackend::failOpen(OpenFailure failure)
{
    close();
    // Told from the event loop, never inside open(): the caller learns of the
    // pending open before it hears how it ended.
    QTimer::singleShot(0, this, [this, failure, attempt = m_attempt] {
        if (attempt == m_attempt)
            Q_EMIT openFailed(failure);
    });
}

void NetworkBackend::onSocketError(QAbstractSocket::SocketError error)
{
    m_errorText = m_socket.errorString();
    if (m_state == State::Connecting) {
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            failOpen(OpenFailure::Refused);
            return;
        case QAbstractSocket::HostNotFoundError:
            failOpen(OpenFailure::HostNotFound);
            return;
        case QAbstractSocket::NetworkError:
            failOpen(OpenFailure::Unreachable);
            return;
        case QAbstractSocket::SocketTimeoutError:
            failOpen(OpenFailure::TimedOut);
            return;
        default:
            failOpen(OpenFailure::Other);
            return;
        }
    }
    if (m_state != State::Connected)
        return;
    // The far end closed or the network failed: like an unplugged adapter.
    close();
    Q_EMIT deviceLost();
}

void NetworkBackend::onSocketReadyRead()
{
    if (m_address.framing == LineAddress::Mbap) {
        const int droppedBefore = m_mbap.dropped();
        m_replies += m_mbap.takeReplies(m_socket.readAll()).join();
        if (m_mbap.dropped() > droppedBefore)
            qCWarning(lcFrames) << "MBAP: dropped" << m_mbap.dropped() - droppedBefore
                                << "reply(ies) with an unknown transaction or a broken header";
    }
    if (!m_inputHeld && hasInput())
        Q_EMIT readyRead();
}

bool NetworkBackend::hasInput() const
{
    return m_address.framing == LineAddress::Mbap ? !m_replies.isEmpty() : m_socket.bytesAvailable() > 0;
}

QByteArray NetworkBackend::readAll()
{
    if (m_address.framing == LineAddress::RawTcp)
        return m_socket.readAll();
    QByteArray bytes;
    bytes.swap(m_replies);
    return bytes;
}

bool NetworkBackend::write(const QByteArray& bytes)
{
    if (m_state == State::Closed)
        return false;
    // While connecting the socket keeps the bytes and sends them once connected.
    const QByteArray out = m_address.framing == LineAddress::Mbap ? m_mbap.request(bytes) : bytes;
    if (out.isEmpty()) {
        m_errorText = QStringLiteral("frame too short for an MBAP request");
        return false;
    }
    if (m_socket.write(out) == out.size())
        return true;
    m_errorText = m_socket.errorString();
    return false;
}

void NetworkBackend::clearInput()
{
    // A gateway's frames are still taken apart, so a frame half in stays in step.
    if (m_address.framing == LineAddress::Mbap)
        m_mbap.takeReplies(m_socket.readAll());
    else
        m_socket.readAll();
    m_replies.clear();
}

void NetworkBackend::setInputHeld(bool held)
{
    m_inputHeld = held;
    if (!held && hasInput())
        Q_EMIT readyRead();
}

} // namespace port
