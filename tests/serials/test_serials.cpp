// Serial numbers: the validity rules, entries as bytes, the serial-number file,
// the list replies and the manual write step, fed with hex frames and their
// broken versions.

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
        QTest::newRow("a short field")
            << QByteArray("3\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n\"28 FF 4B\"\r\n"
                          "\"28 00 00 3C 61 00 00 8A\"\r\n")
            << ImportedFile::TooFewParts << 3 << QStringList{a} << QList<bool>{true};
        QTest::newRow("end of file") << QByteArray("3\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n")
                                     << ImportedFile::EndOfFile << 3 << QStringList{a} << QList<bool>{true};
        QTest::newRow("count not a number") << QByteArray("two\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n")
                                            << ImportedFile::BadCount << 0 << QStringList() << QList<bool>();

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

    // --- requests and replies --------------------------------------------------------------------

    void replyJudged_data()
    {
        QTest::addColumn<int>("judge"); // 0 list of one, 1 read-in, 2 search of three channels
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("station"); // of the request
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

        QTest::newRow("list: good") << 0 << good << 1 << true << QString();
        QTest::newRow("list: bad CRC") << 0 << badCrc << 1 << false << crcError;
        QTest::newRow("list: another station") << 0 << otherStation << 1 << false << mismatch;
        QTest::newRow("list: another station, extra bytes after")
            << 0 << otherStation + hex("00 FF") << 1 << false << mismatch;
        QTest::newRow("list: another station, bad CRC") << 0 << otherStationBadCrc << 1 << false << crcError;
        QTest::newRow("list: another function")
            << 0 << appendCrc(hex("01 03 02 28 FF 4B 3C 61 00 00 8A")) << 1 << false << mismatch;
        QTest::newRow("list: wildcard, any station") << 0 << otherStation << 0xFA << true << QString();

        const QByteArray readIn = appendCrc(hex("01 22 01 28 FF 4B 3C 61 00 00 8A"));
        QByteArray readInGarbled = readIn;
        readInGarbled[7] = char(readInGarbled[7] ^ 0x40);
        QTest::newRow("read-in: good") << 1 << readIn << 1 << true << QString();
        QTest::newRow("read-in: extra bytes after it")
            << 1 << readIn + hex("00 FF") << 1 << true << QString();
        QTest::newRow("read-in: a serial byte garbled") << 1 << readInGarbled << 1 << false << crcError;
        QTest::newRow("read-in: cut short") << 1 << readIn.left(12) << 1 << false << QString();
        QTest::newRow("read-in: another station") << 1 << readIn << 7 << false << mismatch;

        const QByteArray search = appendCrc(hex("01 06 0C 05 00 02"));
        QTest::newRow("search: good") << 2 << search << 1 << true << QString();
        QTest::newRow("search: garbage") << 2 << hex("9C 41 07 EE 13 00 5A 21") << 1 << false << crcError;
        QTest::newRow("search: a list reply")
            << 2 << appendCrc(hex("01 22 0C 05 00 02")) << 1 << false << mismatch;
    }
    void replyJudged()
    {
        QFETCH(int, judge);
        QFETCH(QByteArray, reply);
        QFETCH(int, station);
        QFETCH(bool, usable);
        QFETCH(QString, note);
        const quint8 s = quint8(station);
        const requests::Request request = judge == 0   ? readListRequest(s, 1, 1)
                                          : judge == 1 ? readInRequest(s, 1, 5)
                                                       : searchRequest(s, 1, 3);
        const protocol::JudgedReply verdict = protocol::judgeReply(reply, request.shape);
        QCOMPARE(verdict.status == protocol::ReplyStatus::Usable, usable);
        QCOMPARE(protocol::replyNote(verdict), note);
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
};

QTEST_GUILESS_MAIN(TestSerials)
#include "test_serials.moc"
