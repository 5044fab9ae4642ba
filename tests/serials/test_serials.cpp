// Serial numbers: the validity rules, entries as bytes, the serial-number file,
// the requests and their replies, the write steps and the texts shown, fed with
// hex frames and their broken versions.

#include "protocol/crc16.h"
#include "protocol/reply_notes.h"
#include "serials/import_list.h"
#include "serials/serial_file.h"
#include "serials/serial_numbers.h"
#include "serials/serial_replies.h"
#include "serials/serial_requests.h"
#include "serials/serial_texts.h"
#include "serials/write_steps.h"

#include <QtTest>

using namespace serials;
using protocol::appendCrc;

Q_DECLARE_METATYPE(serials::ImportedFile::Error)
Q_DECLARE_METATYPE(serials::WriteStep::Kind)
Q_DECLARE_METATYPE(requests::Request)

static QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

static SerialNumber serialOf(const QByteArray& bytes)
{
    SerialNumber serial{};
    std::copy(bytes.begin(), bytes.end(), serial.begin());
    return serial;
}

// The text of a serial number that may be missing, so that comparisons print it.
static QString textOf(const std::optional<SerialNumber>& serial)
{
    return serial ? serialText(*serial) : QStringLiteral("<none>");
}

class TestSerials : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // --- rules and text form ---------------------------------------------------------------------

    void byteRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("listed");    // list rule: a read is not marked [无效]
        QTest::addColumn<bool>("confirmed"); // reply rule: a write or read-in succeeded
        QTest::newRow("valid") << hex("28 FF 4B 3C 61 00 00 8A") << true << true;
        QTest::newRow("b1 and b2 zero") << hex("28 00 00 12 34 00 00 C5") << false << false;
        QTest::newRow("family code 22") << hex("22 FF 4B 3C 61 00 00 8A") << false << false;
        QTest::newRow("b5 not zero") << hex("28 FF 4B 3C 61 01 00 8A") << false << false;
        QTest::newRow("b6 not zero") << hex("28 FF 4B 3C 61 00 01 8A") << false << false;
        QTest::newRow("b1 and b7 zero") << hex("28 00 05 3C 61 00 00 00") << true << false;
        QTest::newRow("b1 zero, b2 and b7 not") << hex("28 00 05 3C 61 00 00 8A") << true << true;
        QTest::newRow("b1 alone not zero") << hex("28 05 00 3C 61 00 00 00") << true << true;
    }
    void byteRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, listed);
        QFETCH(bool, confirmed);
        QCOMPARE(passesListRule(serialOf(bytes)), listed);
        QCOMPARE(passesReplyRule(serialOf(bytes)), confirmed);
    }

    void textRule_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("verdict"); // 1 valid, 0 marked invalid, -1 too few parts for the rule
        QTest::newRow("valid") << "28 FF 4B 3C 61 00 00 8A" << 1;
        QTest::newRow("lower case") << "28 ff 4b 3c 61 00 00 8a" << 1;
        QTest::newRow("parts 1 and 2 both 00") << "28 00 00 3C 61 00 00 8A" << 0;
        QTest::newRow("two spaces shift part 5 to 61") << "28  FF 4B 3C 61 00 00 8A" << 0;
        QTest::newRow("0 is not 00") << "28 FF 4B 3C 61 0 00 8A" << 0;
        QTest::newRow("seven parts suffice") << "28 FF 4B 3C 61 00 00" << 1;
        QTest::newRow("six parts") << "28 FF 4B 3C 61 00" << -1;
    }
    void textRule()
    {
        QFETCH(QString, entry);
        QFETCH(int, verdict);
        const std::optional<bool> valid = passesTextRule(entry);
        QCOMPARE(valid ? int(*valid) : -1, verdict);
    }

    void entryBytes_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("bytes"); // what is written, if anything
        const QString rejected = textOf(std::nullopt);
        const QString written = QStringLiteral("28 FF 4B 3C 61 00 00 8A");
        QTest::newRow("upper case") << "28 FF 4B 3C 61 00 00 8A" << written;
        QTest::newRow("either case, one digit") << "28 ff 4b 3c 61 0 00 8a" << written;
        QTest::newRow("two spaces") << "28  FF 4B 3C 61 00 00 8A" << rejected;
        QTest::newRow("seven parts") << "28 FF 4B 3C 61 00 00" << rejected;
        QTest::newRow("nine parts") << "28 FF 4B 3C 61 00 00 8A 01" << rejected;
        QTest::newRow("2G") << "28 FF 4B 3C 61 00 00 2G" << rejected;
        QTest::newRow("123") << "28 FF 4B 3C 61 00 00 123" << rejected;
        QTest::newRow("a sign is no digit") << "28 FF 4B 3C 61 00 00 +8" << rejected;
    }
    void entryBytes()
    {
        QFETCH(QString, entry);
        QFETCH(QString, bytes);
        QCOMPARE(textOf(serialFromEntry(entry)), bytes);
    }

    void verificationTexts_data()
    {
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("bytes");
        const QString rejected = textOf(std::nullopt);
        QTest::newRow("texts as typed")
            << QStringList{"28", "ff", "4B", "3c", "61", "0", "00", "8a"} << "28 FF 4B 3C 61 00 00 8A";
        QTest::newRow("blanks around")
            << QStringList{" 28", "FF ", "4B", "3C", "61", "00", "00", " 8A "} << "28 FF 4B 3C 61 00 00 8A";
        QTest::newRow("an empty box")
            << QStringList{"28", "", "4B", "3C", "61", "00", "00", "8A"} << rejected;
    }
    void verificationTexts()
    {
        QFETCH(QStringList, parts);
        QFETCH(QString, bytes);
        QCOMPARE(textOf(serialFromParts(parts)), bytes);
    }

    void verificationWindowKeepsEmptyParts()
    {
        // Two spaces leave an empty box and shift the bytes after it, as the entry is.
        QCOMPARE(entryParts(" 28  FF 4B"), (QStringList{"", "28", "", "FF", "4B"}));
    }

    void serialTextForm()
    {
        const QByteArray reply = hex("01 22 02 28 0a 4b 3c 61 00 00 8a 12 34");
        QCOMPARE(serialText(reply, 3), QStringLiteral("28 0A 4B 3C 61 00 00 8A"));
        QCOMPARE(serialText(serialOf(hex("28 ff 0b 3c 61 00 00 8a"))),
                 QStringLiteral("28 FF 0B 3C 61 00 00 8A"));
    }

    // --- serial-number file ----------------------------------------------------------------------

    void fileRoundTrip()
    {
        const QStringList entries{"28 FF 4B 3C 61 00 00 8A", "28 00 00 12 34 00 00 C5"};
        const QByteArray text = formatSerialFile(entries);
        QCOMPARE(text, QByteArray("2\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n\"28 00 00 12 34 00 00 C5\"\r\n"));
        const ImportedFile file = parseSerialFile(text);
        QCOMPARE(file.error, ImportedFile::None);
        QCOMPARE(file.announcedCount, 2);
        QCOMPARE(file.fields, entries);
        QCOMPARE(file.valid, (QList<bool>{true, false}));
        // An entry never read is saved all the same.
        QCOMPARE(formatSerialFile({QString()}), QByteArray("1\r\n\"\"\r\n"));
    }

    void txtSuffix_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("LIST.TXT") << QStringLiteral("LIST.TXT") << "LIST.TXT.txt";
        QTest::newRow("list.txt") << QStringLiteral("list.txt") << "list.txt";
        QTest::newRow("list") << QStringLiteral("/data/txt/list") << "/data/txt/list.txt";
        QTest::newRow(".txt not at the end") << QStringLiteral("list.txt.bak") << "list.txt.bak.txt";
    }
    void txtSuffix()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(withTxtSuffix(chosen), written);
    }

    void importFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<ImportedFile::Error>("error");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QList<bool>>("valid");

        const QString a = QStringLiteral("28 FF 4B 3C 61 00 00 8A");
        const QString b = QStringLiteral("28 00 00 3C 61 00 00 8A");
        QTest::newRow("unquoted") << QByteArray("2\r\n28 FF 4B 3C 61 00 00 8A\r\n28 00 00 3C 61 00 00 8A\r\n")
                                  << ImportedFile::None << 2 << QStringList{a, b} << QList<bool>{true, false};
        QTest::newRow("what follows the last field is not read")
            << QByteArray("1\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n\"28 FF") << ImportedFile::None << 1
            << QStringList{a} << QList<bool>{true};
        QTest::newRow("count 0") << QByteArray("0\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n") << ImportedFile::None
                                 << 0 << QStringList() << QList<bool>();
        QTest::newRow("negative count") << QByteArray("-2\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n")
                                        << ImportedFile::None << -2 << QStringList() << QList<bool>();
        QTest::newRow("a short field")
            << QByteArray("3\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n\"28 FF 4B\"\r\n"
                          "\"28 00 00 3C 61 00 00 8A\"\r\n")
            << ImportedFile::TooFewParts << 3 << QStringList{a} << QList<bool>{true};
        QTest::newRow("end of file") << QByteArray("3\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n")
                                     << ImportedFile::EndOfFile << 3 << QStringList{a} << QList<bool>{true};
        QTest::newRow("count not a number") << QByteArray("two\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n")
                                            << ImportedFile::BadCount << 0 << QStringList() << QList<bool>();
        QTest::newRow("empty file") << QByteArray() << ImportedFile::BadCount << 0 << QStringList()
                                    << QList<bool>();

        // 128 entries, and the same file announcing 129: the limit stops it before the missing field.
        QStringList many;
        QByteArray manyText;
        for (int i = 0; i < MaxImportEntries; ++i) {
            many.append(QString::asprintf("28 %02X 4B 3C 61 00 00 8A", i));
            manyText += many.back().toLatin1() + "\r\n";
        }
        const QList<bool> allValid(MaxImportEntries, true);
        QTest::newRow("128 announced")
            << "128\r\n" + manyText << ImportedFile::None << 128 << many << allValid;
        QTest::newRow("129 announced")
            << "129\r\n" + manyText << ImportedFile::TooMany << 129 << many << allValid;
    }
    void importFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(ImportedFile::Error, error);
        QFETCH(int, announced);
        QFETCH(QStringList, fields);
        QFETCH(QList<bool>, valid);
        const ImportedFile file = parseSerialFile(text);
        QCOMPARE(file.error, error);
        QCOMPARE(file.announcedCount, announced);
        QCOMPARE(file.fields, fields);
        QCOMPARE(file.valid, valid);
    }

    void importListStartsEmptyAndClears()
    {
        QCOMPARE(ImportSnList, QStringList(129));
        QCOMPARE(ImportSnCount, 0);
        ImportSnList[128] = QStringLiteral("28 FF 4B 3C 61 00 00 8A");
        ImportSnCount = 128;
        clearImportList();
        QCOMPARE(ImportSnList, QStringList(129));
        QCOMPARE(ImportSnCount, 0);
    }

    // --- requests and replies --------------------------------------------------------------------

    void requests_data()
    {
        QTest::addColumn<requests::Request>("request");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("echoLastIndex");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<QList<int>>("context"); // kind, station, channel, count, position

        QTest::newRow("read list") << readListRequest(1, 2, 16) << appendCrc(hex("01 22 02 02 00 10")) << -1
                                   << 133 << 133 << QList<int>{3, 1, 2, 16, 0};
        QTest::newRow("search") << searchRequest(1, 3, 2) << appendCrc(hex("01 06 0C 03 01 02")) + '\0' << 7
                                << 7 << 7 << QList<int>{10, 1, 3, 2, 0};
        QTest::newRow("read-in") << readInRequest(1, 2, 40) << appendCrc(hex("01 22 01 02 28 04")) << -1 << 13
                                 << 10213 << QList<int>{2, 1, 2, 1, 40};
        QTest::newRow("write") << writeRequest(1, 3, 5, serialOf(hex("28 FF 4B 3C 61 00 00 8A")))
                               << appendCrc(hex("01 22 0C 03 05 28 FF 4B 3C 61 00 00 8A")) << -1 << 13 << 14
                               << QList<int>{6, 1, 3, 1, 5};
    }
    void requests()
    {
        QFETCH(requests::Request, request);
        QFETCH(QByteArray, frame);
        QFETCH(int, echoLastIndex);
        QFETCH(int, threshold);
        QFETCH(int, replyLength);
        QFETCH(QList<int>, context);
        QCOMPARE(request.frame.toHex(' '), frame.toHex(' '));
        QCOMPARE(request.echoLastIndex, echoLastIndex);
        QCOMPARE(request.threshold, threshold);
        QCOMPARE(request.replyLength, replyLength);
        const requests::Context& c = request.context;
        QCOMPARE((QList<int>{c.kind, c.station, c.channel, c.count, c.position}), context);
    }

    void serialWrittenIsTheFramesSerial()
    {
        const SerialNumber serial = serialOf(hex("28 FF 4B 3C 61 00 00 8A"));
        QCOMPARE(serialText(serialWritten(writeRequest(1, 3, 5, serial))), serialText(serial));
    }

    void listReplyJudged_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("station"); // of the request, which asks for one serial number
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("note");

        const QString crcError = protocol::crcErrorNote();
        const QString mismatch = protocol::replyMismatchNote();
        const QByteArray good = appendCrc(hex("01 22 02 28 FF 4B 3C 61 00 00 8A"));
        QByteArray badCrc = good;
        badCrc[5] = char(badCrc[5] ^ 0x01);
        const QByteArray otherStation = appendCrc(hex("02 22 02 28 FF 4B 3C 61 00 00 8A"));
        QByteArray otherStationBadCrc = otherStation;
        otherStationBadCrc[12] = char(otherStationBadCrc[12] ^ 0x01);

        QTest::newRow("good") << good << 1 << true << QString();
        QTest::newRow("bad CRC") << badCrc << 1 << false << crcError;
        QTest::newRow("another station") << otherStation << 1 << false << mismatch;
        QTest::newRow("another station, bad CRC") << otherStationBadCrc << 1 << false << crcError;
        QTest::newRow("another function")
            << appendCrc(hex("01 03 02 28 FF 4B 3C 61 00 00 8A")) << 1 << false << mismatch;
        QTest::newRow("wildcard: any station") << otherStation << 0xFA << true << QString();
    }
    void listReplyJudged()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, station);
        QFETCH(bool, usable);
        QFETCH(QString, note);
        const ListReplyVerdict verdict = judgeListReply(reply, readListRequest(quint8(station), 1, 1));
        QCOMPARE(verdict.usable, usable);
        QCOMPARE(verdict.note, note);
    }

    void listReplySerials_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("serials");

        const QByteArray two = appendCrc(hex("01 22 02 28 FF 4B 3C 61 00 00 8A 28 00 00 12 34 00 00 C5"));
        const QString a = QStringLiteral("28 FF 4B 3C 61 00 00 8A");
        const QString b = QStringLiteral("28 00 00 12 34 00 00 C5");
        QTest::newRow("two of two") << two << 2 << QStringList{a, b};
        QTest::newRow("none asked") << two << 0 << QStringList();
        QTest::newRow("CRC missing") << two.left(19) << 2 << QStringList{a, b};
        QTest::newRow("second cut short") << two.left(18) << 2 << QStringList{a};
    }
    void listReplySerials()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, count);
        QFETCH(QStringList, serials);
        QStringList texts;
        for (const SerialNumber& serial : serialsInListReply(reply, count))
            texts.append(serialText(serial));
        QCOMPARE(texts, serials);
    }

    void shortReplies()
    {
        const QByteArray readIn = hex("01 22 01 28 00 00 3C 61 00 00 8A 5D 1E");
        QCOMPARE(textOf(serialInReply(readIn.left(11))), QStringLiteral("28 00 00 3C 61 00 00 8A"));
        QCOMPARE(textOf(serialInReply(readIn.left(10))), textOf(std::nullopt));

        // Channels 3 and 4 of a search from channel 3 over two channels.
        const QByteArray search = hex("01 06 0C 05 00 AA BB");
        QCOMPARE(sensorsFoundInSearchReply(search, 2), (QVector<int>{5, 0}));
        QCOMPARE(sensorsFoundInSearchReply(search.left(4), 2), (QVector<int>{5}));
    }

    // --- write steps -----------------------------------------------------------------------------

    void manualStep_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("sensorsPerChannel");
        QTest::addColumn<int>("importCount");
        QTest::addColumn<WriteStep::Kind>("kind");
        QTest::addColumn<int>("next");

        QTest::newRow("1 to 2") << 1 << 40 << 2 << WriteStep::Write << 2;
        QTest::newRow("past the imported count: entry 1 again") << 2 << 40 << 2 << WriteStep::Write << 1;
        QTest::newRow("the channel's last position") << 39 << 40 << 50 << WriteStep::Write << 40;
        QTest::newRow("last of the channel wraps") << 40 << 40 << 2 << WriteStep::Wrap << 1;
        QTest::newRow("wrap before the import check") << 40 << 40 << 0 << WriteStep::Wrap << 1;
        QTest::newRow("nothing imported") << 3 << 40 << 0 << WriteStep::NothingImported << 4;
        QTest::newRow("100 still steps") << 100 << 160 << 128 << WriteStep::Write << 101;
        QTest::newRow("101 is past the last") << 101 << 160 << 128 << WriteStep::AlreadyLast << 101;
    }
    void manualStep()
    {
        QFETCH(int, position);
        QFETCH(int, sensorsPerChannel);
        QFETCH(int, importCount);
        QFETCH(WriteStep::Kind, kind);
        QFETCH(int, next);
        const WriteStep step = nextManualStep(position, sensorsPerChannel, importCount);
        QCOMPARE(step.kind, kind);
        QCOMPARE(step.position, next);
    }

    void automaticRun_data()
    {
        QTest::addColumn<int>("sensorsPerChannel");
        QTest::addColumn<int>("importCount");
        QTest::addColumn<int>("writes"); // positions 1 .. writes are written in turn
        QTest::addColumn<QString>("ending");

        // W write, S nothing sent, F finished; each with the position it leaves.
        QTest::newRow("3 imported, 40 sensors") << 40 << 3 << 3 << "F4";
        QTest::newRow("50 imported, 40 sensors") << 40 << 50 << 40 << "S41 F41";
    }
    void automaticRun()
    {
        QFETCH(int, sensorsPerChannel);
        QFETCH(int, importCount);
        QFETCH(int, writes);
        QFETCH(QString, ending);

        QStringList expected;
        for (int position = 1; position <= writes; ++position)
            expected.append(QStringLiteral("W%1").arg(position));
        expected += ending.split(QLatin1Char(' '));

        QStringList ticks;
        int position = 0;
        for (int tick = 0; tick < 300; ++tick) {
            const WriteStep step = nextAutomaticStep(position, sensorsPerChannel, importCount);
            const char* letter = step.kind == WriteStep::Write  ? "W"
                                 : step.kind == WriteStep::Skip ? "S"
                                                                : "F";
            ticks.append(QLatin1String(letter) + QString::number(step.position));
            position = step.position;
            if (step.kind == WriteStep::Finished)
                break;
        }
        QCOMPARE(ticks, expected);
    }

    // --- texts -----------------------------------------------------------------------------------

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        const QString serial = QStringLiteral("28 00 00 12 34 00 00 C5");
        QTest::newRow("list heading") << listHeading(1, 1, 16) << "01#设备,通道01下：\n16";
        QTest::newRow("list line") << listLine(serial, true) << "\"28 00 00 12 34 00 00 C5\"";
        QTest::newRow("list line, invalid")
            << listLine(serial, false) << "\"28 00 00 12 34 00 00 C5\"  [无效]";
        QTest::newRow("import line, invalid")
            << importLine(serial, false) << "\"28 00 00 12 34 00 00 C5\" [无效]";
        QTest::newRow("write success") << writeResultLine(1, 5, true) << "导入到 01通道 05#位置 [成功]";
        QTest::newRow("write failure") << writeResultLine(12, 160, false) << "导入到 12通道 160#位置 [失败]";
        QTest::newRow("device heading") << deviceHeading(1) << "01#设备下：";
        QTest::newRow("search line") << searchLine(3, 5) << "通道3 发现传感器个数为：05";
        QTest::newRow("read-in success") << readInLine(1, 5, true) << "通道 01 编号05 ->序列号：识别  [成功]";
        QTest::newRow("read-in failure")
            << readInLine(1, 40, false) << "通道 01 编号40 ->序列号：识别  [失败]";
        QTest::newRow("bad entry") << badEntryMessage(5, QStringLiteral("28 FF 4B"))
                                   << "第5个序列号格式有误：“28 FF 4B”，应为8个以空格分隔的十六进制字节";
    }
    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestSerials)
#include "test_serials.moc"
