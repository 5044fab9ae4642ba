// The request core over the in-memory port: one request on the line and a queue
// behind it, each request's reply or deadline, late replies, the quiet line
// before a request, cancelling, a closed port, a refused write, the watchdog.

#include "protocol/crc16.h"
#include "requests/request_core.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "../common/memory_line.h"

using namespace requests;
using Submitted = RequestCore::Submitted;
using protocol::ReplyStatus;

namespace {
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The reply a Rig request expects: station 1, function 0x22, 9 bytes.
QByteArray goodReply(char tag = 0x05)
{
    return protocol::appendCrc(hex("01 22 02 00") + QByteArray(3, tag));
}

// A request core on an open memory port, and what its senders were told.
struct Rig : MemoryLine
{
    QObject sender;
    QList<Exchange> told;

    static Request request(int channel = 3, int deadlineMs = 2000)
    {
        Request r;
        r.frame = hex("01 22 02") + char(channel) + hex("00 01 AA BB");
        r.threshold = 9;
        r.shape.station = 1;
        r.shape.function = 0x22;
        r.shape.length = 9;
        r.deadlineMs = deadlineMs;
        r.context = {7, 1, channel, 1, 0};
        return r;
    }

    Submitted submit(const Request& r)
    {
        return core->submit(r, &sender, [this](const Exchange& e) { told << e; });
    }

    // The channels of the frames written so far, in their order.
    QList<int> writtenChannels()
    {
        QList<int> channels;
        const QByteArray bytes = device->written();
        for (int at = 0; at + 8 <= bytes.size(); at += 8)
            channels << int(bytes.at(at + 3));
        return channels;
    }
};
} // namespace

class TestRequestCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The reply is judged against the request it answers before its sender
    // hears of it; whatever came beyond it is discarded.
    void replyIsJudgedAndToldWithItsRequest_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = goodReply();
        QTest::newRow("whole in one chunk") << QList<QByteArray>{good} << int(ReplyStatus::Usable) << good;
        QTest::newRow("in pieces") << QList<QByteArray>{good.left(4), good.mid(4, 4), good.mid(8)}
                                   << int(ReplyStatus::Usable) << good;
        QTest::newRow("noise after it discarded")
            << QList<QByteArray>{good + hex("55 66 77 88")} << int(ReplyStatus::Usable) << good;
        QByteArray broken = good;
        broken[5] = char(broken[5] ^ 0x10);
        QTest::newRow("CRC broken") << QList<QByteArray>{broken} << int(ReplyStatus::CrcError) << broken;
        const QByteArray otherStation = protocol::appendCrc(hex("02 22 02 00 05 05 05"));
        QTest::newRow("another station") << QList<QByteArray>{otherStation} << int(ReplyStatus::Mismatch)
                                         << otherStation;
        // Recognised at once, though the reply it stands for would be longer.
        const QByteArray refused = protocol::appendCrc(hex("01 A2 02"));
        QTest::newRow("refused") << QList<QByteArray>{refused} << int(ReplyStatus::Exception) << refused;
    }
    void replyIsJudgedAndToldWithItsRequest()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, status);
        QFETCH(QByteArray, bytes);
        Rig rig;
        QCOMPARE(rig.submit(Rig::request(3, 5000)), Submitted::Queued);
        QCOMPARE(rig.device->written(), Rig::request().frame);
        for (const QByteArray& chunk : chunks)
            rig.device->inject(chunk);
        QTRY_COMPARE(rig.told.size(), 1);
        QCOMPARE(int(rig.told[0].reply.status), status);
        QCOMPARE(rig.told[0].reply.bytes, bytes);
        QCOMPARE(rig.told[0].request.context.channel, 3);
        QVERIFY(!rig.told[0].late);
        QCOMPARE(rig.comm->InBufferCount(), 0);
        QVERIFY(rig.core->idle());
    }

    // An adapter that hears its own sending hands the request back before the
    // reply: with the line's echo set, those bytes are dropped, checked to be
    // the request; otherwise they are bytes before the reply, skipped.
    void echoOfTheRequestIsDropped_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("echoBytes");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("replyAfterMs"); // after the echo: the module's turnaround
        const QByteArray frame = Rig::request().frame;
        QTest::newRow("echo") << true << frame << 8 << 0 << 0;
        QTest::newRow("echo, the reply well after it") << true << frame << 8 << 0 << 300;
        QTest::newRow("echo set, none came") << true << QByteArray() << 0 << 0 << 0;
        QTest::newRow("echo set, a damaged one") << true << hex("01 22 02 03 00 01 AA BC") << 0 << 8 << 0;
        QTest::newRow("echo not set") << false << frame << 0 << 8 << 0;
    }
    void echoOfTheRequestIsDropped()
    {
        QFETCH(bool, echo);
        QFETCH(QByteArray, before);
        QFETCH(int, echoBytes);
        QFETCH(int, skipped);
        QFETCH(int, replyAfterMs);
        Rig rig;
        LineTuning tuning;
        tuning.echo = echo;
        rig.core->setLineTuning(tuning);
        QCOMPARE(rig.submit(Rig::request(3, 5000)), Submitted::Queued);
        if (!before.isEmpty())
            rig.device->inject(before);
        QTimer::singleShot(replyAfterMs, rig.core.get(), [&rig] { rig.device->inject(goodReply()); });
        QTRY_COMPARE(rig.told.size(), 1);
        QCOMPARE(int(rig.told[0].reply.status), int(ReplyStatus::Usable));
        QCOMPARE(rig.told[0].reply.bytes, goodReply());
        QCOMPARE(rig.told[0].echoBytes, echoBytes);
        QCOMPARE(rig.told[0].reply.skipped, skipped);
        QVERIFY(rig.told[0].replyMs >= 0);
    }

    // The pause between requests holds the next one back after an exchange
    // ends, however quickly its reply came.
    void pauseBetweenRequests()
    {
        Rig rig;
        LineTuning tuning;
        tuning.gapMs = 300;
        rig.core->setLineTuning(tuning);
        rig.device->setResponder([](const QByteArray&) { return goodReply(); });
        QElapsedTimer clock;
        QList<qint64> writtenAt;
        QObject::connect(rig.core.get(), &RequestCore::requestWritten,
                         [&](const Request&) { writtenAt << clock.elapsed(); });
        clock.start();
        rig.submit(Rig::request(3, 5000));
        rig.submit(Rig::request(4, 5000));
        QTRY_COMPARE_WITH_TIMEOUT(rig.told.size(), 2, 5000);
        QCOMPARE(writtenAt.size(), 2);
        QVERIFY2(writtenAt[1] - writtenAt[0] >= 300, qPrintable(QString::number(writtenAt[1] - writtenAt[0])));
        QCOMPARE(int(rig.told[1].reply.status), int(ReplyStatus::Usable));
    }

    // A reply time-out longer than the watchdog's 3 s moves the watchdog with it.
    void longTimeoutMovesTheWatchdog()
    {
        Rig rig;
        QCOMPARE(rig.core->overdueAfterMs(), RequestCore::NoReplyTimeoutMs);
        LineTuning tuning;
        tuning.replyTimeoutMs = 4500;
        rig.core->setLineTuning(tuning);
        QCOMPARE(rig.core->overdueAfterMs(), 4500);
        rig.submit(Rig::request(3, 0)); // a command's wait
        QVERIFY(rig.core->watchdogRemainingMs() > RequestCore::NoReplyTimeoutMs);
    }

    // One request on the line: the others wait in the order given, and a sender
    // that queues its next request while being told goes behind those queued before.
    void requestsWaitTheirTurnInOrder()
    {
        Rig rig;
        QList<int> order;
        connect(rig.core.get(), &RequestCore::requestWritten, this,
                [&](const Request& r) { order << r.context.channel; });
        QObject pass;
        int passChannel = 1;
        std::function<void()> passNext = [&] {
            rig.core->submit(Rig::request(passChannel, 5000), &pass, [&](const Exchange&) {
                if (++passChannel <= 3)
                    passNext();
            });
        };
        passNext();
        rig.submit(Rig::request(8, 5000));
        rig.submit(Rig::request(9, 5000));
        QCOMPARE(rig.core->waiting(), 2);
        for (int answered = 0; answered < 5; ++answered) {
            QTRY_COMPARE(order.size(), answered + 1); // the next goes out only after this one's reply
            rig.device->inject(goodReply());
        }
        QTRY_VERIFY(rig.core->idle());
        // The commands given during channel 1 go out before the pass's channel 2.
        QCOMPARE(order, (QList<int>{1, 8, 9, 2, 3}));
    }

    void queueHasABound()
    {
        Rig rig;
        rig.core->setQueueBound(2);
        QCOMPARE(rig.submit(Rig::request(1)), Submitted::Queued); // on the line
        QCOMPARE(rig.submit(Rig::request(2)), Submitted::Queued);
        QCOMPARE(rig.submit(Rig::request(3)), Submitted::Queued);
        QCOMPARE(rig.submit(Rig::request(4)), Submitted::QueueFull);
        QCOMPARE(rig.core->waiting(), 2);
    }

    // The deadline runs from the write, also while the port holds bytes that
    // cannot make a whole reply yet: a slow line does not double the wait.
    void deadlineRunsFromTheWriteWhileInputIsHeld()
    {
        Rig rig;
        rig.comm->setSettings(QStringLiteral("1200,N,8,1"));
        Request slow = Rig::request(3, 1000);
        slow.shape.length = 110; // held for its line time, about 975 ms at 1200 baud
        QElapsedTimer clock;
        clock.start();
        rig.submit(slow);
        QTRY_COMPARE_WITH_TIMEOUT(rig.told.size(), 1, 5000);
        QCOMPARE(int(rig.told[0].reply.status), int(ReplyStatus::NoReply));
        QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 1700, qPrintable(QString::number(clock.elapsed())));
    }

    // A reply after its request's deadline is still taken for it, until another
    // request goes out; then such bytes belong to nobody.
    void lateReplyIsTakenUntilTheNextRequest()
    {
        Rig rig;
        rig.submit(Rig::request(3, 50));
        QTRY_COMPARE(rig.told.size(), 1);
        QCOMPARE(int(rig.told[0].reply.status), int(ReplyStatus::NoReply));
        rig.device->inject(goodReply());
        QTRY_COMPARE(rig.told.size(), 2);
        QVERIFY(rig.told[1].late);
        QCOMPARE(int(rig.told[1].reply.status), int(ReplyStatus::Usable));
        QCOMPARE(rig.told[1].request.context.channel, 3);

        Request notLate = Rig::request(4, 50);
        notLate.lateReplyTaken = false;
        rig.submit(notLate);
        QTRY_COMPARE(rig.told.size(), 3);
        rig.submit(Rig::request(5, 50));
        QTRY_COMPARE(rig.told.size(), 4);
        rig.submit(Rig::request(6, 50)); // channel 5's wait is over and 6 went out
        rig.device->inject(goodReply());
        QTRY_COMPARE(rig.told.size(), 5);
        QCOMPARE(rig.told[4].request.context.channel, 6);
        QVERIFY(!rig.told[4].late);
    }

    // A request that asks for a quiet line goes out only once no byte has come
    // for its gap; bytes that never stop give way to its deadline.
    void requestWaitsForAQuietLine()
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
        Request quiet = Rig::request(3, 5000);
        quiet.quietGapUs = 200000; // far above the feeding interval: a late timer is no silence
        QSignalSpy written(rig.core.get(), &RequestCore::requestWritten);
        QElapsedTimer clock;
        clock.start();
        rig.submit(quiet);
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 1, 5000);
        QVERIFY2(clock.elapsed() >= 320, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(fed >= 6);
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

    // A sender that gives up hears nothing more; the request on the line keeps
    // the line until its deadline, so its reply cannot collide with the next one.
    void cancelledRequestsAreNotTold()
    {
        Rig rig;
        QObject other;
        QList<Exchange> otherTold;
        rig.submit(Rig::request(1, 300));
        rig.submit(Rig::request(2, 300));
        rig.core->submit(Rig::request(8, 300), &other, [&](const Exchange& e) { otherTold << e; });
        rig.core->cancel(&rig.sender);
        QCOMPARE(rig.core->waiting(), 1);
        rig.device->written();
        QTest::qWait(100);
        QCOMPARE(rig.device->written(), QByteArray()); // channel 1 still has the line
        QTRY_COMPARE(otherTold.size(), 1);
        QCOMPARE(rig.told.size(), 0);
        QCOMPARE(otherTold[0].request.context.channel, 8);
    }

    // Closing the port (or losing it) ends every wait: each sender is told, and
    // nothing goes out while it is closed.
    void closedPortCancelsWhatWaits()
    {
        Rig rig;
        rig.submit(Rig::request(1));
        rig.submit(Rig::request(2));
        rig.comm->setPortOpen(false);
        QCOMPARE(rig.told.size(), 2);
        for (const Exchange& e : rig.told)
            QCOMPARE(int(e.ending), int(Exchange::Ending::Cancelled));
        QVERIFY(rig.core->idle());
        QCOMPARE(rig.submit(Rig::request(3)), Submitted::PortClosed);
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);
    }

    // A frame the port refuses is not on the line: it is neither recorded as
    // written nor awaited.
    void refusedWriteIsNotWritten()
    {
        Rig rig;
        QSignalSpy written(rig.core.get(), &RequestCore::requestWritten);
        rig.device->setWriteRefused(true);
        rig.submit(Rig::request(1));
        QCOMPARE(rig.told.size(), 1);
        QCOMPARE(int(rig.told[0].ending), int(Exchange::Ending::NotWritten));
        QVERIFY(!rig.told[0].writeError.isEmpty());
        QCOMPARE(written.size(), 0);
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);
        QVERIFY(rig.core->idle());
    }

    // Bytes that come while nothing is awaited belong to nobody; the port's
    // receive event still hands them over to be shown.
    void strayBytesAreNobodysReply()
    {
        Rig rig;
        QSignalSpy stray(rig.core.get(), &RequestCore::strayBytes);
        Request once = Rig::request(1, 5000);
        rig.submit(once);
        rig.device->inject(goodReply());
        QTRY_COMPARE(rig.told.size(), 1);
        rig.device->inject(goodReply(0x07));
        QCOMPARE(stray.size(), 1);
        QCOMPARE(rig.told.size(), 1);
    }

    void watchdogRunsFromTheOldestUnansweredRequest()
    {
        Rig rig;
        QSignalSpy overdue(rig.core.get(), &RequestCore::overdue);
        rig.submit(Rig::request(1, 200));
        QTRY_COMPARE(rig.told.size(), 1);
        QTest::qWait(400);
        rig.submit(Rig::request(2, 200)); // a later request does not restart the clock
        QVERIFY(rig.core->watchdogRemainingMs() <= RequestCore::NoReplyTimeoutMs - 300);
        rig.device->inject(goodReply());
        QTRY_COMPARE(rig.told.size(), 2);
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);
        QVERIFY(!rig.core->isOverdue());

        rig.submit(Rig::request(3, 200));
        QVERIFY(rig.core->watchdogRemainingMs() > 0);
        rig.device->vanish(); // nothing is awaited from a device that went away
        QCOMPARE(rig.core->watchdogRemainingMs(), -1);
        QCOMPARE(overdue.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRequestCore)
#include "test_request_core.moc"
