// All-channels passes over a real pseudo-terminal at 9600 baud against the
// simulated module, with and without faults on single channels.

#include "e2e_fixture.h"

namespace {
// Cells filled from the front with the right values, then empty: what a reply
// cut short leaves. Returns how many were filled, or -1 if the cells are not such a prefix.
int correctPrefix(const QStringList& cells, const QStringList& expected)
{
    int filled = 0;
    while (filled < cells.size() && !cells[filled].isEmpty())
        ++filled;
    for (int k = 0; k < cells.size(); ++k) {
        if (k < filled && cells[k] != expected[k])
            return -1;
        if (k >= filled && !cells[k].isEmpty())
            return -1;
    }
    return filled;
}

int channelOf(const QByteArray& frame)
{
    return frame.size() > 2 ? quint8(frame[2]) : -1;
}
} // namespace

class TestEndToEndAcquisition : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void passFillsEveryGroup()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        QVERIFY(w.MSComm1->PortOpen());
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 20000));
        for (int c = 1; c <= 10; ++c) {
            QCOMPARE(e.cells(c, 40), e.expected(c, 40));
            QVERIFY(e.cellBlack(c, 39));
        }
        QCOMPARE(w.txtChannel->text(), QStringLiteral("10"));
        QCOMPARE(e.frontLamp(), QStringLiteral("ImgYellow"));
        QCOMPARE(e.module->framesReceived().size(), 10);
        QVERIFY(e.boxes.isEmpty());
    }

    // A module slow to answer behind an adapter that echoes the request: with
    // line.set saying so, the pass reads every value right.
    void passOverASlowEchoingLineTunedInLineSet()
    {
        EndToEnd e;
        e.writeFile(QStringLiteral("line.set"), "timeout_ms=1000\r\necho=1\r\n");
        QVERIFY(e.startModule());
        e.module->addFault(fault(QStringLiteral("turnaround:600")));
        e.module->addFault(fault(QStringLiteral("echo")));
        MainWindow& w = e.openWindow();
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 30000));
        for (int c = 1; c <= 10; ++c)
            QCOMPARE(e.cells(c, 40), e.expected(c, 40));
        QVERIFY(e.boxes.isEmpty());
    }

    // Faults on single channels leave the others right. Channel 2's reply starts
    // just before its deadline and channel 8's extra bytes follow a whole reply:
    // both are still arriving when the pass moves on. On the half-duplex line a
    // request sent into them collides and its channel gets no reply, so the pass
    // waits for a quiet line first.
    void passWithFaultsOnSomeChannels()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        e.module->addFault(fault(QStringLiteral("delay:450,channel=2")));
        e.module->addFault(fault(QStringLiteral("noreply,channel=4")));
        e.module->addFault(fault(QStringLiteral("corruptcrc,channel=5")));
        e.module->addFault(fault(QStringLiteral("truncate:30,channel=6")));
        e.module->addFault(fault(QStringLiteral("garbage,channel=7")));
        e.module->addFault(fault(QStringLiteral("extrabytes:9,channel=8")));
        QList<int> collided; // channels whose request ran into a reply
        connect(&e.module->transport(), &sim::PtyTransport::requestCollided, this,
                [&](const QByteArray& bytes) { collided << channelOf(bytes); });
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 20000));

        QCOMPARE(e.cells(1, 40), e.expected(1, 40));
        const int channel2 = correctPrefix(e.cells(2, 40), e.expected(2, 40));
        QVERIFY2(channel2 >= 0, qPrintable(e.cells(2, 40).join(QLatin1Char('|'))));
        // After a reply cut short the pass wants 20 ms of silence, which a loaded
        // machine's scheduling cannot fake: channel 3's request never meets channel 2's tail.
        QCOMPARE(e.cells(3, 40), e.expected(3, 40));
        QVERIFY(!collided.contains(3));
        QCOMPARE(e.cells(4, 40), QStringList(40, QString()));
        QCOMPARE(e.cells(5, 40), QStringList(40, QString()));
        // 30 bytes hold 12 registers that have their two following bytes.
        QCOMPARE(correctPrefix(e.cells(6, 40), e.expected(6, 40)), 12);
        QCOMPARE(e.cells(7, 40), QStringList(40, QString()));
        QCOMPARE(e.cells(8, 40), e.expected(8, 40));
        // After a whole reply it wants only 3.5 characters, which the window's own
        // work between two channels can outlast; a request that then collides
        // leaves its channel empty, never with wrong values.
        for (int c = 9; c <= 10; ++c) {
            if (!collided.contains(c))
                QCOMPARE(e.cells(c, 40), e.expected(c, 40));
            else
                QCOMPARE(e.cells(c, 40), QStringList(40, QString()));
        }
        QCOMPARE(e.module->framesReceived().size() + collided.size(), 10);
        for (int c : collided)
            qInfo("channel %d's request collided with the reply before it", c);
    }

    // A function code the module does not know: it answers each channel with an
    // exception reply, which the pass names instead of calling it a CRC error.
    void passNamesTheModulesExceptionReply()
    {
        EndToEnd e("1,2,4,1\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtFunID->setText(QStringLiteral("5"));
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral(" 01 85 01 83 50 模块拒绝请求，异常码 01"));
        QCOMPARE(e.cells(1, 4), QStringList(4, QString()));
        QCOMPARE(e.cells(2, 4), QStringList(4, QString()));
        QCOMPARE(e.frontLamp(), QStringLiteral("imgNotConnected"));
    }

    void loopRunsWholePassesAndStops()
    {
        EndToEnd e("1,3,10,1\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtTimerSet[1]->setText(QStringLiteral("100")); // shorter than a pass: ticks fall due during it
        w.startAllChannelsLoop();
        QTRY_VERIFY_WITH_TIMEOUT(e.module->framesReceived().size() >= 9, 20000);
        w.stopAllChannelsLoop();
        QTest::qWait(2500);
        const QByteArrayList frames = e.module->framesReceived();
        QCOMPARE(frames.size() % 3, 0);
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(channelOf(frames[i]), i % 3 + 1); // never a pass inside a pass
        for (int c = 1; c <= 3; ++c)
            QCOMPARE(e.cells(c, 10), e.expected(c, 10));
    }

    void singleLoopReadsTheChosenChannel()
    {
        EndToEnd e("1,10,40,1\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtChannel->setText(QStringLiteral("6"));
        w.txtTimerSet[0]->setText(QStringLiteral("200"));
        w.startChannelLoop();
        QTRY_VERIFY_WITH_TIMEOUT(w.lblCounter->text().toInt() >= 4, 10000);
        w.stopChannelLoop();
        QCOMPARE(e.cells(6, 40), e.expected(6, 40));
        for (const QByteArray& frame : e.module->framesReceived())
            QCOMPARE(channelOf(frame), 6);
    }

    void unplugDuringAPassEndsIt()
    {
        EndToEnd e;
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        e.module->addFault(fault(QStringLiteral("vanish,channel=3")));
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 20000));
        QVERIFY(!w.MSComm1->PortOpen());
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口连接已断开"));
        QCOMPARE(e.cells(2, 40), e.expected(2, 40));
        QCOMPARE(e.module->framesReceived().size(), 3);
    }
};

QTEST_MAIN(TestEndToEndAcquisition)
#include "test_e2e_acquisition.moc"
