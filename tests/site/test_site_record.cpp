// A channel's reply as the records a reader prints and publishes: which records a
// judged reply yields, and their CSV and JSON lines, good values and gaps side by side.

#include "protocol/crc16.h"
#include "site/site_record.h"

#include <QtTest>

using namespace site;
using protocol::ReplyStatus;

Q_DECLARE_METATYPE(protocol::ReplyStatus)

namespace {

constexpr qint64 kTime = 1796682788123; // 2026-12-07T22:33:08.123Z

// The temperature reply of station 2 carrying `registers`.
QByteArray replyOf(const QVector<quint16>& registers)
{
    QByteArray frame("\x02\x03", 2);
    frame.append(char(registers.size() * 2));
    for (quint16 r : registers) {
        frame.append(char(r >> 8));
        frame.append(char(r & 0xFF));
    }
    return protocol::appendCrc(frame);
}

requests::Request channelRequest(int channel, int count)
{
    requests::Request request;
    request.context = {1, 2, channel, count, 1};
    return request;
}

} // namespace

class TestSiteRecord : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordsOfAReply_data()
    {
        QTest::addColumn<ReplyStatus>("status");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("csv"); // every line the channel yields

        const QByteArray three = replyOf({2345, 0xFF38, 0xBAD2});
        QTest::newRow("whole reply") << ReplyStatus::Usable << three << 3
                                     << QByteArray("2026-12-07T22:33:08.123Z,2,7,1,23.45,ok,2345\n"
                                                   "2026-12-07T22:33:08.123Z,2,7,2,-2.00,ok,65336\n"
                                                   "2026-12-07T22:33:08.123Z,2,7,3,,not_wired,47826\n");
        QTest::newRow("cut short: what came, then the gap")
            << ReplyStatus::CutShort << three.left(7) << 3
            << QByteArray("2026-12-07T22:33:08.123Z,2,7,1,23.45,ok,2345\n"
                          "2026-12-07T22:33:08.123Z,2,7,,,no_reply,\n");
        QTest::newRow("no value, not recognised")
            << ReplyStatus::Usable << replyOf({0xFFFF, 0xB492}) << 2
            << QByteArray("2026-12-07T22:33:08.123Z,2,7,1,,no_value,65535\n"
                          "2026-12-07T22:33:08.123Z,2,7,2,,not_recognised,46226\n");
        // What is wrong with a reply is told apart: a CRC error is not a reply to another request.
        QTest::newRow("CRC error")
            << ReplyStatus::CrcError << three << 3 << QByteArray("2026-12-07T22:33:08.123Z,2,7,,,crc_error,\n");
        QTest::newRow("another request's reply")
            << ReplyStatus::Mismatch << three << 3 << QByteArray("2026-12-07T22:33:08.123Z,2,7,,,mismatch,\n");
        QTest::newRow("the module refused")
            << ReplyStatus::Exception << three << 3 << QByteArray("2026-12-07T22:33:08.123Z,2,7,,,exception,\n");
        QTest::newRow("nothing came") << ReplyStatus::NoReply << QByteArray() << 3
                                      << QByteArray("2026-12-07T22:33:08.123Z,2,7,,,no_reply,\n");
    }
    void recordsOfAReply()
    {
        QFETCH(ReplyStatus, status);
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        QFETCH(QByteArray, csv);
        const protocol::JudgedReply reply{status, bytes, 0};
        const ChannelRecords records = channelRecords(reply, channelRequest(7, count), count, kTime);
        QByteArray lines;
        for (const history::Reading& reading : records.readings)
            lines += csvLine(reading);
        if (records.failure)
            lines += csvLine(*records.failure);
        QCOMPARE(lines, csv);
    }

    void jsonCarriesTheSameFields()
    {
        const history::Reading reading = history::readingFromRaw(kTime, 2, 7, 12, 0xFC18);
        QCOMPARE(jsonObject(reading),
                 QByteArray("{\"time\":\"2026-12-07T22:33:08.123Z\",\"station\":2,\"channel\":"
                            "7,\"position\":12,\"value\":-10.00,\"state\":\"ok\",\"raw\":64536}"));
        const history::Reading notWired = history::readingFromRaw(kTime, 2, 7, 12, 0xBAD2);
        QVERIFY(jsonObject(notWired).contains("\"value\":null,\"state\":\"not_wired\",\"raw\":47826}"));
        const ChannelFailure failure{kTime, 3, 10, ReplyFailure::CrcError};
        QCOMPARE(jsonObject(failure),
                 QByteArray("{\"time\":\"2026-12-07T22:33:08.123Z\",\"station\":3,\"channel\":"
                            "10,\"position\":null,\"value\":null,\"state\":\"crc_error\","
                            "\"raw\":null}"));
        QCOMPARE(csvHeader(), QByteArray("time,station,channel,position,value,state,raw\n"));
    }
};

QTEST_GUILESS_MAIN(TestSiteRecord)
#include "test_site_record.moc"
