// The traffic record: the ring that keeps the last frames, their text and file,
// the median reply time, and the recorder following a request core over the
// in-memory port.

#include "protocol/crc16.h"
#include "traffic/traffic_recorder.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <ctime>

#include "../common/recorded_line.h"
#include "../common/test_files.h"

using namespace traffic;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A read of two registers on `channel`; `deadlineMs` and whether a reply cut
// short by it is used as far as it goes, as the pass does.
requests::Request request(int channel, int deadlineMs = 1000, bool cutShortUsable = false)
{
    requests::Request r;
    r.frame = hex("01 03") + char(channel) + hex("00 00 02 AA BB");
    r.threshold = 9;
    r.shape.station = 1;
    r.shape.function = 3;
    r.shape.length = 9;
    r.shape.byteCount = 4;
    r.deadlineMs = deadlineMs;
    r.cutShortUsable = cutShortUsable;
    r.context = {1, 1, channel, 2, 0};
    return r;
}

// A recorder of four entries on a request core over an open memory port.
struct Rig : RecordedLine
{
    Rig() : RecordedLine(4, 1000) {}

    // "<direction> <hex> <verdict>" of each entry held, oldest first.
    QStringList entries() const
    {
        QStringList lines;
        const TrafficRing& record = recorder.record();
        for (int i = 0; i < record.size(); ++i)
            lines << QStringLiteral("%1 %2 %3")
                         .arg(directionText(record.at(i).direction),
                              QString::fromLatin1(record.at(i).bytes.toHex()),
                              verdictText(record.at(i).verdict));
        return lines;
    }
};

} // namespace

