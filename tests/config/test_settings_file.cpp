// The settings files' common ground: the bounded read, the field reader, whole
// numbers from fields, and the save that never leaves a half file.

#include "config/settings_file.h"
#include "config_tests.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

#include <csignal>
#include <sys/resource.h>

using namespace config;

namespace {

QByteArrayList allFields(const QByteArray& text)
{
    FieldReader reader(text);
    QByteArrayList fields;
    while (const std::optional<QByteArray> field = reader.next())
        fields << *field;
    return fields;
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<QString>("place"); // what stands at the path: "none", "folder" or "file"
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray huge(3 * kOneLineFileBytes, '7');
        QTest::newRow("missing") << "none" << QByteArray() << int(SettingsLoad::Missing) << QByteArray();
        QTest::newRow("a folder in the file's place")
            << "folder" << QByteArray() << int(SettingsLoad::Unreadable) << QByteArray();
        QTest::newRow("a stray huge file is read up to the bound")
            << "file" << huge << int(SettingsLoad::Ok) << huge.left(kOneLineFileBytes);
    }
    void read()
    {
        QFETCH(QString, place);
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = settingsFilePath(dir.path(), kCommSetName);
        if (place == "folder")
            QVERIFY(QDir(dir.path()).mkdir("comm.set"));
        if (place == "file")
            QVERIFY(writeBytes(path, content));
        const FileText text = readSettingsFile(path, kOneLineFileBytes);
        QCOMPARE(int(text.status), status);
        QCOMPARE(text.bytes, bytes);
    }

    void fields_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("fields"); // read until the reader stops
        using L = QByteArrayList;

        QTest::newRow("no line end") << QByteArray("5,19200") << L{"5", "19200"};
        QTest::newRow("LF only") << QByteArray("3,4800\n") << L{"3", "4800"};
        QTest::newRow("CR only") << QByteArray("3\r4800\r") << L{"3", "4800"};
        QTest::newRow("one field a line") << QByteArray("12\r\n3\r\n20\r\n2\r\n") << L{"12", "3", "20", "2"};
        QTest::newRow("fields on two LF lines") << QByteArray("4\n9600") << L{"4", "9600"};
        QTest::newRow("blank line: an empty field")
            << QByteArray("12,3\r\n\r\n20,2\r\n") << L{"12", "3", "", "20", "2"};
        QTest::newRow("empty field between commas") << QByteArray("12,,20,2") << L{"12", "", "20", "2"};
        QTest::newRow("trailing comma: an empty last field")
            << QByteArray("12,3,20,\r\n") << L{"12", "3", "20", ""};
        QTest::newRow("only blanks: one empty field") << QByteArray("   \r\n") << L{""};
        QTest::newRow("blanks before fields") << QByteArray("  7, \t14400\r\n") << L{"7", "14400"};
        QTest::newRow("blanks after fields") << QByteArray("12 ,3 ,20\t,2 \r\n") << L{"12", "3", "20", "2"};
        QTest::newRow("blank inside an unquoted field stays")
            << QByteArray("4,9600 baud\r\n") << L{"4", "9600 baud"};
        QTest::newRow("two numbers without separator: one field") << QByteArray("4 9600\r\n") << L{"4 9600"};

