// Modbus TCP framing: frames in the line's form out, gateway frames back, fed
// with hex frames and their broken versions.

#include "protocol/crc16.h"
#include "protocol/mbap.h"

#include <QtTest>

using namespace protocol;

static QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

class TestMbap : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void wrap_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("transactionId");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("temperature read") << hex("02 03 04 01 00 02 94 C8") << 1
                                          << hex("00 01 00 00 00 06 02 03 04 01 00 02");
        QTest::newRow("id above 255") << hex("01 03 00 00 00 01 84 0A") << 0x1234
                                      << hex("12 34 00 00 00 06 01 03 00 00 00 01");
        QTest::newRow("shortest frame") << appendCrc(hex("05 11")) << 0xFFFF << hex("FF FF 00 00 00 02 05 11");
        QTest::newRow("no function code") << hex("01 7E 80") << 1 << QByteArray();
    }
    void wrap()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, transactionId);
        QFETCH(QByteArray, expected);
        QCOMPARE(mbapFromRtu(frame, quint16(transactionId)).toHex(' '), expected.toHex(' '));
    }

    void take_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("transactionId");
        QTest::addColumn<QByteArray>("rtu");
        QTest::newRow("temperature reply")
            << hex("00 07 00 00 00 07 02 03 04 01 2C FF 38 AA") << int(MbapTake::Frame) << 13 << 7
            << appendCrc(hex("02 03 04 01 2C FF 38"));
        QTest::newRow("exception 0x83") << hex("00 02 00 00 00 03 01 83 02") << int(MbapTake::Frame) << 9 << 2
                                        << appendCrc(hex("01 83 02"));
        QTest::newRow("short header") << hex("00 01 00 00 00") << int(MbapTake::NeedMore) << 0 << 0
                                      << QByteArray();
        QTest::newRow("length beyond the bytes")
            << hex("00 01 00 00 00 07 02 03 04 01 2C") << int(MbapTake::NeedMore) << 0 << 0 << QByteArray();
        QTest::newRow("protocol id 1") << hex("00 01 00 01 00 03 01 83 02") << int(MbapTake::Broken) << 9 << 0
                                       << QByteArray();
        QTest::newRow("length 1: no function") << hex("00 01 00 00 00 01 01") << int(MbapTake::Broken) << 7 << 0
                                               << QByteArray();
        QTest::newRow("length 255") << hex("00 01 00 00 00 FF 01 03") << int(MbapTake::Broken) << 8 << 0
                                    << QByteArray();
    }
    void take()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, status);
        QFETCH(int, used);
        QFETCH(int, transactionId);
        QFETCH(QByteArray, rtu);
        const MbapTake t = takeMbapFrame(stream);
        QCOMPARE(int(t.status), status);
        QCOMPARE(int(t.used), used);
        QCOMPARE(int(t.transactionId), transactionId);
        QCOMPARE(t.rtu.toHex(' '), rtu.toHex(' '));
    }

    // The client delivers the reply to the request sent last, once; anything else is counted.
    void client_data()
    {
        QTest::addColumn<QByteArray>("replyBytes");
        QTest::addColumn<QByteArray>("delivered");
        QTest::addColumn<int>("dropped");
        // The request below goes out as transaction 2 (transaction 1 went before it).
        QTest::newRow("awaited") << hex("00 02 00 00 00 03 01 83 02") << appendCrc(hex("01 83 02")) << 0;
        QTest::newRow("earlier request's reply, then the awaited one")
            << hex("00 01 00 00 00 03 01 83 02 00 02 00 00 00 03 01 83 03") << appendCrc(hex("01 83 03")) << 1;
        QTest::newRow("unknown id") << hex("00 09 00 00 00 03 01 83 02") << QByteArray() << 1;
        QTest::newRow("awaited twice") << hex("00 02 00 00 00 03 01 83 02 00 02 00 00 00 03 01 83 02")
                                       << appendCrc(hex("01 83 02")) << 1;
        QTest::newRow("broken header swallows the rest")
            << hex("00 02 00 05 00 03 01 83 02 00 02 00 00 00 03 01 83 02") << QByteArray() << 1;
    }
    void client()
    {
        QFETCH(QByteArray, replyBytes);
        QFETCH(QByteArray, delivered);
        QFETCH(int, dropped);
        MbapClient client;
        client.request(hex("01 03 00 00 00 01 84 0A"));
        QCOMPARE(client.request(hex("01 03 00 00 00 01 84 0A")).left(2), hex("00 02"));
        // Fed in two parts: a frame split between reads is whole once its rest comes.
        QList<QByteArray> replies = client.takeReplies(replyBytes.left(4));
        replies += client.takeReplies(replyBytes.mid(4));
        QCOMPARE(replies.join().toHex(' '), delivered.toHex(' '));
        QCOMPARE(client.dropped(), dropped);
    }

    void resetForgetsPartFrameAndAwaitedRequest()
    {
        MbapClient client;
        client.request(hex("01 03 00 00 00 01 84 0A"));
        client.takeReplies(hex("00 01 00 00"));
        client.reset();
        QVERIFY(client.takeReplies(hex("00 01 00 00 00 03 01 83 02")).isEmpty());
        QCOMPARE(client.dropped(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMbap)
#include "test_mbap.moc"
