// The module's address and baud commands through the window, against the
// simulated module's model answering in memory.

#include "window_fixture.h"

#include "ui/bus_scan_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "protocol/frames.h"
#include "sim/module_model.h"

class TestWindowConfig : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // After reading or changing the address every target box follows it; the
    // stored default does not.
    void addressRepliesRetargetTheWindow()
    {
        WindowFixture f;
        sim::ModuleModel model;
        model.setStation(5);
        MainWindow& w = f.create();
        f.backend->setResponder([&](const QByteArray& request) { return model.reply(request); });
        const QList<QLineEdit*> targets{w.txtCurrentAdd, w.txtStationID,  w.txtObjStationID, w.txtSetID[0],
                                        w.txtSta,        w.txtInputAddid, w.txtSearchAdd};
        w.readModuleAddress();
        for (QLineEdit* box : targets)
            QTRY_COMPARE(box->text(), QStringLiteral("5"));
        QCOMPARE(w.txtDoADDress->text(), QStringLiteral("1"));

        w.txtSetID[1]->setText(QStringLiteral("12.9"));
        w.changeModuleAddress();
        for (QLineEdit* box : targets)
            QTRY_COMPARE(box->text(), QStringLiteral("12"));
        QCOMPARE(model.station(), 12);

        // The baud reply is judged by the read rule: its function byte changes no box.
        w.txtCurrentBuad->setText(QStringLiteral("2"));
        w.txtObjectBuad->setText(QStringLiteral("2.5"));
        f.backend->written();
        w.changeModuleBaud();
        QCOMPARE(f.backend->written(), protocol::changeBaudRequest(2, 2));
        QTRY_VERIFY(w.txtState->toPlainText().startsWith(QStringLiteral(" 0C 06 0A")));
        QCOMPARE(w.txtStationID->text(), QStringLiteral("12"));
        QVERIFY(f.boxes.isEmpty());
    }

    // The scan's dialog finds a module at a rate other than the port's; 使用此模块
    // moves the station boxes to it and the port to its rate. Closed during a
    // scan, the dialog stops it and the port is back at its own rate.
    void scanFindsAModuleToUse()
    {
        WindowFixture f;
        sim::ModuleModel model;
        model.setStation(7);
        MainWindow& w = f.create();
        f.backend->setResponder([&](const QByteArray& request) {
            return f.backend->baudRate() == 19200 ? model.reply(request) : QByteArray();
        });
        QCOMPARE(f.backend->baudRate(), 9600);
        w.cmdBusScan->click();
        BusScanDialog* scan = w.busScanDialog();
        QVERIFY(scan && scan->isVisible());
        scan->spnScanFirst->setValue(6);
        scan->spnScanLast->setValue(8);
        for (QCheckBox* rate : scan->chkScanBauds)
            rate->setChecked(rate->text() == QLatin1String("9600") || rate->text() == QLatin1String("19200"));
        scan->cmdScanStart->click();
        QVERIFY(!scan->cmdScanStart->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(scan->cmdScanStart->isEnabled(), 15000);
        QCOMPARE(scan->tblScanFound->rowCount(), 1);
        QCOMPARE(scan->tblScanFound->item(0, 0)->text(), QStringLiteral("7"));
        QCOMPARE(scan->tblScanFound->item(0, 1)->text(), QStringLiteral("19200"));
        QCOMPARE(scan->lblScanState->text(), QStringLiteral("查找结束：找到1个模块"));
        QCOMPARE(f.backend->baudRate(), 9600);

        scan->cmdScanUse->click();
        for (QLineEdit* box : {w.txtCurrentAdd, w.txtStationID, w.txtSta})
            QCOMPARE(box->text(), QStringLiteral("7"));
        QCOMPARE(w.txtCurrentBuad->text(), QStringLiteral("4"));
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("19200"));
        QCOMPARE(f.backend->baudRate(), 19200);

        scan->spnScanFirst->setValue(1);
        scan->spnScanLast->setValue(249);
        scan->cmdScanStart->click();
        QVERIFY(scan->scanner().running());
        scan->close();
        QVERIFY(!scan->scanner().running());
        QCOMPARE(f.backend->baudRate(), 19200);
        QVERIFY(f.boxes.isEmpty());
    }

    // Values that could leave modules unreachable, and channel 0, send nothing.
    void refusedInputSendsNothing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("message");
        QTest::newRow("new address 250") << "txtSetID_1"
                                         << "250"
                                         << "cmdChangeID" << QStringLiteral("新地址：请输入1～249之间的整数");
        QTest::newRow("new address 0") << "txtSetID_1"
                                       << "0"
                                       << "cmdChangeID" << QStringLiteral("新地址：请输入1～249之间的整数");
        QTest::newRow("new baud code 5")
            << "txtObjectBuad"
            << "5"
            << "cmdBuadRate" << QStringLiteral("目标波特率值：请输入1～4之间的整数");
        QTest::newRow("channel 0 guards reading the address")
            << "txtObjChnid"
            << "0.5"
            << "cmdReadAdd" << QStringLiteral("请指定正确的模块及通道编号");
        QTest::newRow("channel 0 guards the baud rate")
            << "txtObjChnid"
            << "0"
            << "cmdBuadRate" << QStringLiteral("请指定正确的模块及通道编号");
    }
    void refusedInputSendsNothing()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, button);
        QFETCH(QString, message);
        WindowFixture f;
        MainWindow& w = f.create();
        w.txtObjectBuad->setText(QStringLiteral("3"));
        w.findChild<QLineEdit*>(box)->setText(text);
        w.txtTimerSet[0]->setText(QStringLiteral("60000"));
        w.startChannelLoop();
        f.backend->written();
        w.findChild<QPushButton*>(button)->click();
        QCOMPARE(f.backend->written(), QByteArray());
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, message);
        QVERIFY(!w.Timer2->Enabled()); // the loops stop all the same
    }
};

QTEST_MAIN(TestWindowConfig)
#include "test_window_config.moc"