        QTest::newRow("quoted record") << QByteArray("\"qorvi\",\"qorvi\"\r\n") << L{"qorvi", "qorvi"};
        QTest::newRow("quoted empty texts") << QByteArray("\"\",\"\"\r\n") << L{"", ""};
        QTest::newRow("quotes keep blanks and commas") << QByteArray("\" a, b \",x") << L{" a, b ", "x"};
        // Each readable text beside a broken one: the reader stops at the field it cannot read.
        QTest::newRow("closed quote") << QByteArray("\"a\",b") << L{"a", "b"};
        QTest::newRow("unclosed quote") << QByteArray("\"a,b") << L{};
        QTest::newRow("quote closed on its line") << QByteArray("x,\"a\"\r\nb") << L{"x", "a", "b"};
        QTest::newRow("quote closed on the next line") << QByteArray("x,\"a\r\nb\"") << L{"x"};
        QTest::newRow("blanks around quotes") << QByteArray("  \"a\"  ,\t\"b\" \r\n") << L{"a", "b"};
        QTest::newRow("text after closing quote") << QByteArray("\"a\"x,b") << L{};
        QTest::newRow("records in file order")
            << QByteArray("\"u1\",\"p1\"\r\n\"u2\",\"\"\r\n") << L{"u1", "p1", "u2", ""};
        QTest::newRow("cut last record") << QByteArray("\"u1\",\"p1\"\r\n\"u2") << L{"u1", "p1"};
    }
    void fields()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArrayList, fields);
        QCOMPARE(allFields(text), fields);
    }

    void int16_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("9600") << QByteArray("9600") << true << 9600;
        QTest::newRow("zero") << QByteArray("0") << true << 0;
        QTest::newRow("plus sign") << QByteArray("+4") << true << 4;
        QTest::newRow("lowest") << QByteArray("-32768") << true << -32768;
        QTest::newRow("highest") << QByteArray("32767") << true << 32767;

        QTest::newRow("empty") << QByteArray() << false << 0;
        QTest::newRow("sign alone") << QByteArray("-") << false << 0;
        QTest::newRow("32768 out of range") << QByteArray("32768") << false << 0;
        QTest::newRow("-32769 out of range") << QByteArray("-32769") << false << 0;
        QTest::newRow("40000 out of range") << QByteArray("40000") << false << 0;
        QTest::newRow("long digit run") << QByteArray("99999999999999999999999") << false << 0;
        QTest::newRow("fraction") << QByteArray("4.5") << false << 0;
        QTest::newRow("a word") << QByteArray("fast") << false << 0;
        QTest::newRow("port as a name") << QByteArray("COM4") << false << 0;
        QTest::newRow("digits glued to letters") << QByteArray("9600bd") << false << 0;
        QTest::newRow("words after a blank") << QByteArray("9600 baud") << false << 0;
        QTest::newRow("blank kept by quotes") << QByteArray(" 4") << false << 0;
    }
    void int16()
    {
        QFETCH(QByteArray, field);
        QFETCH(bool, ok);
        QFETCH(int, value);
        QCOMPARE(int16FromField(field), ok ? std::optional<int>(value) : std::nullopt);
    }

    void saveReplacesTheWholeFile()
    {
        QTemporaryDir dir;
        const QString path = settingsFilePath(dir.path(), kModSetName);
        QVERIFY(writeBytes(path, "250,10,160,32767\r\nold second line\r\n"));
        QVERIFY(saveWholeFile(path, "12,3,20,-5\r\n"));
        QCOMPARE(fileBytes(path), QByteArray("12,3,20,-5\r\n"));
        QVERIFY(!saveWholeFile(dir.filePath("no/such/folder/ModSet.set"), "1,1,40,1\r\n"));
    }

    void failedSaveLeavesThePreviousFile()
    {
        QTemporaryDir dir;
        const QString path = settingsFilePath(dir.path(), kModSetName);
        QVERIFY(writeBytes(path, "12,3,20,2\r\n"));
        // No file may grow by a byte: every write fails as on a full disk, even for root.
        rlimit before{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        rlimit none = before;
        none.rlim_cur = 0;
        const auto signalBefore = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &none), 0);
        const bool saved = saveWholeFile(path, "1,1,40,1\r\n");
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, signalBefore);

        QVERIFY(!saved);
        QCOMPARE(fileBytes(path), QByteArray("12,3,20,2\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ModSet.set"});
    }
};

std::unique_ptr<QObject> makeSettingsFileTest()
{
    return std::make_unique<TestSettingsFile>();
}

#include "test_settings_file.moc"
