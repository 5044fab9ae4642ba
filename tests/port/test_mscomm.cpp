// MSComm over the in-memory backend: receive threshold, bounded input, flush,
// transmit events, opening and its failures, and the loss of the device.

#include "port/memory_backend.h"
#include "port/mscomm.h"
#include "port_tests.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QtTest>

using namespace port;

namespace {
QByteArray bytesOf(int count, char first = 1)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += char(first + i);
    return bytes;
}

// An MSComm on a memory device; COMn resolves to "mem:n".
struct Rig
{
    MemoryBackend* device = nullptr;
    std::unique_ptr<MSComm> comm;
    QList<int> events; // CommEvent() of each OnComm

    Rig()
    {
        auto backend = std::make_unique<MemoryBackend>();
        device = backend.get();
        comm = std::make_unique<MSComm>(std::move(backend));
        comm->setPortNameResolver([](int n) { return QStringLiteral("mem:%1").arg(n); });
        QObject::connect(comm.get(), &MSComm::OnComm, comm.get(), [this] { events << comm->CommEvent(); });
    }
    int receiveEvents() const { return int(events.count(MSComm::comEvReceive)); }
};
} // namespace

class TestMSComm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void receiveThreshold_data()
    {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QList<int>>("chunks");
        QTest::addColumn<QList<int>>("eventsAfter"); // receive events so far, after each chunk
        QTest::newRow("one chunk at the threshold") << 9 << QList<int>{9} << QList<int>{1};
        QTest::newRow("one chunk beyond it") << 9 << QList<int>{20} << QList<int>{1};
        QTest::newRow("reached by the third chunk") << 9 << QList<int>{4, 4, 1} << QList<int>{0, 0, 1};
        QTest::newRow("one byte short stays quiet") << 9 << QList<int>{4, 4} << QList<int>{0, 0};
        QTest::newRow("raised again while still reached") << 5 << QList<int>{3, 3, 1} << QList<int>{0, 1, 2};
        QTest::newRow("threshold 1, every arrival") << 1 << QList<int>{1, 2, 1} << QList<int>{1, 2, 3};
        QTest::newRow("threshold 0, never") << 0 << QList<int>{1, 50} << QList<int>{0, 0};
    }
    void receiveThreshold()
    {
        QFETCH(int, threshold);
        QFETCH(QList<int>, chunks);
        QFETCH(QList<int>, eventsAfter);
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        rig.comm->setRThreshold(threshold);
        QSignalSpy arrivals(rig.comm.get(), &MSComm::bytesArrived);
        int total = 0;
        for (int i = 0; i < chunks.size(); ++i) {
            rig.device->inject(bytesOf(chunks[i]));
            total += chunks[i];
            QCOMPARE(rig.receiveEvents(), eventsAfter[i]);
            QCOMPARE(arrivals.count(), i + 1);
            QCOMPARE(rig.comm->InBufferCount(), total);
        }
        QCOMPARE(rig.events.size(), rig.receiveEvents()); // nothing but receive events
    }

    void handlerThatTakesTheReplyRearmsTheThreshold()
    {
        // As the window's receive handler does: take the reply, flush the rest.
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        rig.comm->setRThreshold(9);
        rig.comm->setInputLen(9);
        QList<QByteArray> replies;
        connect(rig.comm.get(), &MSComm::OnComm, rig.comm.get(), [&] {
            if (rig.comm->CommEvent() != MSComm::comEvReceive)
                return;
            replies << rig.comm->Input();
            rig.comm->setInBufferCount(0);
        });
        const QByteArray reply = bytesOf(20);
        rig.device->inject(reply.left(5));
        QVERIFY(replies.isEmpty());
        rig.device->inject(reply.mid(5));
        QCOMPARE(replies, QList<QByteArray>{reply.left(9)});
        QCOMPARE(rig.comm->InBufferCount(), 0);
        // The 11 bytes beyond the reply are gone; a short straggler raises nothing.
        rig.device->inject(bytesOf(3));
        QCOMPARE(replies.size(), 1);
        QCOMPARE(rig.comm->Input(), bytesOf(3));
    }

    void inputIsBoundedByInputLen()
    {
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        const QByteArray reply = bytesOf(20);
        rig.device->inject(reply);
        rig.comm->setInputLen(9);
        QCOMPARE(rig.comm->Input(), reply.left(9));
        QCOMPARE(rig.comm->InBufferCount(), 11);
        QCOMPARE(rig.comm->Input(), reply.mid(9, 9));
        QCOMPARE(rig.comm->Input(), reply.mid(18));
        QCOMPARE(rig.comm->Input(), QByteArray());

        rig.device->inject(reply);
        rig.comm->setInputLen(0); // all of it
        QCOMPARE(rig.comm->Input(), reply);
        QCOMPARE(rig.comm->InBufferCount(), 0);

        rig.comm->setInputLen(-4); // nonsense counts as "all"
        QCOMPARE(rig.comm->InputLen(), 0);
    }

    void flushDiscardsOwnAndDeviceBytes()
    {
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        rig.device->inject(bytesOf(7));
        QCOMPARE(rig.comm->InBufferCount(), 7);
        rig.comm->setInBufferCount(3); // only 0 means anything
        QCOMPARE(rig.comm->InBufferCount(), 7);
        rig.comm->setInBufferCount(0);
        QCOMPARE(rig.comm->InBufferCount(), 0);
        QCOMPARE(rig.comm->Input(), QByteArray());
        QCOMPARE(rig.device->readAll(), QByteArray()); // the device's own buffer too
    }

    void noReceiveEventForOtherEvents()
    {
        // The transmit event is the one other kind this port raises; a receive
        // handler tells it apart by CommEvent() and must see it from the event loop.
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        rig.comm->setRThreshold(1);
        rig.comm->Output("\x01\x02");
        QVERIFY(rig.events.isEmpty()); // SThreshold 0: no transmit events
        rig.comm->setSThreshold(1);
        rig.comm->Output("\x01\x02");
        QVERIFY(rig.events.isEmpty()); // not from inside Output
        QTRY_COMPARE(rig.events, QList<int>{MSComm::comEvSend});
        QCOMPARE(rig.comm->CommEvent(), int(MSComm::comEvSend));
        rig.device->inject("\x05");
        QCOMPARE(rig.events, (QList<int>{MSComm::comEvSend, MSComm::comEvReceive}));
        QCOMPARE(rig.comm->CommEvent(), int(MSComm::comEvReceive));
    }

    void outputGoesToTheOpenDeviceOnly()
    {
        Rig rig;
        rig.comm->Output("\x02\x03");
        QVERIFY(!rig.comm->PortOpen());
        QCOMPARE(rig.device->written(), QByteArray());
        QVERIFY(rig.comm->setPortOpen(true));
        const QByteArray frame = QByteArray::fromHex("020304010002 94C8");
        rig.comm->Output(frame);
        QCOMPARE(rig.device->written(), frame);
        QCOMPARE(rig.comm->OutBufferCount(), 0);
    }

    void responderAnswersFromTheEventLoop()
    {
        Rig rig;
        rig.device->setResponder([](const QByteArray& request) { return request + "!"; });
        QVERIFY(rig.comm->setPortOpen(true));
        rig.comm->setRThreshold(3);
        rig.comm->Output("ab");
        QCOMPARE(rig.comm->InBufferCount(), 0); // not inside the write
        QTRY_COMPARE(rig.receiveEvents(), 1);
        QCOMPARE(rig.comm->Input(), QByteArray("ab!"));
    }

    void framesAreLoggedAsHex()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tq5900k.frames.debug=true"));
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        QTest::ignoreMessage(QtDebugMsg, "tx 02 03 0A FF");
        rig.comm->Output(QByteArray::fromHex("02030AFF"));
        QTest::ignoreMessage(QtDebugMsg, "rx 02 03");
        rig.device->inject(QByteArray::fromHex("0203"));
        QLoggingCategory::setFilterRules(QString());
    }

    void openUsesPortNumberAndSettings()
    {
        Rig rig;
        QCOMPARE(rig.comm->Settings(), QString("9600,N,8,1"));
        rig.comm->setCommPort(7);
        QVERIFY(rig.comm->setSettings("19200,N,8,1"));
        QVERIFY(!rig.comm->setSettings("19200,E,7,2")); // refused, nothing changes
        QCOMPARE(rig.comm->Settings(), QString("19200,N,8,1"));
        QCOMPARE(rig.comm->systemName(), QString("mem:7"));
        QVERIFY(rig.comm->setPortOpen(true));
        QVERIFY(rig.comm->PortOpen());
        QCOMPARE(rig.comm->lastFailure(), OpenFailure::None);
        QCOMPARE(rig.device->openedName(), QString("mem:7"));
        QCOMPARE(rig.device->baudRate(), 19200);

        // Opening an open port changes nothing; the port number waits for a closed port.
        QVERIFY(rig.comm->setPortOpen(true));
        QCOMPARE(rig.device->openCount(), 1);
        rig.comm->setCommPort(3);
        QCOMPARE(rig.comm->CommPort(), 7);
        // The speed follows the settings while open.
        QVERIFY(rig.comm->setSettings("4800,N,8,1"));
        QCOMPARE(rig.device->baudRate(), 4800);

        QVERIFY(rig.comm->setPortOpen(false));
        QVERIFY(!rig.comm->PortOpen());
        QVERIFY(rig.comm->setPortOpen(false)); // closing a closed port is fine
        rig.comm->setCommPort(3);
        QCOMPARE(rig.comm->CommPort(), 3);
        QVERIFY(rig.comm->setPortOpen(true));
        QCOMPARE(rig.device->openedName(), QString("mem:3"));
        QCOMPARE(rig.device->baudRate(), 4800);
    }

    void openStartsWithAnEmptyInput()
    {
        // Bytes the device held while the port was closed (a pty keeps them) are gone.
        Rig rig;
        rig.comm->setRThreshold(1);
        rig.device->inject("stale");
        QVERIFY(rig.comm->setPortOpen(true));
        QCOMPARE(rig.comm->InBufferCount(), 0);
        rig.device->inject("new");
        QCOMPARE(rig.comm->Input(), QByteArray("new"));
        QCOMPARE(rig.receiveEvents(), 1);

        // Closing drops what was received and not read.
        rig.device->inject("left");
        QVERIFY(rig.comm->setPortOpen(false));
        QCOMPARE(rig.comm->InBufferCount(), 0);
    }

    void openFailures_data()
    {
        QTest::addColumn<OpenFailure>("failure");
        QTest::newRow("busy") << OpenFailure::Busy;
        QTest::newRow("missing") << OpenFailure::Missing;
        QTest::newRow("denied") << OpenFailure::Denied;
        QTest::newRow("settings") << OpenFailure::Settings;
        QTest::newRow("other") << OpenFailure::Other;
    }
    void openFailures()
    {
        QFETCH(OpenFailure, failure);
        Rig rig;
        rig.device->setOpenFailure(failure);
        QVERIFY(!rig.comm->setPortOpen(true));
        QCOMPARE(rig.comm->lastFailure(), failure);
        QVERIFY(!rig.comm->PortOpen());
        QVERIFY(!rig.device->errorText().isEmpty());
        QVERIFY(!rig.comm->setPortOpen(true));
        QCOMPARE(rig.comm->lastFailure(), failure);

        rig.device->setOpenFailure(OpenFailure::None);
        QVERIFY(rig.comm->setPortOpen(true));
        QCOMPARE(rig.comm->lastFailure(), OpenFailure::None);
    }

    void portZeroIsMissing()
    {
        // A typed port text selects no entry: port 0, which no device has.
        auto backend = std::make_unique<MemoryBackend>();
        MemoryBackend* device = backend.get();
        MSComm comm(std::move(backend));
        comm.setPortNameResolver([](int n) { return n > 0 ? QStringLiteral("mem:%1").arg(n) : QString(); });
        comm.setCommPort(0);
        QVERIFY(!comm.setPortOpen(true));
        QCOMPARE(comm.lastFailure(), OpenFailure::Missing);
        QCOMPARE(device->openCount(), 0);
    }

    void deviceLossIsReportedOnce()
    {
        Rig rig;
        QSignalSpy lost(rig.comm.get(), &MSComm::connectionLost);
        QVERIFY(rig.comm->setPortOpen(true));
        rig.comm->setRThreshold(1);
        rig.device->inject("\x01\x02");
        rig.events.clear();
        // A dying device keeps reporting.
        rig.device->vanish();
        rig.device->vanish();
        rig.device->vanish();
        QCOMPARE(lost.count(), 1);
        QVERIFY(!rig.comm->PortOpen());
        QCOMPARE(rig.comm->InBufferCount(), 0);
        QVERIFY(rig.events.isEmpty());
        rig.comm->Output("ignored"); // writing to the lost port does nothing
        QCOMPARE(rig.device->written(), QByteArray());

        // Plugged in again: the port opens and works, and a new loss is reported again.
        QVERIFY(rig.comm->setPortOpen(true));
        rig.device->inject("\x07");
        QCOMPARE(rig.receiveEvents(), 1);
        rig.device->vanish();
        rig.device->vanish();
        QCOMPARE(lost.count(), 2);
    }

    void lossOfAClosedPortIsNotReported()
    {
        Rig rig;
        QSignalSpy lost(rig.comm.get(), &MSComm::connectionLost);
        rig.device->vanish(); // never opened
        QVERIFY(rig.comm->setPortOpen(true));
        QVERIFY(rig.comm->setPortOpen(false));
        rig.device->vanish(); // closed by the program
        QCOMPARE(lost.count(), 0);
    }

    void handlerMayCloseThePort()
    {
        // A receive handler that closes the port (or loses it) leaves MSComm usable.
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        rig.comm->setRThreshold(2);
        connect(rig.comm.get(), &MSComm::OnComm, rig.comm.get(), [&] { rig.comm->setPortOpen(false); });
        rig.device->inject("\x01\x02\x03");
        QVERIFY(!rig.comm->PortOpen());
        QCOMPARE(rig.comm->InBufferCount(), 0);
        QVERIFY(rig.comm->setPortOpen(true));
    }

    void quietTimeRestartsOnEveryArrival()
    {
        Rig rig;
        QVERIFY(rig.comm->setPortOpen(true));
        QTest::qWait(300);
        const qint64 quietBefore = rig.comm->usSinceLastByte();
        QVERIFY(quietBefore >= 300 * 1000);
        rig.device->inject("\x01");
        QVERIFY(rig.comm->usSinceLastByte() < quietBefore);
    }
};

std::unique_ptr<QObject> makeMSCommTest()
{
    return std::make_unique<TestMSComm>();
}

#include "test_mscomm.moc"
