// The window over network lines: the simulator's TCP and Modbus TCP servers,
// ser2net in front of its pseudo-terminal, and lines that cannot be reached or end.

#include "e2e_fixture.h"

#include "port/port_messages.h"
#include "sim/net_server.h"
#include "traffic/traffic_recorder.h"

#include "../common/local_tcp.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

namespace {



// Types `address` into the port list and presses 打开端口.
void openLine(MainWindow& w, const QString& address)
{
    w.Combo1->setEditText(address);
    w.cmdOpenComm->click();
}

// A pass over every channel; every value as the module holds it.
void readsEveryValue(EndToEnd& e)
{
    MainWindow& w = *e.window;
    w.readAllChannelsOnce();
    QVERIFY(lineSettles(w, 30000));
    for (int c = 1; c <= 10; ++c)
        QCOMPARE(e.cells(c, 40), e.expected(c, 40));
}

} // namespace

class TestEndToEndNetwork : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void simulatorServers_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<QString>("scheme");
        QTest::newRow("tcp") << int(sim::NetServer::RawTcp) << "tcp";
        QTest::newRow("mbap") << int(sim::NetServer::Mbap) << "mbap";
    }
    void simulatorServers()
    {
        QFETCH(int, framing);
        QFETCH(QString, scheme);
        EndToEnd e;
        QVERIFY(e.startModule());
        sim::NetServer server(sim::NetServer::Framing(framing),
                              [&e](const QByteArray& request) { return e.module->answer(request); });
        QVERIFY(server.listen(QHostAddress::LocalHost, 0, nullptr));
        MainWindow& w = e.openWindow();
        const QString address = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(server.port());
        openLine(w, address);
        QTRY_COMPARE(server.connectionCount(), 1);
        QCOMPARE(w.lblPortState->text(), QStringLiteral("已打开 ") + address);
        readsEveryValue(e);
        QCOMPARE(e.module->framesReceived().size(), 10);
        QVERIFY(e.boxes.isEmpty());
        // The traffic record names the framing that was on the wire, in the line's form.
        const traffic::TrafficRing& record = w.trafficRecorder()->record();
        QCOMPARE(record.at(record.size() - 1).framing, scheme.toUpper());
        QCOMPARE(record.at(record.size() - 1).bytes, e.module->repliesSent().constLast());

        // The far end goes away: the window says so as for an unplugged adapter;
        // 打开端口 connects again.
        server.dropConnections();
        QTRY_COMPARE(w.txtState->toPlainText(), port::connectionLostText());
        QCOMPARE(w.lblPortState->text(), QStringLiteral("未打开"));
        w.cmdOpenComm->click();
        QTRY_COMPARE(server.connectionCount(), 1);
        readsEveryValue(e);
        QVERIFY(e.boxes.isEmpty());
    }

    // 保存设置 keeps a network line in line.set, and the next start opens it in
    // place of comm.set's port; saving a serial port again makes that the line.
    void savedNetworkLineIsOpenedAtStart()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        sim::NetServer server(sim::NetServer::RawTcp,
                              [&e](const QByteArray& request) { return e.module->answer(request); });
        QVERIFY(server.listen(QHostAddress::LocalHost, 0, nullptr));
        const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(server.port());
        {
            MainWindow& w = e.openWindow();
            w.Combo1->setEditText(address);
            w.savePortSettings();
            QTRY_COMPARE(server.connectionCount(), 1);
            QCOMPARE(e.boxes.last().text, QStringLiteral("串口设置保存成功"));
        }
        QCOMPARE(e.readFile(QStringLiteral("comm.set")), QByteArray("4,9600\r\n"));
        e.window.reset();
        QTRY_COMPARE(server.connectionCount(), 0);

        MainWindow& again = e.openWindow();
        QTRY_COMPARE(server.connectionCount(), 1);
        QCOMPARE(again.lblPortState->text(), QStringLiteral("已打开 ") + address);
        readsEveryValue(e);

        again.Combo1->setCurrentIndex(again.Combo1->findText(QStringLiteral("COM4")));
        again.savePortSettings();
        QVERIFY(!e.readFile(QStringLiteral("line.set")).contains("address=tcp"));
        e.window.reset();
        MainWindow& serial = e.openWindow();
        QCOMPARE(serial.lblPortState->text(), QStringLiteral("已打开 COM4, 9600"));
    }

    void throughSer2net()
    {
        const QString ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin"});
        if (ser2net.isEmpty())
            QSKIP("ser2net is not installed (Debian package ser2net)");
        EndToEnd e;
        QVERIFY(e.startModule());
        const quint16 port = freePort();
        QVERIFY(port != 0);
        e.writeFile(QStringLiteral("ser2net.yaml"), QStringLiteral("connection: &line\n"
                                                                   "  accepter: tcp,127.0.0.1,%1\n"
                                                                   "  connector: serialdev,%2,9600n81,local\n")
                                                        .arg(port)
                                                        .arg(e.module->slavePath())
                                                        .toUtf8());
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(ser2net, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                               e.folder.filePath(QStringLiteral("ser2net.yaml")), QStringLiteral("-P"),
                               e.folder.filePath(QStringLiteral("ser2net.pid"))});
        const auto stop = qScopeGuard([&server] {
            server.terminate();
            if (!server.waitForFinished(5000))
                server.kill();
            server.waitForFinished(5000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        // Start-up opens COM4, the pseudo-terminal itself; choosing the network line closes it.
        MainWindow& w = e.openWindow();
        openLine(w, QStringLiteral("tcp://127.0.0.1:%1").arg(port));
        QTRY_VERIFY(w.MSComm1->PortOpen() && !w.MSComm1->openPending());
        readsEveryValue(e);
        QVERIFY(e.boxes.isEmpty());
    }

    // A line that cannot be reached, or whose address is malformed, is named in a message.
    void linesThatDoNotOpen_data()
    {
        QTest::addColumn<QString>("address"); // "@free": a port nothing listens on
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << "tcp://127.0.0.1:@free" << "无法连接到 tcp://127.0.0.1:@free（连接被拒绝）";
        QTest::newRow("port 0") << "mbap://127.0.0.1:0" << "地址 mbap://127.0.0.1:0 无法使用：端口号“0”应为 1 到 65535";
        QTest::newRow("no host") << "tcp://:502" << "地址 tcp://:502 无法使用：缺少主机名";
    }
    void linesThatDoNotOpen()
    {
        QFETCH(QString, address);
        QFETCH(QString, message);
        const QString port = QString::number(freePort());
        address.replace(QStringLiteral("@free"), port);
        message.replace(QStringLiteral("@free"), port);
        EndToEnd e;
        MainWindow& w = e.openWindow();
        e.boxes.clear();
        openLine(w, address);
        QTRY_COMPARE(e.boxes.size(), 1);
        QCOMPARE(e.boxes[0].text, message);
        QVERIFY(!w.MSComm1->PortOpen());
        QCOMPARE(w.lblPortState->text(), QStringLiteral("未打开"));
    }
};

QTEST_MAIN(TestEndToEndNetwork)
#include "test_e2e_network.moc"
