#pragma once
// Serves the simulated module over TCP, as a serial device server passing the
// line's frames as they are (RawTcp) or as a Modbus TCP gateway (Mbap). Each
// request is answered at once by `answer` (the module; empty: it stays silent,
// and so does the server). A gateway frame with a broken header ends its connection.

#include "frame_splitter.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

namespace sim {

class NetServer : public QObject
{
    Q_OBJECT
public:
    enum Framing { RawTcp, Mbap };
    using Answer = std::function<QByteArray(const QByteArray& request)>;

    NetServer(Framing framing, Answer answer, QObject* parent = nullptr);
    ~NetServer() override;

    // Port 0 picks a free one; port() tells which.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }
    Framing framing() const { return m_framing; }
    int connectionCount() const { return int(m_clients.size()); }
    // Closes every connection, as a device server that restarts.
    void dropConnections();

signals:
    void clientConnected();

private:
    struct Client
    {
        FrameSplitter splitter;
        QByteArray stream; // gateway frames not yet whole
    };
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    QByteArray answerFrames(Client& client, const QByteArray& bytes, bool* broken);

    Framing m_framing;
    Answer m_answer;
    QTcpServer m_server;
    QHash<QTcpSocket*, Client> m_clients;
};

} // namespace sim
