// The program's link over a real pseudo-terminal against the simulated module:
// single readings and every fault the line can throw at them, the no-reply
// warning, a vanishing device, and ports that cannot be opened.

#include "e2e_fixture.h"

#include "protocol/frames.h"

#include <QSerialPort>

namespace {
const QString Waiting = QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");

// One single-channel reading of channel 3, 40 positions.
void readChannel3(MainWindow& w)
{
    w.txtChannel->setText(QStringLiteral("3"));
    w.txtStartID->setText(QStringLiteral("1"));
    w.readChannelOnce();
    QVERIFY(lineSettles(w));
}
} // namespace

class TestEndToEndLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void singleReadingOverThePty()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        QVERIFY(w.MSComm1->PortOpen());
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
        QVERIFY(e.cellBlack(3, 39));
        QCOMPARE(e.frontLamp(), QStringLiteral("imgConnected"));
        QCOMPARE(e.module->framesReceived().size(), 1);
        QCOMPARE(e.module->framesReceived().constFirst(), protocol::temperatureRequest(1, 3, 3, 1, 40));
        QVERIFY(w.txtState->toPlainText().startsWith(QStringLiteral(" 01 03 50 ")));
        QVERIFY(e.boxes.isEmpty());
    }

    // The system's ports follow the COMn entries, made anew as the list opens;
    // an adapter's stable by-id name opens it, and 保存设置 keeps it for the next start.
    void systemPortsAreListedAndOpenByTheirStableName()
    {
        EndToEnd e("1,10,40,1\r\n", "1,9600\r\n"); // start-up opens no port: COM1 is no pseudo-terminal
        QVERIFY(e.startModule());
        const QString stable = e.folder.filePath(QStringLiteral("usb-Sim_Adapter_A502-if00-port0"));
        QVERIFY(QFile::link(e.module->slavePath(), stable));
        MainWindow& w = e.openWindow();
        QList<port::SystemPort> ports;
        w.setSystemPortLister([&ports] { return ports; });
        const int comEntries = w.Combo1->count();
        ports = {{e.module->slavePath(), QStringLiteral("Sim Adapter"), QStringLiteral("tq"), QStringLiteral("A502"), stable}};
        QTest::mouseClick(w.Combo1, Qt::LeftButton);
        w.Combo1->hidePopup();
        QCOMPARE(w.Combo1->count(), comEntries + 2);
        QCOMPARE(w.Combo1->itemText(comEntries + 1), stable);
        QVERIFY(w.Combo1->itemData(comEntries, Qt::ToolTipRole).toString().contains(QStringLiteral("Sim Adapter")));

        w.Combo1->setCurrentIndex(comEntries + 1);
        w.savePortSettings();
        QCOMPARE(w.lblPortState->text(), QStringLiteral("已打开 %1, 9600").arg(stable));
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
        e.window.reset();
        MainWindow& again = e.openWindow();
        QCOMPARE(again.lblPortState->text(), QStringLiteral("已打开 %1, 9600").arg(stable));
    }

    void faultsOnASingleReading_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<QString>("stateStart");
        QTest::addColumn<QString>("stateEnd");
        // A reply within the wait is decoded; extra bytes after it are dropped.
        QTest::newRow("delay 50 ms") << "delay:50" << true << " 01 03 50"
                                     << "";
        QTest::newRow("extra bytes") << "extrabytes:7" << true << " 01 03 50"
                                     << "";
        // A reply whose CRC fails, or noise of the same length, is shown and flagged, never decoded.
        QTest::newRow("corrupt CRC") << "corruptcrc" << false << " 01 03 50"
                                     << " CRC校验错误";
        QTest::newRow("garbage") << "garbage" << false << " "
                                 << " CRC校验错误";
        // Bytes that never become a whole reply are judged at the end of the wait.
        QTest::newRow("truncated") << "truncate:20" << false << " 01 03 50"
                                   << " CRC校验错误";
        QTest::newRow("no reply") << "noreply" << false << Waiting << "";
        QTest::newRow("reply after the wait") << "delay:900" << false << Waiting << "";
    }
    void faultsOnASingleReading()
    {
        QFETCH(QString, fault);
        QFETCH(bool, filled);
        QFETCH(QString, stateStart);
        QFETCH(QString, stateEnd);
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        QString error;
        const std::optional<sim::Fault> parsed = sim::Fault::parse(fault + QStringLiteral(",next=1"), &error);
        QVERIFY2(parsed, qPrintable(error));
        e.module->setFault(*parsed);
        readChannel3(w);
        QCOMPARE(e.cells(3, 40) == e.expected(3, 40), filled);
        if (!filled) {
            QCOMPARE(e.cells(3, 40), QStringList(40, QString())); // cleared and left red
            QVERIFY(!e.cellBlack(3, 0));
        }
        const QString state = w.txtState->toPlainText();
        QVERIFY2(state.startsWith(stateStart) && state.endsWith(stateEnd), qPrintable(state));
        if (stateEnd.contains(QStringLiteral("CRC")))
            QCOMPARE(e.frontLamp(), QStringLiteral("imgNotConnected"));

        // Whatever happened, the next reading on a healthy line is right.
        QTest::qWait(1000); // let a late reply land and be dropped
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
    }

    void silentModuleIsReportedAfterThreeSeconds()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        e.module->setFault(*sim::Fault::parse(QStringLiteral("noreply"), nullptr));
        readChannel3(w);
        QCOMPARE(w.txtState->toPlainText(), Waiting);
        QTRY_COMPARE_WITH_TIMEOUT(w.txtState->toPlainText(), Waiting + QStringLiteral("\n3秒内未收到响应"),
                                  8000);
        QCOMPARE(e.frontLamp(), QStringLiteral("imgNotConnected"));
        e.module->clearFaults();
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
        QVERIFY(!w.requestCore().isOverdue());
        QCOMPARE(e.frontLamp(), QStringLiteral("imgConnected"));
    }

    // The module moves to address 12; read back through the wildcard address, the
    // window follows it and reads temperatures there.
    void changedAddressIsReadBackAndUsed()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtSetID[1]->setText(QStringLiteral("12"));
        w.changeModuleAddress();
        // Its reply is in before the next request goes out: on the shared line they would collide.
        QTRY_COMPARE_WITH_TIMEOUT(w.txtCurrentAdd->text(), QStringLiteral("12"), 5000);
        QCOMPARE(e.module->model().station(), 12);
        w.txtCurrentAdd->setText(QStringLiteral("0"));
        w.readModuleAddress();
        QTRY_COMPARE_WITH_TIMEOUT(w.txtCurrentAdd->text(), QStringLiteral("12"), 5000);
        QCOMPARE(w.txtStationID->text(), QStringLiteral("12"));
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
        QCOMPARE(e.module->framesReceived().constLast(), protocol::temperatureRequest(12, 3, 3, 1, 40));
    }

    void vanishingDeviceClosesThePortOnce()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        int losses = 0;
        connect(w.MSComm1, &port::MSComm::connectionLost, this, [&] { ++losses; });
        e.module->setFault(*sim::Fault::parse(QStringLiteral("vanish"), nullptr));
        readChannel3(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w.MSComm1->PortOpen(), 5000);
        QTest::qWait(300); // a dead pty keeps reporting errors; they must not pile up
        QCOMPARE(losses, 1);
        QVERIFY(!w.portIsOpen());
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口连接已断开"));
        QCOMPARE(e.frontLamp(), QStringLiteral("imgNotConnected"));
        QVERIFY(e.boxes.isEmpty());

        // The adapter comes back (a new pty behind the same COM4 link) and the port reopens.
        QVERIFY(e.startModule());
        w.Combo1->setCurrentIndex(3);
        w.openPort();
        QVERIFY(w.MSComm1->PortOpen());
        QVERIFY(w.portIsOpen());
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
    }

    void busyPortGivesTheWarning()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        QSerialPort other;
        other.setPortName(e.module->slavePath());
        QVERIFY(other.open(QIODevice::ReadWrite)); // another program holds the adapter
        MainWindow& w = e.openWindow();
        QVERIFY(!w.MSComm1->PortOpen());
        QCOMPARE(e.boxes.size(), 1);
        QCOMPARE(e.boxes[0].text, QStringLiteral("所选的串行端口已被其他设备所使用!"));
        QCOMPARE(e.boxes[0].title, QStringLiteral("系统信息"));
        QCOMPARE(e.boxes[0].icon, dialogs::Icon::Warning);
        QVERIFY(!w.portIsOpen()); // reading runs only on a port that opened
        other.close();
        w.portChosen();
        QVERIFY(w.MSComm1->PortOpen());
        QVERIFY(w.portIsOpen());
    }

    void missingDeviceGivesTheWarningAndNamesIt()
    {
        EndToEnd e;
        QDir(e.folder.path()).mkpath(QStringLiteral("ports"));
        QFile::link(QStringLiteral("/dev/does-not-exist"),
                    QDir(e.folder.path()).filePath(QStringLiteral("ports/COM7")));
        MainWindow& w = e.openWindow();
        e.boxes.clear();
        w.Combo1->setCurrentIndex(6);
        w.portChosen();
        QCOMPARE(e.boxes.size(), 1);
        // Said to be missing, not in use, with the device it stands for.
        QCOMPARE(e.boxes[0].text, QStringLiteral("串口COM7不存在（/dev/does-not-exist）"));
        QCOMPARE(w.txtState->toPlainText(), e.boxes[0].text);
        QVERIFY(!w.MSComm1->PortOpen());
        QCOMPARE(w.lblPortState->text(), QStringLiteral("未打开"));
    }
};

QTEST_MAIN(TestEndToEndLink)
#include "test_e2e_link.moc"