class TestTraffic : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC"); // the record shows local time
        tzset();
    }

    void ringKeepsTheLastEntries_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("appended");
        QTest::addColumn<QString>("held"); // sequence numbers, oldest first
        QTest::newRow("empty") << 3 << 0 << "";
        QTest::newRow("not yet full") << 3 << 2 << "0 1";
        QTest::newRow("just full") << 3 << 3 << "0 1 2";
        QTest::newRow("one past full") << 3 << 4 << "1 2 3";
        QTest::newRow("round twice and more") << 3 << 7 << "4 5 6";
        QTest::newRow("room for one") << 1 << 5 << "4";
    }
    void ringKeepsTheLastEntries()
    {
        QFETCH(int, capacity);
        QFETCH(int, appended);
        QFETCH(QString, held);
        TrafficRing ring(capacity);
        for (int i = 0; i < appended; ++i)
            QCOMPARE(ring.append({0, Direction::Out, QByteArray::number(i), Verdict::Sent}), quint64(i));
        QStringList seen;
        for (int i = 0; i < ring.size(); ++i)
            seen << QString::fromLatin1(ring.at(i).bytes);
        QCOMPARE(seen.join(QLatin1Char(' ')), held);

        // Found by sequence number only while held.
        const quint64 first = ring.firstSequence();
        QCOMPARE(first, quint64(appended - ring.size()));
        QVERIFY(ring.find(quint64(appended)) == nullptr);
        if (first > 0)
            QVERIFY(ring.find(first - 1) == nullptr);
        if (ring.size() > 0)
            QCOMPARE(ring.find(first)->bytes, QByteArray::number(qint64(first)));

        ring.clear();
        QCOMPARE(ring.size(), 0);
        QCOMPARE(ring.append({}), quint64(appended));
        QCOMPARE(ring.size(), 1);
    }

    void medianOfRecentReplyTimes_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<double>("median"); // -1: none
        QTest::newRow("none yet") << 5 << QList<qint64>{} << -1.0;
        QTest::newRow("one") << 5 << QList<qint64>{42} << 42.0;
        QTest::newRow("odd count, unsorted") << 5 << QList<qint64>{30, 10, 20} << 20.0;
        QTest::newRow("even count: mean of the middle two") << 5 << QList<qint64>{40, 10, 30, 20} << 25.0;
        QTest::newRow("even count with equal middles") << 5 << QList<qint64>{7, 7, 1, 9} << 7.0;
        QTest::newRow("older times forgotten") << 3 << QList<qint64>{100, 100, 100, 1, 2, 3} << 2.0;
        QTest::newRow("forgotten in the order they came") << 3 << QList<qint64>{1, 2, 100, 100, 5} << 100.0;
    }
    void medianOfRecentReplyTimes()
    {
        QFETCH(int, window);
        QFETCH(QList<qint64>, times);
        QFETCH(double, median);
        MedianWindow replyTimes(window);
        for (qint64 t : times)
            replyTimes.add(t);
        QCOMPARE(replyTimes.median().value_or(-1.0), median);
        QVERIFY(replyTimes.count() <= window);
    }

    void recordAsTextAndFile()
    {
        TrafficRing ring;
        ring.append({1700000000123, Direction::Out, hex("01 03 00 00 00 02 C4 0B"), Verdict::NoReply});
        ring.append({1700000001005, Direction::In, hex("01 03 04 0A 0B"), Verdict::CrcError});
        ring.append({1700000002000, Direction::In, hex("01 83 02 C0 F1"), Verdict::Refused, QStringLiteral("MBAP")});
        const QByteArray text = "2023-11-14 22:13:20.123  发送  01 03 00 00 00 02 C4 0B  无应答\r\n"
                                "2023-11-14 22:13:21.005  接收  01 03 04 0A 0B  CRC校验错误\r\n"
                                "2023-11-14 22:13:22.000  接收 MBAP  01 83 02 C0 F1  模块异常响应\r\n";
        QCOMPARE(recordText(ring), text);

        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("traffic.txt"));
        QVERIFY(saveRecord(path, ring));
        QCOMPARE(fileBytes(path), text);
        QVERIFY(!saveRecord(folder.filePath(QStringLiteral("no/such/folder.txt")), ring));
    }

    // The core's verdicts reach the record: a reply used, bytes nobody asked
    // for, a reply cut short, no reply; a verdict on an older request finds
    // only its channel's counts.
    void recorderFollowsTheCore()
    {
        Rig rig;
        QObject sender;
        const auto submit = [&](const requests::Request& r) {
            QCOMPARE(rig.core->submit(r, &sender, [](const requests::Exchange&) {}),
                     requests::RequestCore::Submitted::Queued);
        };
        // A reply 42 ms after the write.
        submit(request(1));
        rig.now += 42;
        rig.device->inject(protocol::appendCrc(hex("01 03 04 00 01 00 02")));
        QTRY_VERIFY(rig.core->idle());
        // More bytes when nothing is awaited: recorded, but nobody's reply.
        rig.now += 100;
        rig.device->inject(hex("01 03 04 00 01 00 02 AA BB"));

        // 10 ms after the write the start of a reply, then nothing until the deadline.
        submit(request(2, 50, true));
        rig.now += 10;
        QTimer::singleShot(5, rig.core.get(), [&] { rig.device->inject(hex("01 03 04 00")); });
        QTRY_VERIFY(rig.core->idle());

        // No reply at all.
        submit(request(2, 10));
        QTRY_VERIFY(rig.core->idle());

        // The record holds the last four frames; a verdict on an older request is only counted.
        rig.recorder.noteVerdict(request(1), Verdict::CrcError);
        QCOMPARE(rig.entries(), (QStringList{
                                    "接收 01030400010002aabb 未判定",
                                    "发送 010302000002aabb 已发送",
                                    "接收 01030400 应答不完整",
                                    "发送 010302000002aabb 无应答",
                                }));

        const ChannelStats& one = rig.recorder.stats().at(1);
        QCOMPARE(one.requests, 1);
        QCOMPARE(one.replies, 1);
        QCOMPARE(one.crcErrors, 1);
        QCOMPARE(one.replyTimes.median(), std::optional<double>(42));
        const ChannelStats& two = rig.recorder.stats().at(2);
        QCOMPARE(two.requests, 2);
        QCOMPARE(two.replies, 1);
        QCOMPARE(two.noReplies, 1);
        QCOMPARE(two.replyTimes.median(), std::optional<double>(10));
    }

    // A request asked again is counted as a retry, and the zeros before its
    // reply as skipped bytes, in its channel's statistics.
    void retriesAndSkippedBytesCounted()
    {
        Rig rig;
        QObject sender;
        requests::Request again = request(3);
        again.retry = 1;
        QCOMPARE(rig.core->submit(again, &sender, [](const requests::Exchange&) {}),
                 requests::RequestCore::Submitted::Queued);
        rig.device->inject(QByteArray(3, 0) + protocol::appendCrc(hex("01 03 04 00 01 00 02")));
        QTRY_VERIFY(rig.core->idle());
        const ChannelStats& three = rig.recorder.stats().at(3);
        QCOMPARE(three.retries, 1);
        QCOMPARE(three.skippedBytes, 3);
        QCOMPARE(three.replies, 1);
    }
};

QTEST_GUILESS_MAIN(TestTraffic)
#include "test_traffic.moc"
