// The port over a network line: a QTcpServer in the test plays the serial
// device server (tcp://) or the Modbus TCP gateway (mbap://).

#include "port/line_backend.h"
#include "port/mscomm.h"
#include "port/port_messages.h"
#include "protocol/crc16.h"

#include "../common/silent_port.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using port::MSComm;
using protocol::appendCrc;

static QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

namespace {
const QByteArray kRequest = hex("02 03 04 01 00 02 94 C8");

struct Line
{
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    MSComm comm{std::make_unique<port::LineBackend>()};

    // Opens `scheme`://127.0.0.1:<server port> and waits for both ends.
    bool connect(const QString& scheme)
    {
        if (!server.listen(QHostAddress::LocalHost))
            return false;
        comm.setLineAddress(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(server.serverPort()));
        QSignalSpy opened(&comm, &MSComm::opened);
        if (!comm.setPortOpen(true) || !comm.openPending())
            return false;
        if (!opened.wait(5000))
            return false;
        if (!server.hasPendingConnections() && !server.waitForNewConnection(5000))
            return false;
        peer = server.nextPendingConnection();
        return peer != nullptr;
    }
    QByteArray receivedByPeer(int count)
    {
        (void)QTest::qWaitFor([&] { return peer->bytesAvailable() >= count; }, 5000);
        return peer->readAll();
    }
};
} // namespace

class TestNetworkLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each request behind an MBAP header; only the awaited reply comes back, in the line's form.
    void gatewayReplies_data()
    {
        QTest::addColumn<QByteArray>("gatewaySends"); // the request went out as transaction 1
        QTest::addColumn<QByteArray>("delivered");
        QTest::addColumn<int>("dropped");
        QTest::newRow("temperatures") << hex("00 01 00 00 00 07 02 03 04 01 2C FF 38")
                                      << appendCrc(hex("02 03 04 01 2C FF 38")) << 0;
        QTest::newRow("exception") << hex("00 01 00 00 00 03 02 83 02") << appendCrc(hex("02 83 02")) << 0;
        QTest::newRow("unknown transaction, then the reply")
            << hex("00 07 00 00 00 03 02 83 02 00 01 00 00 00 03 02 83 03") << appendCrc(hex("02 83 03")) << 1;
        QTest::newRow("protocol id 1") << hex("00 01 00 01 00 03 02 83 02") << QByteArray() << 1;
    }
    void gatewayReplies()
    {
        QFETCH(QByteArray, gatewaySends);
        QFETCH(QByteArray, delivered);
        QFETCH(int, dropped);
        Line line;
        QVERIFY(line.connect(QStringLiteral("mbap")));
        QVERIFY(line.comm.Output(kRequest));
        QCOMPARE(line.receivedByPeer(12).toHex(' '), hex("00 01 00 00 00 06 02 03 04 01 00 02").toHex(' '));
        line.peer->write(gatewaySends);
        const auto* network = static_cast<port::LineBackend*>(line.comm.backend())->network();
        QVERIFY(network);
        QTRY_COMPARE(network->droppedReplies(), dropped);
        if (!delivered.isEmpty())
            QTRY_COMPARE(line.comm.peekInput().toHex(' '), delivered.toHex(' '));
        // Nothing else arrives behind what was delivered (or instead of nothing).
        line.peer->write(hex("00 63 00 00 00 03 02 83 02"));
        QTRY_COMPARE(network->droppedReplies(), dropped + 1);
        QCOMPARE(line.comm.peekInput().toHex(' '), delivered.toHex(' '));
    }

    void refusedConnectionIsAnOpenFailure()
    {
        quint16 freePort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            freePort = probe.serverPort();
        }
        MSComm comm(std::make_unique<port::LineBackend>());
        comm.setLineAddress(QStringLiteral("tcp://127.0.0.1:%1").arg(freePort));
        QSignalSpy failed(&comm, &MSComm::openFailed);
        QSignalSpy lost(&comm, &MSComm::connectionLost);
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(failed.wait(5000));
        QVERIFY(!comm.PortOpen());
        QVERIFY(!comm.openPending());
        QCOMPARE(comm.lastFailure(), port::OpenFailure::Refused);
        QCOMPARE(port::openFailureText(comm.lastFailure(), comm.lineName(), comm.systemName()),
                 QStringLiteral("无法连接到 tcp://127.0.0.1:%1（连接被拒绝）").arg(freePort));
        QCOMPARE(lost.count(), 0);
        QVERIFY(!comm.Output(kRequest));
    }

    // A host that never completes the connection: given up after the connect time-out.
    void connectionThatNeverCompletesTimesOut()
    {
        SilentPort silent(false);
        QVERIFY(silent.port() != 0);
        MSComm comm(std::make_unique<port::LineBackend>());
        comm.setLineAddress(QStringLiteral("mbap://127.0.0.1:%1").arg(silent.port()));
        QSignalSpy failed(&comm, &MSComm::openFailed);
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(failed.wait(port::NetworkBackend::kConnectTimeoutMs + 10000));
        QCOMPARE(comm.lastFailure(), port::OpenFailure::TimedOut);
        QVERIFY(!comm.PortOpen());
        QCOMPARE(port::openFailureText(comm.lastFailure(), comm.lineName()),
                 QStringLiteral("无法连接到 mbap://127.0.0.1:%1（连接超时）").arg(silent.port()));
    }

    void peerClosingIsALostLineThenItReopens()
    {
        Line line;
        QVERIFY(line.connect(QStringLiteral("tcp")));
        QSignalSpy lost(&line.comm, &MSComm::connectionLost);
        line.peer->close();
        QVERIFY(lost.wait(5000));
        QVERIFY(!line.comm.PortOpen());
        QTest::qWait(50);
        QCOMPARE(lost.count(), 1);
        // Opened again like an adapter plugged back in.
        QSignalSpy opened(&line.comm, &MSComm::opened);
        QVERIFY(line.comm.setPortOpen(true));
        QVERIFY(opened.wait(5000));
        QVERIFY(line.comm.PortOpen());
    }

    void framesWrittenWhileConnectingGoOutOnceConnected()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        MSComm comm(std::make_unique<port::LineBackend>());
        comm.setLineAddress(QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()));
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(comm.Output(kRequest));
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket* peer = server.nextPendingConnection();
        QTRY_COMPARE(peer->bytesAvailable(), qint64(kRequest.size()));
        QCOMPARE(peer->readAll(), kRequest);
    }
};

QTEST_GUILESS_MAIN(TestNetworkLine)
#include "test_network_line.moc"
