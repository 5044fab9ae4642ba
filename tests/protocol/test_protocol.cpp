// Frames, CRC, hex texts, baud codes, line timing, temperature decoding and box
// numbers, fed with hex frames and their broken versions.

#include "protocol/baud_codes.h"
#include "protocol/box_number.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/line_timing.h"
#include "protocol/reply_notes.h"
#include "protocol/temperature.h"

#include <QtTest>

using namespace protocol;

static QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

class TestProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void crcVectors_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("closed");
        QTest::newRow("read holding") << hex("01 03 00 00 00 01") << hex("01 03 00 00 00 01 84 0A");
        QTest::newRow("temperature read") << hex("02 03 04 01 00 02") << hex("02 03 04 01 00 02 94 C8");
        QTest::newRow("single byte") << hex("01") << hex("01 7E 80");
        QTest::newRow("six zeros") << hex("00 00 00 00 00 00") << hex("00 00 00 00 00 00 00 1B");
    }
    void crcVectors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, closed);
        QCOMPARE(appendCrc(bytes).toHex(' '), closed.toHex(' '));
    }

    void crcCheck()
    {
        const QByteArray good = hex("02 03 04 09 C4 FF 38 CB 70");
        QVERIFY(hasValidCrc(good));
        QByteArray flipped = good;
        flipped[4] = char(flipped[4] ^ 0x01);
        QVERIFY(!hasValidCrc(flipped));
        QVERIFY(!hasValidCrc(good.left(8)));
        QVERIFY(!hasValidCrc(hex("02 03")));
    }

    void formatHex_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "00";
        QTest::newRow("10") << 10 << "0A";
        QTest::newRow("15") << 15 << "0F";
        QTest::newRow("16") << 16 << "10";
        QTest::newRow("171") << 171 << "AB";
        QTest::newRow("255") << 255 << "FF";
    }
    void formatHex()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(FormatHex(quint8(value)), text);
    }

    void echoAndDump()
    {
        QCOMPARE(requestEcho(hex("02 03 04 01 00 02 94 C8")), QStringLiteral("02 03 04 01 00 02 94 C8 "));
        QCOMPARE(replyDump(hex("02 03 04 09 C4 FF 38 CB 70")), QStringLiteral(" 02 03 04 09 C4 FF 38 CB 70"));
        QCOMPARE(requestEcho(hex("0A 0B 0C 0D 0E 0F")), QStringLiteral("0A 0B 0C 0D 0E 0F "));
        QCOMPARE(replyDump(QByteArray()), QString());
        QCOMPARE(spacedHex(hex("28 FF 4B 3C 61 16 03 8A")), QStringLiteral("28 FF 4B 3C 61 16 03 8A"));
        // The search request sends nine bytes but echoes the eight of its frame.
        const QByteArray search = autoSearchRequest(1, 3, 2);
        QCOMPARE(search.size(), 9);
        QCOMPARE(requestEcho(search, 7).split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 8);
        QVERIFY(requestEcho(search, 7).endsWith(FormatHex(quint8(search.at(7))) + QLatin1Char(' ')));
    }

    void requestCatalogue_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("temperature") << temperatureRequest(2, 3, 4, 1, 2) << hex("02 03 04 01 00 02");
        QTest::newRow("read serials") << readSerialsRequest(1, 1, 16) << hex("01 22 02 01 00 10");
        QTest::newRow("read-in") << manualReadInRequest(1, 2, 40) << hex("01 22 01 02 28 04");
        QTest::newRow("search") << autoSearchRequest(1, 3, 2).left(8) << hex("01 06 0C 03 01 02");
        QTest::newRow("change address") << changeAddressRequest(3, 12) << hex("03 06 0B 00 00 0C");
        QTest::newRow("read address") << readAddressRequest() << hex("FA 25 02 00 00 01");
        QTest::newRow("change baud") << changeBaudRequest(2, 4) << hex("FA 06 0A 02 00 04");
        QTest::newRow("write serial")
            << writeSerialRequest(1, 1, 5, {0x28, 0xFF, 0x4B, 0x3C, 0x61, 0x00, 0x00, 0x8A})
            << hex("01 22 0C 01 05 28 FF 4B 3C 61 00 00 8A");
    }
    void requestCatalogue()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, body);
        QCOMPARE(frame.size(), body.size() + 2);
        QCOMPARE(frame.left(body.size()), body);
        QVERIFY(hasValidCrc(frame));
    }

    void searchTrailingZero()
    {
        const QByteArray search = autoSearchRequest(1, 3, 2);
        QCOMPARE(search.at(8), '\0');
        QVERIFY(hasValidCrc(search.left(8)));
    }

    void replyLengthsDoNotOverflow()
    {
        QCOMPARE(temperatureReplyLength(255), 515);
        QCOMPARE(readSerialsReplyLength(255), 2045);
        QCOMPARE(manualReadInReplyLength(160), 40813); // beyond a signed 16-bit value
        QCOMPARE(configReplyLength(0, 1), 7);
    }

    // Both directions of the table; an unknown code and an unknown rate side by side.
    void baudCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("rateOfCode");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("codeOfRate");
        QTest::newRow("1 = 4800") << 1 << 4800 << 4800 << 1;
        QTest::newRow("2 = 9600") << 2 << 9600 << 9600 << 2;
        QTest::newRow("3 = 14400") << 3 << 14400 << 14400 << 3;
        QTest::newRow("4 = 19200") << 4 << 19200 << 19200 << 4;
        QTest::newRow("unknown: code 0, rate 0") << 0 << 0 << 0 << 0;
        QTest::newRow("unknown: code 5, rate 9601") << 5 << 0 << 9601 << 0;
        QTest::newRow("unknown: code -1, rate 115200") << -1 << 0 << 115200 << 0;
    }
    void baudCodes()
    {
        QFETCH(int, code);
        QFETCH(int, rateOfCode);
        QFETCH(int, rate);
        QFETCH(int, codeOfRate);
        QCOMPARE(baudRateForCode(code), rateOfCode);
        QCOMPARE(baudCodeForRate(rate), codeOfRate);
    }

    // Per row: the line time in both units (rounded up), the silence that ends a
    // frame at that rate, and the byte count turning over exactly at the line time.
    void lineTiming_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("baud");
        QTest::addColumn<qint64>("us");
        QTest::addColumn<int>("ms");
        QTest::addColumn<qint64>("gapUs");
        QTest::newRow("255 values at 4800") << 515 << 4800 << qint64(1072917) << 1073 << qint64(7292);
        QTest::newRow("9-byte reply at 9600") << 9 << 9600 << qint64(9375) << 10 << qint64(3646);
        QTest::newRow("exact: 96 bytes at 9600") << 96 << 9600 << qint64(100000) << 100 << qint64(3646);
        QTest::newRow("8-byte request at 14400") << 8 << 14400 << qint64(5556) << 6 << qint64(2431);
        QTest::newRow("8-byte request at 19200") << 8 << 19200 << qint64(4167) << 5 << qint64(1823);
        QTest::newRow("nothing") << 0 << 9600 << qint64(0) << 0 << qint64(3646);
        QTest::newRow("baud 0 counts as 9600") << 9 << 0 << qint64(9375) << 10 << qint64(3646);
        QTest::newRow("negative baud counts as 9600") << 9 << -1 << qint64(9375) << 10 << qint64(3646);
    }
    void lineTiming()
    {
        QFETCH(int, bytes);
        QFETCH(int, baud);
        QFETCH(qint64, us);
        QFETCH(int, ms);
        QFETCH(qint64, gapUs);
        QCOMPARE(lineTimeUs(bytes, baud), us);
        QCOMPARE(lineTimeMs(bytes, baud), ms);
        QCOMPARE(interFrameGapUs(baud), gapUs);
        QCOMPARE(bytesCarriedInUs(us, baud), qint64(bytes));
        if (bytes > 0)
            QCOMPARE(bytesCarriedInUs(us - 1, baud), qint64(bytes - 1));
    }

    void temperatureTexts_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("25.00") << 2500 << "25.00";
        QTest::newRow("-2.00") << 0xFF38 << "-2.00";
        QTest::newRow("0.05") << 5 << "0.05";
        QTest::newRow("0") << 0 << "0.00";
        QTest::newRow("400.00") << 40000 << "400.00";
        QTest::newRow("-255.35") << 40001 << "-255.35";
        QTest::newRow("-0.02") << 65534 << "-0.02";
        QTest::newRow("no value: not a reading of 0 °C") << 65535 << "无数值";
        QTest::newRow("not wired") << 0xBAD2 << QStringLiteral("未接线");
        QTest::newRow("not recognised") << 0xB492 << QStringLiteral("未识别");
        QTest::newRow("neighbour of not wired") << 0xBAD3 << "-177.09";
    }
    void temperatureTexts()
    {
        QFETCH(int, raw);
        QFETCH(QString, text);
        QCOMPARE(temperatureText(quint16(raw)), text);
    }

    void decodeReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("positions");
        QTest::addColumn<QStringList>("texts");
        const QByteArray two = hex("02 03 04 09 C4 FF 38 CB 70");
        QTest::newRow("two values, six positions") << two << 6 << QStringList{"25.00", "-2.00"};
        QTest::newRow("count above positions") << two << 1 << QStringList{"25.00"};
        QTest::newRow("exactly five bytes") << two.left(5) << 6 << QStringList{};
        QTest::newRow("six bytes: one register and one more byte") << two.left(6) << 6 << QStringList{};
        QTest::newRow("cut after first register's CRC room") << two.left(7) << 6 << QStringList{"25.00"};
        QTest::newRow("empty") << QByteArray() << 6 << QStringList{};
        QTest::newRow("codes") << hex("01 03 04 BA D2 B4 92 00 00") << 2
                               << QStringList{QStringLiteral("未接线"), QStringLiteral("未识别")};
    }
    void decodeReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, positions);
        QFETCH(QStringList, texts);
        QCOMPARE(QStringList(decodeTemperatures(reply, positions).toList()), texts);
    }

    // A temperature reply of two registers judged against its request, as every
    // reply is: where it stands among the bytes, and what is wrong with it.
    void temperatureRepliesJudged_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("station");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray reply = hex("02 03 04 09 C4 FF 38 CB 70");
        const int complete = int(ReplyStatus::Usable), cut = int(ReplyStatus::CutShort),
                  refused = int(ReplyStatus::Exception), mismatch = int(ReplyStatus::Mismatch),
                  invalid = int(ReplyStatus::CrcError);
        QTest::newRow("nothing") << QByteArray() << 2 << int(ReplyStatus::NoReply) << QByteArray();
        QTest::newRow("exact") << reply << 2 << complete << reply;
        QTest::newRow("extra bytes after") << reply + hex("AA BB") << 2 << complete << reply;
        QTest::newRow("tail of an earlier reply before") << hex("38 CB 70") + reply << 2 << complete << reply;
        QTest::newRow("wildcard request: any station")
            << hex("07 03 04 09 C4 FF 38 9E 70") << 0xFA << complete << hex("07 03 04 09 C4 FF 38 9E 70");
        QTest::newRow("another station's reply")
            << hex("07 03 04 09 C4 FF 38 9E 70") << 2 << mismatch << hex("07 03 04 09 C4 FF 38 9E 70");
        QTest::newRow("another function's reply")
            << hex("02 04 04 09 C4 FF 38 CA C7") << 2 << mismatch << hex("02 04 04 09 C4 FF 38 CA C7");
        QTest::newRow("another byte count") << hex("02 03 06 09 C4 FF 38 00 01 B4 D4") << 2 << mismatch
                                            << hex("02 03 06 09 C4 FF 38 00 01 B4 D4");
        QTest::newRow("another station's reply after noise")
            << hex("55 07 03 04 09 C4 FF 38 9E 70") << 2 << invalid << hex("55 07 03 04 09 C4 FF 38 9E 70");
        QTest::newRow("bad CRC") << hex("02 03 04 09 C4 FF 38 CB 71") << 2 << invalid
                                 << hex("02 03 04 09 C4 FF 38 CB 71");
        QTest::newRow("bad CRC, not taken for a cut-short one inside")
            << hex("02 03 04 02 03 04 38 CB 71") << 2 << invalid << hex("02 03 04 02 03 04 38 CB 71");
        QTest::newRow("cut short") << reply.left(7) << 2 << cut << reply.left(7);
        QTest::newRow("noise, then cut short") << hex("55 66") + reply.left(7) << 2 << cut << reply.left(7);
        QTest::newRow("noise only") << hex("55 66 77 88 99 AA BB CC DD") << 2 << invalid
                                    << hex("55 66 77 88 99 AA BB CC DD");
        QTest::newRow("a reply's first two bytes") << hex("02 03") << 2 << cut << hex("02 03");
        QTest::newRow("one byte of another station") << hex("07") << 2 << invalid << hex("07");
        QTest::newRow("exception reply") << hex("02 83 02 30 F1") << 2 << refused << hex("02 83 02 30 F1");
        QTest::newRow("exception reply after noise")
            << hex("55 02 83 02 30 F1") << 2 << refused << hex("02 83 02 30 F1");
        QTest::newRow("exception reply with a bad CRC")
            << hex("02 83 02 30 F2") << 2 << invalid << hex("02 83 02 30 F2");
        QTest::newRow("another station's exception reply")
            << hex("07 83 02 20 F0") << 2 << mismatch << hex("07 83 02 20 F0");
        QTest::newRow("wildcard request: any station's exception reply")
            << hex("07 83 02 20 F0") << 0xFA << refused << hex("07 83 02 20 F0");
    }
    void temperatureRepliesJudged()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, station);
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        const ReplyShape shape = temperatureReplyShape(quint8(station), 3, 2);
        const JudgedReply judged = judgeReply(received, shape);
        QCOMPARE(int(judged.status), kind);
        QCOMPARE(judged.bytes, bytes);
        // Nothing more is awaited once the reply or the module's refusal is in, or
        // a reply's length of bytes that hold no reply's start.
        const bool flagged = kind == int(ReplyStatus::CrcError) || kind == int(ReplyStatus::Mismatch);
        QCOMPARE(replyComplete(received, shape), kind == int(ReplyStatus::Usable) ||
                                                     kind == int(ReplyStatus::Exception) ||
                                                     (flagged && received.size() >= 9));
    }

    // Bytes before a reply's start (zeros, noise, the tail of an earlier reply)
    // are skipped and counted for every kind of reply, fixed length or ended by
    // its CRC; what holds no reply's start is judged as a whole.
    void noiseBeforeReplies_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("length"); // the shape's: 0 a reply ended by its CRC
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("skipped");
        const QByteArray reply = hex("02 03 04 09 C4 FF 38 CB 70");
        const int usable = int(ReplyStatus::Usable), cut = int(ReplyStatus::CutShort);
        QTest::newRow("five zeros, fixed length") << QByteArray(5, 0) + reply << 9 << usable << 5;
        QTest::newRow("five zeros, ended by its CRC") << QByteArray(5, 0) + reply << 0 << usable << 5;
        QTest::newRow("noise that starts like a reply") << hex("02 03 77") + reply << 0 << usable << 3;
        QTest::newRow("noise, reply cut short") << hex("00 00") + reply.left(6) << 0 << cut << 2;
        QTest::newRow("no noise") << reply << 0 << usable << 0;
        QTest::newRow("exception after zeros") << hex("00 00 00 02 83 02 30 F1") << 0
                                               << int(ReplyStatus::Exception) << 3;
        QTest::newRow("zeros only") << QByteArray(9, 0) << 9 << int(ReplyStatus::CrcError) << 0;
    }
    void noiseBeforeReplies()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, length);
        QFETCH(int, kind);
        QFETCH(int, skipped);
        ReplyShape shape = temperatureReplyShape(2, 3, 2);
        shape.length = length;
        const JudgedReply judged = judgeReply(received, shape);
        QCOMPARE(int(judged.status), kind);
        QCOMPARE(judged.skipped, skipped);
        if (kind == int(ReplyStatus::Usable))
            QCOMPARE(judged.bytes, hex("02 03 04 09 C4 FF 38 CB 70"));
        QCOMPARE(replyComplete(received, shape), kind != int(ReplyStatus::CutShort));
    }

    void echoedRequest_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("echoed");
        const QByteArray request = hex("02 03 00 01 00 02 95 F8");
        QTest::newRow("echo, then the reply") << request + hex("02 03 04") << 8;
        QTest::newRow("echo alone") << request << 8;
        QTest::newRow("echo still arriving") << request.left(5) << 5;
        QTest::newRow("the reply without an echo") << hex("02 03 04 09 C4") << 0;
        QTest::newRow("a damaged echo") << hex("02 03 00 01 01 02 95 F8") << 0;
        QTest::newRow("nothing") << QByteArray() << 0;
    }
    void echoedRequest()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, echoed);
        QCOMPARE(int(echoedRequestLength(received, hex("02 03 00 01 00 02 95 F8"))), echoed);
    }

    void notesSayWhatIsWrong()
    {
        QCOMPARE(replyNote({ReplyStatus::CrcError, hex("01"), 0}), QStringLiteral(" CRC校验错误"));
        QCOMPARE(replyNote({ReplyStatus::Mismatch, hex("01"), 0}), QStringLiteral(" 应答与请求不符"));
        QCOMPARE(replyNote({ReplyStatus::Exception, hex("02 83 02 30 F1"), 0x02}),
                 QStringLiteral(" 模块拒绝请求，异常码 02"));
        QCOMPARE(replyNote({ReplyStatus::Usable, hex("01"), 0}), QString());
    }

    void boxNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rounding");
        QTest::addColumn<int>("expected"); // -999: rejected
        const int cut = int(Rounding::CutOff), fl = int(Rounding::Floor), even = int(Rounding::HalfToEven);
        QTest::newRow("plain") << "12" << cut << 12;
        QTest::newRow("blanks") << "  7 " << fl << 7;
        QTest::newRow("cut 12.9") << "12.9" << cut << 12;
        QTest::newRow("floor 3.7") << "3.7" << fl << 3;
        QTest::newRow("floor -0.5 leaves the byte range") << "-0.5" << fl << -999;
        QTest::newRow("cut -0.5 is 0") << "-0.5" << cut << 0;
        QTest::newRow("even 2.5") << "2.5" << even << 2;
        QTest::newRow("even 3.5") << "3.5" << even << 4;
        QTest::newRow("even 255.4") << "255.4" << even << 255;
        QTest::newRow("256") << "256" << cut << -999;
        QTest::newRow("empty") << "" << cut << -999;
        QTest::newRow("letters") << "abc" << cut << -999;
        QTest::newRow("hex") << "0x10" << cut << -999;
        QTest::newRow("exponent") << "1e2" << cut << -999;
        QTest::newRow("two points") << "1.2.3" << cut << -999;
        QTest::newRow("sign only") << "-" << cut << -999;
    }
    void boxNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, rounding);
        QFETCH(int, expected);
        const std::optional<int> value = byteValue(text, Rounding(rounding));
        QCOMPARE(value.value_or(-999), expected);
    }

    void rangeMessageNamesTheField()
    {
        QCOMPARE(rangeMessage(QStringLiteral("通道号"), 0, 255),
                 QStringLiteral("通道号：请输入0～255之间的整数"));
        QCOMPARE(rangeMessage(QStringLiteral("功 能 码"), 0, 255),
                 QStringLiteral("功能码：请输入0～255之间的整数"));
        QCOMPARE(rangeMessage(QStringLiteral("当前地址："), 0, 255),
                 QStringLiteral("当前地址：请输入0～255之间的整数"));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
