// The login files: records read and written in the file's own encoding, the
// account table's matching rule, and what loading an unreadable or uncreatable
// file gives (test_login sees a missing one created).

#include "config/login_files.h"
#include "config_tests.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

using namespace config;

Q_DECLARE_METATYPE(config::LoginRecord)

namespace {

// Records as "user/password" texts, for short tables.
QStringList texts(const QList<LoginRecord>& records)
{
    QStringList list;
    for (const LoginRecord& r : records)
        list << r.userName + QLatin1Char('/') + r.password;
    return list;
}

const QString kZhang = QStringLiteral("张三");
const QByteArray kGbkZhang("\xD5\xC5\xC8\xFD");

} // namespace

class TestLoginFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<bool>("gb18030");
        QTest::addColumn<bool>("cutShort");
        const auto row = [](const char* name, const QByteArray& text, const QString& records, bool gb18030,
                            bool cutShort) {
            QTest::newRow(name) << text << records.split(QLatin1Char(' '), Qt::SkipEmptyParts) << gb18030
                                << cutShort;
        };
        row("quoted, empty password", "\"qorvi\",\"qorvi\"\r\n\"op\",\"\"\r\n", "qorvi/qorvi op/", false,
            false);
        row("unquoted, numbers are texts", " op , 0123\r\n", "op/0123", false, false);
        row("UTF-8, byte order mark skipped", "\xEF\xBB\xBF\"" + kZhang.toUtf8() + "\",1", kZhang + "/1",
            false, false);
        row("GBK", "\"" + kGbkZhang + "\",\"1\"\r\n", kZhang + "/1", true, false);
        row("GBK ending like the start of a UTF-8 sequence", "op,\xE1\xB0", QStringLiteral("op/岚"), true,
            false);
        // Only the file's first bytes can be a byte order mark; a field keeps its own.
        row("byte order mark starting a field", "*,*,,\xEF\xBB\xBF\"", QStringLiteral("*/* /\uFEFF\""), false,
            false);
        row("blank last line is no record", "\"a\",\"b\"\r\n\r\n", "a/b", false, false);
        row("user name without password", "\"a\",\"b\"\r\n\"c\"\r\n", "a/b", false, true);
        row("unclosed quote", "\"a\",\"b\"\r\n\"c,\"d\"\r\n\"e\",\"f\"\r\n", "a/b", false, true);
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, records);
        QFETCH(bool, gb18030);
        QFETCH(bool, cutShort);
        const LoginRecords parsed = parseLoginRecords(text);
        QCOMPARE(texts(parsed.records), records);
        QCOMPARE(parsed.encoding == TextEncoding::Gb18030, gb18030);
        QCOMPARE(parsed.cutShort, cutShort);
    }

    // Added in the encoding the file has.
    void append_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QByteArray>("added");
        const auto row = [](const char* name, const QByteArray& text, const QString& userName,
                            const QByteArray& added) { QTest::newRow(name) << text << userName << added; };
        row("empty file", "", kZhang, "\"" + kZhang.toUtf8() + "\",\"p\"\r\n");
        row("GBK file stays GBK", "\"" + kGbkZhang + "\",1\r\n", kZhang,
            "\"" + kGbkZhang + "\",1\r\n\"" + kGbkZhang + "\",\"p\"\r\n");
        row("last line without its line end", "\"a\",\"b\"", "c", "\"a\",\"b\"\r\n\"c\",\"p\"\r\n");
        row("a name with a quote is written unquoted", "a\"b,\"p\"\r\n", "a\"b",
            "a\"b,\"p\"\r\na\"b,\"p\"\r\n");
        // An empty last field reads as no record, but as the user name of a record added after it.
        row("a blank line only", "\n", "c", "\"c\",\"p\"\r\n");
        row("a comma after the last record", "\"a\",\"b\",", "c", "\"a\",\"b\"\r\n\"c\",\"p\"\r\n");
        row("an empty password on its own line, then a comma", "g\r,", "c", "g\r\r\n\"c\",\"p\"\r\n");
        // A file saved empty as UTF-8 by an editor.
        row("only a byte order mark", "\xEF\xBB\xBF", "c", "\xEF\xBB\xBF\"c\",\"p\"\r\n");
    }
    void append()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, userName);
        QFETCH(QByteArray, added);
        QCOMPARE(withLoginRecordAdded(text, LoginRecord{userName, QStringLiteral("p")}), added);
    }

    void matching_data()
    {
        QTest::addColumn<QList<LoginRecord>>("table");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("matches");
        const LoginRecord qorvi = defaultAccount();
        const QList<LoginRecord> others(100, LoginRecord{"x", "x"});
        const auto row = [](const char* name, const QList<LoginRecord>& table, const char* userName,
                            const char* password, int matches) {
            QTest::newRow(name) << table << QString(userName) << QString(password) << matches;
        };
        row("letter case of the name", {qorvi}, "Qorvi", "qorvi", 0);
        row("empty password", {qorvi, {"op", ""}}, "op", "", 1);
        row("an account listed twice matches twice", {qorvi, {"op", ""}, qorvi}, "qorvi", "qorvi", 2);
        row("the 101st account", others + QList<LoginRecord>{qorvi}, "qorvi", "qorvi", 1);
        row("the 102nd account is not in the table", others + QList<LoginRecord>{{"x", "y"}, qorvi}, "qorvi",
            "qorvi", 0);
    }
    void matching()
    {
        QFETCH(QList<LoginRecord>, table);
        QFETCH(QString, userName);
        QFETCH(QString, password);
        QFETCH(int, matches);
        const QList<LoginRecord> found = matchingAccounts(table, userName, password);
        QCOMPARE(found.size(), matches);
        for (const LoginRecord& account : found)
            QCOMPARE(account, (LoginRecord{userName, password}));
    }

    void load_data()
    {
        QTest::addColumn<QString>("place"); // at the file's path: "folder" or "huge"; or "no folder"
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("records");
        const auto row = [](const char* name, const char* place, int status, const QStringList& records) {
            QTest::newRow(name) << QString(place) << status << records;
        };
        row("cannot be created: in memory only", "no folder", LoginFileLoad::NotCreated, {"qorvi/qorvi"});
        row("a folder in its place: no account at all", "folder", LoginFileLoad::Unreadable, {});
        row("too large to be read whole", "huge", LoginFileLoad::Unreadable, {});
    }
    void load()
    {
        QFETCH(QString, place);
        QFETCH(int, status);
        QFETCH(QStringList, records);
        QTemporaryDir dir;
        const QString folder = place == "no folder" ? dir.filePath("gone") : dir.path();
        const QString path = settingsFilePath(folder, kLoginSetName);
        if (place == "folder")
            QVERIFY(QDir(folder).mkdir(kLoginSetName));
        const QByteArray huge = QByteArray("\"a\",\"b\"\r\n").repeated(kLoginFileBytes / 9 + 1);
        if (place == "huge")
            QVERIFY(writeBytes(path, huge));
        const LoginFileLoad load = loadLoginFile(folder, kLoginSetName, defaultAccount());
        QCOMPARE(int(load.status), status);
        QCOMPARE(texts(load.content.records), records);
        // A file that is not read whole is not added to either.
        if (status == LoginFileLoad::Unreadable)
            QVERIFY(!appendLoginRecord(folder, kLoginSetName, defaultAccount()));
    }
};

std::unique_ptr<QObject> makeLoginFilesTest()
{
    return std::make_unique<TestLoginFiles>();
}

#include "test_login_files.moc"
