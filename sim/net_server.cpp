#include "net_server.h"

#include "protocol/mbap.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace sim {

namespace {
// A request the network cuts into parts arrives with gaps no serial line has;
// only a long silence ends a part frame.
constexpr qint64 kNetworkSilenceMicros = 200'000;

qint64 monotonicMicros()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed() / 1000;
}
} // namespace

NetServer::NetServer(Framing framing, Answer answer, QObject* parent)
    : QObject(parent), m_framing(framing), m_answer(std::move(answer))
{
    connect(&m_server, &QTcpServer::newConnection, this, &NetServer::onNewConnection);
}

NetServer::~NetServer()
{
    for (QTcpSocket* socket : m_clients.keys())
        socket->disconnect(this);
}

bool NetServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (m_server.listen(address, port))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

void NetServer::dropConnections()
{
    const QList<QTcpSocket*> sockets = m_clients.keys();
    m_clients.clear();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void NetServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        Client& client = m_clients[socket];
        client.splitter.setSilenceGapMicros(kNetworkSilenceMicros);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_clients.remove(socket);
            socket->deleteLater();
        });
        emit clientConnected();
    }
}

void NetServer::onReadyRead(QTcpSocket* socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    bool broken = false;
    const QByteArray replies = answerFrames(*it, socket->readAll(), &broken);
    if (!replies.isEmpty())
        socket->write(replies);
    if (broken)
        socket->disconnectFromHost();
}

QByteArray NetServer::answerFrames(Client& client, const QByteArray& bytes, bool* broken)
{
    QByteArray out;
    if (m_framing == RawTcp) {
        for (const QByteArray& frame : client.splitter.push(bytes, monotonicMicros()))
            out += m_answer(frame);
        return out;
    }
    client.stream += bytes;
    for (;;) {
        const protocol::MbapTake take = protocol::takeMbapFrame(client.stream);
        if (take.status == protocol::MbapTake::NeedMore)
            break;
        client.stream.remove(0, take.used);
        if (take.status == protocol::MbapTake::Broken) {
            *broken = true;
            break;
        }
        const QByteArray reply = m_answer(take.rtu);
        if (!reply.isEmpty())
            out += protocol::mbapFromRtu(reply, take.transactionId);
    }
    return out;
}

} // namespace sim
