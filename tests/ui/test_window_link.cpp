// The main window's link to the module: the send steps, the receive event and
// dispatch, the no-reply warning, the port's life cycle and start-up.

#include "window_fixture.h"

#include "protocol/frames.h"

class TestWindowLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // ---- Receive event and dispatch

    void receiveWithoutRequestShowsDumpOnly()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        QVERIFY(w.MSComm1->PortOpen()); // COM4 by default, opened by start-up
        QVERIFY(w.requestCore().idle());
        w.MSComm1->setRThreshold(1);
        f.backend->inject(hexBytes("01 02 03"));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral(" 01 02 03"));
        QCOMPARE(f.frontLamp(), QStringLiteral("imgConnected"));
    }

    void otherPortEventsChangeNothing()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.txtState->setPlainText(QStringLiteral("kept"));
        w.ImgYellow->raise();
        int events = 0;
        connect(w.MSComm1, &port::MSComm::OnComm, this, [&] { ++events; });
        w.MSComm1->setSThreshold(1); // a transmit event follows the write
        w.MSComm1->Output(hexBytes("01 02"));
        QTRY_COMPARE(events, 1);
        QCOMPARE(w.MSComm1->CommEvent(), int(port::MSComm::comEvSend));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("kept"));
        QCOMPARE(f.frontLamp(), QStringLiteral("ImgYellow"));
    }

    // ---- Send sequence

    void sendWithPortClosedShowsRedLamp()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.closePort();
        QVERIFY(!w.portIsOpen());
        w.readModuleAddress();
        QCOMPARE(f.frontLamp(), QStringLiteral("imgNotConnected"));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口未打开，请先打开串口"));
        QVERIFY(w.txtCommand->text().startsWith(QStringLiteral("FA 25 02 00 00 01 ")));
        QCOMPARE(f.backend->written(), QByteArray());
        QVERIFY(w.requestCore().idle());
    }

    void sendWritesEchoesAndWaits()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        f.backend->written();
        w.txtSearchAdd->setText(QStringLiteral("1"));
        w.txtSearchChannel->setText(QStringLiteral("3"));
        w.txtSearchNum->setText(QStringLiteral("2"));
        w.searchSensors();
        const QByteArray frame = protocol::autoSearchRequest(1, 3, 2);
        QCOMPARE(f.backend->written(), frame);                     // all nine bytes go out
        QCOMPARE(w.txtCommand->text().count(QLatin1Char(' ')), 8); // eight echoed
        QCOMPARE(w.txtState->toPlainText(),
                 QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)"));
        QCOMPARE(f.frontLamp(), QStringLiteral("imgConnected"));
        QCOMPARE(w.MSComm1->RThreshold(), 7);
    }

    void noReplyWithinThreeSecondsIsReported()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.readModuleAddress();
        QTRY_VERIFY_WITH_TIMEOUT(w.txtState->toPlainText().endsWith(QStringLiteral("3秒内未收到响应")), 8000);
        QVERIFY(w.txtState->toPlainText().startsWith(QStringLiteral("等待响应中")));
        QCOMPARE(f.frontLamp(), QStringLiteral("imgNotConnected"));
        // Still overdue: the next request keeps the warning.
        w.readModuleAddress();
        QTRY_VERIFY_WITH_TIMEOUT(w.txtState->toPlainText().endsWith(QStringLiteral("3秒内未收到响应")), 8000);
        QTRY_VERIFY(!w.requestCore().idle());
        // A reply ends it.
        f.backend->inject(hexBytes("01 25 02 01 02 33 5D"));
        QTRY_COMPARE(w.txtState->toPlainText(), QStringLiteral(" 01 25 02 01 02 33 5D"));
        QVERIFY(!w.requestCore().isOverdue());
        QCOMPARE(f.frontLamp(), QStringLiteral("imgConnected"));
    }

    // ---- Port life cycle

    void saveSettingsWritesCommSet()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.Combo1->setCurrentIndex(4);
        w.Combo2->setCurrentIndex(3);
        w.savePortSettings();
        QCOMPARE(f.readFile("comm.set"), QByteArray("5,19200\r\n"));
        QCOMPARE(w.MSComm1->CommPort(), 5);
        QCOMPARE(w.MSComm1->Settings(), QStringLiteral("19200,N,8,1"));
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, QStringLiteral("串口设置保存成功"));
        QCOMPARE(f.boxes[0].title, QStringLiteral("系统提示"));
        QCOMPARE(f.boxes[0].icon, dialogs::Icon::Information); // what its title implies
    }

    void openFailureWarns_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("busy") << int(port::OpenFailure::Busy) << QStringLiteral("所选的串行端口已被其他设备所使用!");
        QTest::newRow("missing") << int(port::OpenFailure::Missing) << QStringLiteral("串口COM7不存在（/dev/ttyS6）");
        QTest::newRow("denied") << int(port::OpenFailure::Denied)
                                << QStringLiteral("没有打开串口COM7的权限（/dev/ttyS6）");
    }
    void openFailureWarns()
    {
        QFETCH(int, failure);
        QFETCH(QString, message);
        WindowFixture f;
        MainWindow& w = f.create();
        w.closePort();
        f.backend->setOpenFailure(port::OpenFailure(failure));
        w.imgConnected->raise(); // as after a good reading
        w.Combo1->setCurrentIndex(6);
        w.portChosen();
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, message); // what is wrong with the port, not always "in use"
        QCOMPARE(f.boxes[0].title, QStringLiteral("系统信息"));
        QCOMPARE(f.boxes[0].icon, dialogs::Icon::Warning);
        QVERIFY(!w.portIsOpen()); // keeps the value it had
        QCOMPARE(w.txtState->toPlainText(), message);
        QCOMPARE(f.frontLamp(), QStringLiteral("imgNotConnected"));

        // Save settings on a port that cannot open writes nothing.
        f.boxes.clear();
        w.savePortSettings();
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.readFile("comm.set"), QByteArray("<missing>"));
    }

    void typedListTextsAreUsedOrRejected()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        // A typed port name that is an entry of the list counts as that entry.
        w.Combo1->setEditText(QStringLiteral("COM7"));
        w.Combo2->setEditText(QStringLiteral("14400"));
        w.openPort();
        QCOMPARE(w.MSComm1->CommPort(), 7);
        QCOMPARE(w.MSComm1->Settings(), QStringLiteral("14400,N,8,1"));
        QVERIFY(w.MSComm1->PortOpen());
        // A baud rate that is not a number changes nothing and says which box is wrong.
        w.Combo2->setEditText(QStringLiteral("fast"));
        w.savePortSettings();
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, QStringLiteral("波特率：请输入1～32767之间的整数"));
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(f.readFile("comm.set"), QByteArray("<missing>"));
        // A port name that is no entry is port 0, which cannot be opened.
        f.boxes.clear();
        w.Combo2->setEditText(QStringLiteral("9600"));
        w.Combo1->setEditText(QStringLiteral("COM99"));
        w.openPort();
        QVERIFY(!w.MSComm1->PortOpen());
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, QStringLiteral("串口COM99不存在"));
    }

    void choosingAPortLeavesSettingsAlone()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.Combo1->setCurrentIndex(2);
        w.portChosen();
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(w.MSComm1->CommPort(), 3);
        QCOMPARE(f.backend->openedName(), QStringLiteral("/dev/ttyS2"));
        QCOMPARE(f.readFile("comm.set"), QByteArray("<missing>"));
    }

    void portsLinkInProgramFolderIsUsed()
    {
        WindowFixture f;
        QDir(f.folder.path()).mkdir(QStringLiteral("ports"));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"),
                            QDir(f.folder.path()).filePath(QStringLiteral("ports/COM4"))));
        MainWindow& w = f.create();
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(f.backend->openedName(), QStringLiteral("/dev/null"));
    }

    void openAndCloseButtons()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        const int opens = f.backend->openCount();
        f.backend->inject(hexBytes("AA BB")); // stale bytes
        w.openPort();                // open while open: close and reopen, buffers emptied
        QCOMPARE(f.backend->openCount(), opens + 1);
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(w.MSComm1->InBufferCount(), 0);
        QCOMPARE(w.MSComm1->RThreshold(), 1);
        w.closePort();
        QVERIFY(!w.MSComm1->PortOpen());
        QVERIFY(!w.portIsOpen());
        w.closePort(); // already closed: nothing changes
        QVERIFY(!w.MSComm1->PortOpen());
        QVERIFY(f.boxes.isEmpty());
    }

    void unplugGivesOneMessageAndReopenWorks()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        int losses = 0;
        connect(w.MSComm1, &port::MSComm::connectionLost, this, [&] { ++losses; });
        f.backend->vanish();
        f.backend->vanish(); // a dying device keeps reporting
        QCOMPARE(losses, 1);
        QVERIFY(!w.MSComm1->PortOpen());
        QVERIFY(!w.portIsOpen());
        QCOMPARE(f.frontLamp(), QStringLiteral("imgNotConnected"));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口连接已断开"));
        QVERIFY(f.boxes.isEmpty());
        w.openPort();
        QVERIFY(w.MSComm1->PortOpen());
        QVERIFY(w.portIsOpen());
    }

    // ---- Start-up

    void startUpRestoresSettings_data()
    {
        QTest::addColumn<QByteArray>("commSet");
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<QString>("lineSettings");
        QTest::addColumn<int>("messages");
        QTest::newRow("missing file: COM4, 9600") << QByteArray() << 3 << true << 1 << "9600,N,8,1" << 0;
        QTest::newRow("port 10") << QByteArray("10,19200\r\n") << 9 << true << 3 << "19200,N,8,1" << 0;
        QTest::newRow("port 30 matches no entry")
            << QByteArray("30,9600\r\n") << -1 << false << 1 << "9600,N,8,1" << 0;
        QTest::newRow("baud not in the list")
            << QByteArray("4,2400\r\n") << 3 << true << -1 << "2400,N,8,1" << 0;
        QTest::newRow("unreadable: defaults and a message")
            << QByteArray("x,y\r\n") << 3 << true << 1 << "9600,N,8,1" << 1;
    }
    void startUpRestoresSettings()
    {
        QFETCH(QByteArray, commSet);
        QFETCH(int, portIndex);
        QFETCH(bool, portOpen);
        QFETCH(int, baudIndex);
        QFETCH(QString, lineSettings);
        QFETCH(int, messages);
        WindowFixture f;
        if (!commSet.isEmpty())
            f.writeFile(QStringLiteral("comm.set"), commSet);
        MainWindow& w = f.create();
        QCOMPARE(w.Combo1->currentIndex(), portIndex);
        QCOMPARE(w.MSComm1->PortOpen(), portOpen);
        QCOMPARE(w.portIsOpen(), portOpen); // reading may run only on a port that did open
        QCOMPARE(w.Combo2->currentIndex(), baudIndex);
        QCOMPARE(w.Combo2->currentText(),
                 baudIndex < 0 ? QStringLiteral("9600") : w.Combo2->itemText(baudIndex));
        QCOMPARE(w.MSComm1->Settings(), lineSettings);
        QCOMPARE(f.boxes.size(), messages);
        if (messages)
            QVERIFY(f.boxes[0].text.contains(QStringLiteral("comm.set")));
    }

    void startUpFillsBoxesFromModuleSettings_data()
    {
        QTest::addColumn<QByteArray>("modSet");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("sensors");
        QTest::addColumn<QString>("chnId");
        QTest::addColumn<QString>("objChnid");
        QTest::addColumn<int>("visibleGroups");
        QTest::addColumn<QString>("modules");
        QTest::addColumn<int>("messages");
        QTest::newRow("5,1,40,1") << QByteArray("5,1,40,1\r\n") << "5"
                                  << "40"
                                  << "1"
                                  << "1" << 1 << "1" << 0;
        QTest::newRow("two channels keep the designed channel texts") << QByteArray("1,2,20,7\r\n") << "1"
                                                                      << "20"
                                                                      << "01"
                                                                      << "1" << 2 << "7" << 0;
        QTest::newRow("missing: 1,1,40,1") << QByteArray() << "1"
                                           << "40"
                                           << "1"
                                           << "1" << 1 << "1" << 0;
        // A value the window cannot use is named, and its default used.
        QTest::newRow("twelve channels: one, and a message") << QByteArray("3,12,6,-3\r\n") << "3"
                                                             << "6"
                                                             << "1"
                                                             << "1" << 1 << "-3" << 1;
        QTest::newRow("no sensors: 40, and a message") << QByteArray("3,10,0,1\r\n") << "3"
                                                       << "40"
                                                       << "01"
                                                       << "1" << 10 << "1" << 1;
    }
    void startUpFillsBoxesFromModuleSettings()
    {
        QFETCH(QByteArray, modSet);
        QFETCH(QString, address);
        QFETCH(QString, sensors);
        QFETCH(QString, chnId);
        QFETCH(QString, objChnid);
        QFETCH(int, visibleGroups);
        QFETCH(QString, modules);
        QFETCH(int, messages);
        WindowFixture f;
        if (!modSet.isEmpty())
            f.writeFile(QStringLiteral("ModSet.set"), modSet);
        MainWindow& w = f.create();
        for (QLineEdit* box : {w.txtStationID, w.txtObjStationID, w.txtSetID[0], w.txtSta, w.txtDoADDress,
                               w.txtInputAddid, w.txtSearchAdd})
            QCOMPARE(box->text(), address);
        for (QLineEdit* box : {w.txtMaxofSensor, w.TXTsensorID, w.txtDataLength})
            QCOMPARE(box->text(), sensors);
        QCOMPARE(w.txtChnId->text(), chnId);
        QCOMPARE(w.txtObjChnid->text(), objChnid);
        QCOMPARE(w.txtModuleNum->text(), modules);
        QCOMPARE(w.channelCount(), visibleGroups);
        int shown = 0;
        for (QGroupBox* group : w.FrameShow)
            shown += group->isHidden() ? 0 : 1;
        QCOMPARE(shown, visibleGroups);
        QCOMPARE(w.SSTab1->currentIndex(), 3); // the window opens on "关于软件"
        // The cells beyond element 0 come when the data tab is first shown.
        for (int g = 0; g < ValueGroupCount; ++g)
            QCOMPARE(w.txtValue[size_t(g)].size(), 1);
        w.SSTab1->setCurrentIndex(0);
        for (int g = 0; g < ValueGroupCount; ++g) {
            QCOMPARE(w.txtValue[size_t(g)].size(), sensors.toInt());
            QCOMPARE(w.lblValue[size_t(g)].constLast()->text(), sensors + QLatin1Char('#'));
            QCOMPARE(w.lblValue[size_t(g)].constLast()->buddy(), w.txtValue[size_t(g)].constLast());
        }
        QCOMPARE(f.boxes.size(), messages);
        if (messages)
            QVERIFY(f.boxes[0].text.contains(QStringLiteral("ModSet.set")));
    }

    void unreadableModuleSettingsNameTheFile()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,1\r\n");
        MainWindow& w = f.create();
        QCOMPARE(f.boxes.size(), 1);
        QVERIFY(f.boxes[0].text.contains(QStringLiteral("ModSet.set")));
        QCOMPARE(w.sensorsPerChannel(), 40);
        QCOMPARE(w.txtDataLength->text(), QStringLiteral("40"));
    }
};

QTEST_MAIN(TestWindowLink)
#include "test_window_link.moc"
