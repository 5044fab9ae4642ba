// What an operator meets over a real pseudo-terminal against the simulated
// module: readings and commands with the port closed, a line lost and found
// again, a baud rate changed on the module, and the reasons of a pass's failed
// channels.

#include "e2e_fixture.h"

#include "serials/import_list.h"

namespace {
const QString NotOpen = QStringLiteral("串口未打开，请先打开串口");

void readChannel3(MainWindow& w)
{
    w.txtChannel->setText(QStringLiteral("3"));
    w.readChannelOnce();
    QVERIFY(lineSettles(w));
}
} // namespace

class TestEndToEndOperator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every reading and command on a closed port says so, with the red lamp,
    // no message box, and nothing sent.
    void closedPortIsSaid_data()
    {
        QTest::addColumn<int>("action");
        const char* names[] = {"单次 (单通道)", "单次 (10通道)", "循环 (单通道)", "循 坏", "读序列号",
                               "读取地址", "自动导入"};
        for (int i = 0; i < int(std::size(names)); ++i)
            QTest::newRow(names[i]) << i;
    }
    void closedPortIsSaid()
    {
        QFETCH(int, action);
        EndToEnd e("1,3,4,1\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        serials::ImportSnCount = 1;
        serials::ImportSnList[1] = QStringLiteral("28 FF 4B 3C 61 00 00 8A");
        w.closePort();
        w.imgConnected->raise();
        w.txtTimerSet[0]->setText(QStringLiteral("20"));
        w.txtTimerSet[1]->setText(QStringLiteral("20"));
        const std::function<void()> actions[] = {
            [&] { w.readChannelOnce(); },     [&] { w.readAllChannelsOnce(); },
            [&] { w.startChannelLoop(); },    [&] { w.startAllChannelsLoop(); },
            [&] { w.readSerialList(); },      [&] { w.readModuleAddress(); },
            [&] { w.startAutomaticWrite(); },
        };
        actions[action]();
        QTRY_COMPARE(w.txtState->toPlainText(), NotOpen);
        QCOMPARE(e.frontLamp(), QStringLiteral("imgNotConnected"));
        QVERIFY(e.boxes.isEmpty());
        QTest::qWait(100);
        QVERIFY(e.module->framesReceived().isEmpty());
        QCOMPARE(w.lblPortState->text(), QStringLiteral("未打开"));
    }

    // Values read before the line was lost turn grey and say when they were
    // read; the adapter back, one 打开端口 opens it and a reading is black again.
    void lostLineMarksValuesStaleAndOpensAtOnceAgain()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        QCOMPARE(w.lblPortState->text(), QStringLiteral("已打开 COM4, 9600"));
        readChannel3(w);
        QVERIFY(e.cellBlack(3, 0));
        e.module.reset(); // unplugged while nothing is on the line
        QTRY_VERIFY_WITH_TIMEOUT(!w.MSComm1->PortOpen(), 5000);
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口连接已断开"));
        QCOMPARE(cellColour(w, 3, 0), QColor(128, 128, 128));
        QVERIFY2(w.valueCells(3)[0]->toolTip().contains(QRegularExpression(
                     QStringLiteral("读于 \\d\\d:\\d\\d:\\d\\d，之后连接断开"))),
                 qPrintable(w.valueCells(3)[0]->toolTip()));
        QCOMPARE(w.lblPortState->text(), QStringLiteral("未打开"));

        QVERIFY(e.startModule());
        w.openPort();
        QVERIFY(w.MSComm1->PortOpen());
        QVERIFY(e.boxes.isEmpty());
        readChannel3(w);
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
        QVERIFY(e.cellBlack(3, 0));
        QVERIFY(!w.valueCells(3)[0]->toolTip().contains(QStringLiteral("之后连接断开")));
    }

    // After the module's baud rate was changed the operator is asked whether the
    // port should follow; it does, and 当前波特率值 shows the new code.
    void changedBaudRateIsFollowed()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtObjChnid->setText(QStringLiteral("1"));
        w.txtCurrentBuad->setText(QStringLiteral("2"));
        w.txtObjectBuad->setText(QStringLiteral("4"));
        w.changeModuleBaud();
        QTRY_COMPARE(e.boxes.size(), 1);
        QCOMPARE(e.boxes[0].text, QStringLiteral("模块的波特率已改为19200，现在要将串口也改为19200吗？"));
        QCOMPARE(w.txtCurrentBuad->text(), QStringLiteral("4"));
        QTRY_COMPARE(w.MSComm1->baudRate(), 19200);
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(w.lblPortState->text(), QStringLiteral("已打开 COM4, 19200"));
        QCOMPARE(e.module->model().baudRate(), 19200);
    }

    // A pass's failed channels say why in their cells' tool tips, and the lamps
    // keep the last pass's summary.
    void failedChannelsSayWhy()
    {
        EndToEnd e("1,3,4,1\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        e.module->addFault(fault(QStringLiteral("noreply,channel=2")));
        e.module->addFault(fault(QStringLiteral("corruptcrc,channel=3")));
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 10000));
        const QRegularExpression atTime(QStringLiteral("（\\d\\d:\\d\\d:\\d\\d）$"));
        QVERIFY(w.valueCells(2)[1]->toolTip().startsWith(QStringLiteral("温度组2 2#: 无应答（")));
        QVERIFY(w.valueCells(2)[1]->toolTip().contains(atTime));
        QVERIFY(w.valueCells(3)[0]->toolTip().startsWith(QStringLiteral("温度组3 1#: CRC校验错误（")));
        QCOMPARE(w.txtState->toPlainText().endsWith(QStringLiteral(" CRC校验错误")), true); // the designed text
        const QString summary = w.imgConnected->toolTip().section(QLatin1Char('\n'), 1);
        QVERIFY2(summary.contains(QStringLiteral("3个通道中1个读到；通道2 无应答，通道3 CRC校验错误")),
                 qPrintable(summary));
        QCOMPARE(w.imgNotConnected->toolTip().section(QLatin1Char('\n'), 1), summary);
    }
};

QTEST_MAIN(TestEndToEndOperator)
#include "test_e2e_operator.moc"
