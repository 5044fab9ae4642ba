// The request core over the in-memory port: one request on the line, replies
// taken by the receive event or by their sender, each handed on with the
// request it answers, the quiet-line wait and the no-reply watchdog.

#include "port/memory_backend.h"
#include "requests/request_core.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace requests;
using SendResult = RequestCore::SendResult;

namespace {
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A request core on an open memory port.
struct Rig
{
    port::MemoryBackend* device = nullptr;
    std::unique_ptr<port::MSComm> comm;
    std::unique_ptr<RequestCore> core;
    QList<Reply> handled;

    Rig()
    {
        auto backend = std::make_unique<port::MemoryBackend>();
        device = backend.get();
        comm = std::make_unique<port::MSComm>(std::move(backend));
        comm->setPortNameResolver([](int n) { return QStringLiteral("mem:%1").arg(n); });
        comm->setPortOpen(true);
        core = std::make_unique<RequestCore>(comm.get());
        core->setHandler(7, [this](const Reply& reply) {
            handled << reply;
            return true;
        });
    }

    static Request request(int threshold, int replyLength, int channel = 3)
    {
        Request r;
        r.frame = hex("01 22 02 03 00 01 AA BB");
        r.threshold = threshold;
        r.replyLength = replyLength;
        r.context = {7, 1, channel, 1, 0};
        return r;
    }
};
} // namespace

class TestRequestCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replyGoesToItsKindsHandlerWithItsRequest_data()
    {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<QList<int>>("chunks");
        QTest::addColumn<int>("taken"); // bytes handed on; -1: no reply handed on
        QTest::newRow("whole reply in one chunk") << 9 << 9 << QList<int>{9} << 9;
        QTest::newRow("below the threshold") << 9 << 9 << QList<int>{8} << -1;
        QTest::newRow("reached by the last chunk") << 9 << 9 << QList<int>{4, 4, 1} << 9;
        QTest::newRow("20 bytes for 9: the rest discarded") << 9 << 9 << QList<int>{20} << 9;
        QTest::newRow("taken at the threshold, up to the reply length") << 13 << 14 << QList<int>{13} << 13;
    }
    void replyGoesToItsKindsHandlerWithItsRequest()
    {
        QFETCH(int, threshold);
        QFETCH(int, replyLength);
        QFETCH(QList<int>, chunks);
        QFETCH(int, taken);
        Rig rig;
        QCOMPARE(rig.core->send(Rig::request(threshold, replyLength)), SendResult::Sent);
        QCOMPARE(rig.device->written(), Rig::request(threshold, replyLength).frame);
        QByteArray sent;
        for (int n : chunks) {
            const QByteArray chunk(n, char(sent.size() + 1));
            sent += chunk;
            rig.device->inject(chunk);
        }
        if (taken < 0) {
            QVERIFY(rig.handled.isEmpty());
            return;
        }
        QCOMPARE(rig.handled.size(), 1);
        QCOMPARE(rig.handled[0].bytes, sent.left(taken));
        QCOMPARE(rig.handled[0].request.context.channel, 3);
        QCOMPARE(rig.comm->InBufferCount(), 0);
    }

    // A port reopened meanwhile arms the receive event at 1 byte: the handler must
    // still get the reply whole.
    void handlerNeverGetsLessThanItsRequestWaitsFor()
    {
        Rig rig;
        rig.core->send(Rig::request(9, 9));
        rig.comm->setRThreshold(1);
        rig.device->inject(QByteArray(5, '\x01'));
        QVERIFY(rig.handled.isEmpty());
        rig.device->inject(QByteArray(4, '\x02'));
        QCOMPARE(rig.handled.size(), 1);
        QCOMPARE(rig.handled[0].bytes.size(), 9);
    }

    void portClosedSendsNothingButTheRequestIsAwaited()
    {
        Rig rig;
        rig.comm->setPortOpen(false);
        QCOMPARE(rig.core->send(Rig::request(6, 7, 5)), SendResult::PortClosed);
        QCOMPARE(rig.device->written(), QByteArray());
        QCOMPARE(rig.core->pending().context.kind, 7);
        QCOMPARE(rig.core->pending().context.channel, 5);
        QCOMPARE(rig.core->watchdogRemainingMs(), -1); // nothing went out, nothing is overdue
    }

    // One request on the line: while a sender waits for its reply, another
    // request is refused and the awaited one stays as it was.
    void secondRequestWhileOneIsAwaitedIsRefused()
    {
        Rig rig;
        rig.core->send(Rig::request(9, 9, 3));
        rig.device->written();
        SendResult nested = SendResult::Sent;
        QTimer::singleShot(10, rig.core.get(), [&] {
            nested = rig.core->send(Rig::request(9, 9, 8));
            rig.device->inject(QByteArray(9, '\x01'));
        });
        QVERIFY(rig.core->waitForReply(5000));
        QCOMPARE(nested, SendResult::LineBusy);
        QCOMPARE(rig.device->written(), QByteArray());
        QCOMPARE(rig.handled.size(), 1);
        QCOMPARE(rig.handled[0].request.context.channel, 3);
        QVERIFY(!rig.core->lineBusy());
        QCOMPARE(rig.core->send(Rig::request(9, 9, 8)), SendResult::Sent);
    }

    // A sender that takes its reply itself gets every byte, even with the receive
    // event armed by a reopened port meanwhile; it stops waiting once the reply is whole.
    void senderTakesItsOwnReply()
    {
        Rig rig;
        rig.core->send(Rig::request(0, 9));
        QTimer::singleShot(10, rig.core.get(), [&] {
            rig.comm->setRThreshold(1);
            rig.device->inject(hex("01 02 03"));
            rig.device->inject(hex("04 05 06 07 08 09"));
        });
        QElapsedTimer clock;
        clock.start();
        const QByteArray reply =
            rig.core->takeReply(5000, [](const QByteArray& bytes) { return bytes.size() >= 9; });
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(reply, hex("01 02 03 04 05 06 07 08 09"));
        QVERIFY(rig.handled.isEmpty());
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);

        // At the deadline it takes what came, whole or not.
        rig.core->send(Rig::request(0, 9));
        QTimer::singleShot(10, rig.core.get(), [&] { rig.device->inject(hex("01 02")); });
        QCOMPARE(rig.core->takeReply(100, [](const QByteArray& bytes) { return bytes.size() >= 9; }),
                 hex("01 02"));
    }

    // What a traffic record hears: each frame written, and each reply taken with
    // its request, by either road; a refused send and an empty take are silent.
    void writesAndTakenRepliesAreSignalledWithTheirRequests()
    {
        Rig rig;
        QSignalSpy written(rig.core.get(), &RequestCore::requestWritten);
        QSignalSpy taken(rig.core.get(), &RequestCore::replyTaken);

        rig.core->send(Rig::request(9, 9, 4));
        rig.device->inject(QByteArray(9, '\x05'));
        rig.core->send(Rig::request(0, 9, 6));
        QTimer::singleShot(10, rig.core.get(), [&] { rig.device->inject(hex("01 02")); });
        rig.core->takeReply(100, [](const QByteArray&) { return false; });
        rig.core->send(Rig::request(0, 9, 8));
        rig.core->takeReply(20, [](const QByteArray&) { return false; }); // nothing came
        rig.comm->setPortOpen(false);
        rig.core->send(Rig::request(9, 9, 9));

        QCOMPARE(written.size(), 3);
        QList<int> writtenChannels;
        for (const QList<QVariant>& args : written)
            writtenChannels << args[0].value<Request>().context.channel;
        QCOMPARE(writtenChannels, (QList<int>{4, 6, 8}));
        QCOMPARE(taken.size(), 2);
        const auto first = taken[0][0].value<Reply>();
        const auto second = taken[1][0].value<Reply>();
        QCOMPARE(first.bytes, QByteArray(9, '\x05'));
        QCOMPARE(first.request.context.channel, 4);
        QCOMPARE(second.bytes, hex("01 02"));
        QCOMPARE(second.request.context.channel, 6);
    }

    void quietLineRule_data()
    {
        QTest::addColumn<qint64>("sinceLastByteUs");
        QTest::addColumn<qint64>("waitedUs");
        QTest::addColumn<qint64>("waitUs"); // 0: quiet; -1: gave up
        // Gap 3646 us (3.5 characters at 9600 baud), deadline 500 ms.
        QTest::newRow("quiet at once") << qint64(3646) << qint64(0) << qint64(0);
        QTest::newRow("byte just before: wait for the rest of the gap")
            << qint64(3000) << qint64(0) << qint64(646);
        QTest::newRow("the deadline comes before the silence")
            << qint64(10) << qint64(499000) << qint64(1000);
        QTest::newRow("still busy at the deadline") << qint64(10) << qint64(500000) << qint64(-1);
        QTest::newRow("quiet wins over the deadline") << qint64(3646) << qint64(900000) << qint64(0);
    }
    void quietLineRule()
    {
        QFETCH(qint64, sinceLastByteUs);
        QFETCH(qint64, waitedUs);
        QFETCH(qint64, waitUs);
        QCOMPARE(quietLineWaitUs(sinceLastByteUs, waitedUs, 3646, 500000), waitUs);
    }

    // A gap far above the feeding interval, so that a loaded machine's late timer
    // is not taken for silence.
    void quietLineWaitOutlastsTheBytesStillComing()
    {
        Rig rig;
        QTimer feeder;
        int fed = 0;
        QObject::connect(&feeder, &QTimer::timeout, rig.core.get(), [&] {
            if (++fed <= 6)
                rig.device->inject("\x01");
        });
        rig.device->inject("\x01");
        feeder.start(20); // a byte every 20 ms for 120 ms
        QElapsedTimer clock;
        clock.start();
        QVERIFY(rig.core->waitForQuietLine(200000, 5000));
        QVERIFY2(clock.elapsed() >= 320, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(fed >= 6);
        // Bytes that never stop: it gives up at its deadline.
        fed = -1000;
        rig.device->inject("\x01");
        clock.restart();
        QVERIFY(!rig.core->waitForQuietLine(200000, 300));
        QVERIFY(clock.elapsed() >= 300);
    }

    void watchdogRunsFromTheOldestUnansweredRequest()
    {
        Rig rig;
        QSignalSpy overdue(rig.core.get(), &RequestCore::overdue);
        rig.core->send(Rig::request(9, 9));
        QTest::qWait(600);
        rig.core->send(Rig::request(9, 9)); // a later request does not restart the clock
        QVERIFY(rig.core->watchdogRemainingMs() <= RequestCore::NoReplyTimeoutMs - 300);
        rig.device->inject(QByteArray(9, '\x01'));
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);
        QVERIFY(!rig.core->isOverdue());

        rig.core->send(Rig::request(9, 9));
        QVERIFY(rig.core->watchdogRemainingMs() > 0);
        rig.device->vanish(); // nothing is awaited from a device that went away
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);
        QCOMPARE(overdue.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRequestCore)
#include "test_request_core.moc"
