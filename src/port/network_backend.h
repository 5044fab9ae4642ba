#pragma once
// A line reached over the network (tcp:// or mbap://, see line_address.h), over
// QTcpSocket. Open connects in the background: opened() or openFailed() follows,
// openFailed after at most kConnectTimeoutMs. A connection that ends while open
// is a lost device. Over mbap:// each frame goes out behind an MBAP header and
// only the reply to the request sent last comes back, in the line's form.

#include "line_address.h"
#include "serial_backend.h"
#include "protocol/mbap.h"

#include <QTcpSocket>
#include <QTimer>

namespace port {

class NetworkBackend : public SerialBackend
{
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 3000;

    explicit NetworkBackend(QObject* parent = nullptr);
    ~NetworkBackend() override;

    // `systemName` is the address text; `baud` means nothing on the network.
    OpenFailure open(const QString& systemName, int baud) override;
    bool openPending() const override { return m_state == State::Connecting; }
    void close() override;
    bool isOpen() const override { return m_state != State::Closed; }
    void setBaudRate(int) override {}
    QByteArray readAll() override;
    bool write(const QByteArray& bytes) override;
    void clearInput() override;
    void clearOutput() override {} // what the socket took is as good as sent
    void setInputHeld(bool held) override;
    QString errorText() const override { return m_errorText; }

    // Gateway replies dropped (unknown transaction, broken header) since the backend was made.
    int droppedReplies() const { return m_mbap.dropped(); }

private:
    enum class State { Closed, Connecting, Connected };
    void onConnected();
    void onSocketReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void failOpen(OpenFailure failure);
    bool hasInput() const;

    QTcpSocket m_socket;
    QTimer m_connectTimer;
    LineAddress m_address;
    protocol::MbapClient m_mbap;
    QByteArray m_replies; // gateway replies in the line's form, not yet read
    State m_state = State::Closed;
    QString m_errorText;
    bool m_inputHeld = false;
    int m_attempt = 0; // which open a deferred report belongs to
};

} // namespace port
