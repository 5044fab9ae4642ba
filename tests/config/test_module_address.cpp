// The module's address and baud requests: their frames, what a reply tells,
// and the checks on their boxes.

#include "config/module_address.h"
#include "config_tests.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"

#include <QtTest>

using namespace config;

namespace {
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

class TestModuleAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requests_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("kind");
        const requests::Request read = readAddressRequest(), change = changeAddressRequest(3, 12),
                                baud = changeBaudRequest(2, 4);
        QTest::newRow("read address") << read.frame << protocol::appendCrc(hex("FA 25 02 00 00 01"))
                                      << read.threshold << read.context.kind;
        QTest::newRow("change 3 to 12") << change.frame << protocol::appendCrc(hex("03 06 0B 00 00 0C"))
                                        << change.threshold << change.context.kind;
        QTest::newRow("baud 2 to 4") << baud.frame << protocol::appendCrc(hex("FA 06 0A 02 00 04"))
                                     << baud.threshold << baud.context.kind;
    }
    void requests()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QFETCH(int, threshold);
        QFETCH(int, kind);
        QCOMPARE(frame, expected);
        // A read address waits for its whole reply, which is used only whole.
        QCOMPARE(threshold, frame[1] == char(0x25) ? 7 : 6);
        // Kind 15 for the address change, 16 for the others.
        QCOMPARE(kind,
                 frame[2] == 0x0B ? int(protocol::ModeChangeAddress) : int(protocol::ModeReadAddressOrBaud));
    }

    void addressInReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("address"); // -1: nothing
        const int read = protocol::ModeReadAddressOrBaud, change = protocol::ModeChangeAddress;
        QTest::newRow("read address 5") << hex("05 25 02 05 02 00 00") << read << 5;
        QTest::newRow("change to 12") << hex("0C 06 0B 0C 00 00") << change << 12;
        QTest::newRow("baud reply, read rule: wrong function") << hex("01 06 0A 04 00 00") << read << -1;
        QTest::newRow("read reply to a change") << hex("05 25 02 05 02 00") << change << -1;
        QTest::newRow("too short for byte 3") << hex("05 25 02") << read << -1;
        QTest::newRow("address 0") << hex("00 25 02 00 02 00") << read << -1;
        QTest::newRow("wildcard is no address") << hex("FA 25 02 FA 02 00") << read << -1;
        QTest::newRow("249") << hex("F9 25 02 F9 02 00") << read << 249;
    }
    void addressInReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, kind);
        QFETCH(int, address);
        QCOMPARE(addressInReply(reply, kind).value_or(-1), address);
    }

    // Every reply is judged before an address is taken from it: whole, CRC,
    // station (a change may answer from the new address), function.
    void addressRepliesJudged_data()
    {
        QTest::addColumn<int>("request"); // 0 read address, 1 change 3 to 12, 2 baud 2 to 4
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        using protocol::ReplyStatus;
        const QByteArray read = protocol::appendCrc(hex("05 25 02 05 02"));
        QByteArray garbled = read;
        garbled[3] = char(0x07);
        QTest::newRow("read address: whole") << 0 << read << int(ReplyStatus::Usable);
        QTest::newRow("read address: address byte garbled") << 0 << garbled << int(ReplyStatus::CrcError);
        // The start of a reply whose end never came: at its deadline a CRC error.
        QTest::newRow("read address: six bytes") << 0 << read.left(6) << int(ReplyStatus::CutShort);
        const QByteArray changed = protocol::appendCrc(hex("0C 06 0B 0C 00 00"));
        QTest::newRow("change: from the new address") << 1 << changed << int(ReplyStatus::Usable);
        QTest::newRow("change: from the present address")
            << 1 << protocol::appendCrc(hex("03 06 0B 0C 00 00")) << int(ReplyStatus::Usable);
        QTest::newRow("change: a shorter reply ends at its CRC")
            << 1 << protocol::appendCrc(hex("0C 06 0B 0C")) << int(ReplyStatus::Usable);
        QTest::newRow("change: from another station")
            << 1 << protocol::appendCrc(hex("07 06 0B 0C 00 00")) << int(ReplyStatus::Mismatch);
        QByteArray broken = changed;
        broken[7] = char(broken[7] ^ 0x01);
        QTest::newRow("change: CRC broken") << 1 << broken << int(ReplyStatus::CutShort);
        QTest::newRow("change: refused")
            << 1 << protocol::appendCrc(hex("03 86 01")) << int(ReplyStatus::Exception);
        QTest::newRow("baud: any station answers the wildcard")
            << 2 << protocol::appendCrc(hex("01 06 0A 04 00 00")) << int(ReplyStatus::Usable);
        QTest::newRow("baud: CRC broken") << 2 << hex("01 06 0A 04 00 00 00 00") << int(ReplyStatus::CutShort);
        // Any station answers the wildcard, so noise's last byte may be a reply's
        // first: the rest is awaited, and at the deadline it is a CRC error.
        QTest::newRow("baud: noise") << 2 << hex("55 66 77 88 99 AA") << int(ReplyStatus::CutShort);
        QTest::newRow("baud: noise, then a reply")
            << 2 << hex("55 66") + protocol::appendCrc(hex("01 06 0A 04 00 00")) << int(ReplyStatus::Usable);
    }
    void addressRepliesJudged()
    {
        QFETCH(int, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        const requests::Request asked = request == 0   ? readAddressRequest()
                                        : request == 1 ? changeAddressRequest(3, 12)
                                                       : changeBaudRequest(2, 4);
        QCOMPARE(int(protocol::judgeReply(reply, asked.shape).status), status);
        // Nothing more is awaited once a whole frame (or the refusal) is in; a start still is.
        if (status == int(protocol::ReplyStatus::Usable) || status == int(protocol::ReplyStatus::Exception))
            QVERIFY(protocol::replyComplete(reply, asked.shape));
        if (status == int(protocol::ReplyStatus::CutShort))
            QVERIFY(!protocol::replyComplete(reply, asked.shape));
    }

    void boxes_data()
    {
        QTest::addColumn<int>("box"); // 0 present address, 1 new address, 2 present baud, 3 new baud
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // -1: refused
        QTest::newRow("12.9 floored") << 1 << "12.9" << 12;
        QTest::newRow("new address 0 refused") << 1 << "0" << -1;
        QTest::newRow("new address 250 refused") << 1 << "250" << -1;
        QTest::newRow("present address may be the wildcard") << 0 << "250" << 250;
        QTest::newRow("present address 251") << 0 << "251" << -1;
        QTest::newRow("2.5 to even") << 3 << "2.5" << 2;
        QTest::newRow("3.5 to even") << 3 << "3.5" << 4;
        QTest::newRow("new code 5 refused") << 3 << "5" << -1;
        QTest::newRow("new code 0 refused") << 3 << "0" << -1;
        QTest::newRow("present code any byte") << 2 << "7" << 7;
        QTest::newRow("not a number") << 1 << "abc" << -1;
    }
    void boxes()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(int, value);
        const BoxValue result = box == 0   ? presentAddressBox(text)
                                : box == 1 ? newAddressBox(text)
                                : box == 2 ? presentBaudCodeBox(text, QStringLiteral("当前波特率值"))
                                           : newBaudCodeBox(text, QStringLiteral("目标波特率值"));
        QCOMPARE(result.value ? int(*result.value) : -1, value);
        QCOMPARE(result.message.isEmpty(), value >= 0);
    }
};

std::unique_ptr<QObject> makeModuleAddressTest()
{
    return std::make_unique<TestModuleAddress>();
}

#include "test_module_address.moc"
