// Module settings: the save checks on the boxes' texts, the file's exact bytes,
// and loading good, missing and broken files.

#include "config/module_settings.h"
#include "config_tests.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

using namespace config;

Q_DECLARE_METATYPE(config::ModuleSettings)

namespace {

ModuleSettings settings(int address, int channels, int sensors, int modules)
{
    return ModuleSettings{address, channels, sensors, modules};
}

} // namespace

namespace QTest {
template <> char* toString(const config::ModuleSettings& s)
{
    return qstrdup(QByteArray(formatModSet(s)).trimmed().constData());
}
} // namespace QTest

class TestModuleSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { ModuleCount = kModuleCountDefault; }

    void defaults()
    {
        QCOMPARE(ModuleSettings{}, settings(1, 1, 40, 1));
        QCOMPARE(ModuleCount, 1);
    }

    void format_data()
    {
        QTest::addColumn<ModuleSettings>("values");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("defaults") << settings(1, 1, 40, 1) << QByteArray("1,1,40,1\r\n");
        QTest::newRow("limits") << settings(250, 10, 160, 32767) << QByteArray("250,10,160,32767\r\n");
        QTest::newRow("negatives") << settings(-3, 0, -1, -32768) << QByteArray("-3,0,-1,-32768\r\n");
    }
    void format()
    {
        QFETCH(ModuleSettings, values);
        QFETCH(QByteArray, bytes);
        QCOMPARE(formatModSet(values), bytes);
        QCOMPARE(parseModSet(bytes), std::optional<ModuleSettings>(values));
    }

    void saveCheck_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("sensors");
        QTest::addColumn<QString>("modules");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("file"); // empty when nothing may be written

        const QString ch = channelCountMessage();
        const QString ad = addressMessage();
        const QString se = sensorCountMessage();
        const QString mo = moduleCountMessage();
        const QStringList none;

        QTest::newRow("designed texts") << "1"
                                        << "1"
                                        << "40"
                                        << "1" << none << QByteArray("1,1,40,1\r\n");
        QTest::newRow("upper limits") << "250"
                                      << "10"
                                      << "160"
                                      << "1" << none << QByteArray("250,10,160,1\r\n");
        QTest::newRow("channels 11") << "1"
                                     << "11"
                                     << "40"
                                     << "1" << QStringList{ch} << QByteArray();
        QTest::newRow("address 251") << "251"
                                     << "1"
                                     << "40"
                                     << "1" << QStringList{ad} << QByteArray();
        QTest::newRow("sensors 161") << "1"
                                     << "1"
                                     << "161"
                                     << "1" << QStringList{se} << QByteArray();
        QTest::newRow("channels 0") << "1"
                                    << "0"
                                    << "40"
                                    << "1" << QStringList{ch} << QByteArray();
        QTest::newRow("address -3") << "-3"
                                    << "1"
                                    << "40"
                                    << "1" << QStringList{ad} << QByteArray();
        QTest::newRow("sensors 0.5") << "1"
                                     << "1"
                                     << "0.5"
                                     << "1" << QStringList{se} << QByteArray();
        // Compared as decimals: just above a limit fails although its floor would fit.
        QTest::newRow("channels 10.5") << "1"
                                       << "10.5"
                                       << "40"
                                       << "1" << QStringList{ch} << QByteArray();
        QTest::newRow("all three at 0, in order") << "0"
                                                  << "0"
                                                  << "0"
                                                  << "1" << QStringList{ch, ad, se} << QByteArray();
        QTest::newRow("channels 2.9 floored") << "1"
                                              << "2.9"
                                              << "40"
                                              << "1" << none << QByteArray("1,2,40,1\r\n");
        QTest::newRow("address 7.5 floored") << "7.5"
                                             << "1"
                                             << "40"
                                             << "1" << none << QByteArray("7,1,40,1\r\n");
        QTest::newRow("blanks around") << " 5 "
                                       << "3 "
                                       << " 20"
                                       << "2" << none << QByteArray("5,3,20,2\r\n");
        QTest::newRow("modules -5 unchecked") << "1"
                                              << "1"
                                              << "40"
                                              << "-5" << none << QByteArray("1,1,40,-5\r\n");
        QTest::newRow("modules 0 unchecked") << "1"
                                             << "1"
                                             << "40"
                                             << "0" << none << QByteArray("1,1,40,0\r\n");
        QTest::newRow("modules -0.5 floored") << "1"
                                              << "1"
                                              << "40"
                                              << "-0.5" << none << QByteArray("1,1,40,-1\r\n");
        QTest::newRow("modules 32767.9") << "1"
                                         << "1"
                                         << "40"
                                         << "32767.9" << none << QByteArray("1,1,40,32767\r\n");
        QTest::newRow("modules 32768") << "1"
                                       << "1"
                                       << "40"
                                       << "32768" << QStringList{mo} << QByteArray();
        QTest::newRow("modules -32768.5") << "1"
                                          << "1"
                                          << "40"
                                          << "-32768.5" << QStringList{mo} << QByteArray();
        QTest::newRow("address abc") << "abc"
                                     << "1"
                                     << "40"
                                     << "1" << QStringList{ad} << QByteArray();
        QTest::newRow("channels abc") << "1"
                                      << "abc"
                                      << "40"
                                      << "1" << QStringList{ch} << QByteArray();
        QTest::newRow("sensors abc") << "1"
                                     << "1"
                                     << "abc"
                                     << "1" << QStringList{se} << QByteArray();
        QTest::newRow("modules abc") << "1"
                                     << "1"
                                     << "40"
                                     << "abc" << QStringList{mo} << QByteArray();
        QTest::newRow("all empty") << ""
                                   << ""
                                   << ""
                                   << "" << QStringList{ch, ad, se, mo} << QByteArray();
        QTest::newRow("exponent is no number") << "1e2"
                                               << "1"
                                               << "40"
                                               << "1" << QStringList{ad} << QByteArray();
    }
    void saveCheck()
    {
        QFETCH(QString, address);
        QFETCH(QString, channels);
        QFETCH(QString, sensors);
        QFETCH(QString, modules);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, file);

        const SaveCheck check = checkModuleSettingsForSave(address, channels, sensors, modules);
        QCOMPARE(check.messages, messages);
        QCOMPARE(check.values.has_value(), messages.isEmpty());
        if (check.values)
            QCOMPARE(formatModSet(*check.values), file);
    }

    void exactMessages()
    {
        QCOMPARE(channelCountMessage(), QStringLiteral("模块通道数最大为1，最大为10，请检查后再保存"));
        QCOMPARE(addressMessage(), QStringLiteral("设备地址最小值为1，最大为250，请检查后再保存"));
        QCOMPARE(sensorCountMessage(),
                 QStringLiteral("一个通道最多接传感器数为160，最少为1，请检查后再保存"));
        QCOMPARE(moduleCountMessage(), QStringLiteral("模块总数：请输入-32768～32767之间的整数"));
    }

    void saveWritesTheLine()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(saveModSet(dir.path(), settings(12, 3, 20, -5)));
        QCOMPARE(fileBytes(dir.filePath("ModSet.set")), QByteArray("12,3,20,-5\r\n"));

        const ModSetLoad load = loadModSet(dir.path());
        QCOMPARE(load.status, ModSetLoad::Ok);
        QCOMPARE(load.values, settings(12, 3, 20, -5));
    }

    void everyAcceptedSaveLoadsBack_data()
    {
        QTest::addColumn<QString>("modules");
        QTest::newRow("lowest") << "-32768";
        QTest::newRow("highest with fraction") << "32767.99";
        QTest::newRow("negative fraction") << "-12.25";
    }
    void everyAcceptedSaveLoadsBack()
    {
        QFETCH(QString, modules);
        QTemporaryDir dir;
        const SaveCheck check = checkModuleSettingsForSave("250", "10", "160", modules);
        QVERIFY(check.values);
        QVERIFY(saveModSet(dir.path(), *check.values));
        const ModSetLoad load = loadModSet(dir.path());
        QCOMPARE(load.status, ModSetLoad::Ok);
        QCOMPARE(load.values, *check.values);
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<ModuleSettings>("values");
        const ModuleSettings d;

        QTest::newRow("12,3,20,2 CR LF") << QByteArray("12,3,20,2\r\n") << true << settings(12, 3, 20, 2);
        QTest::newRow("extra fields ignored")
            << QByteArray("5,2,30,4,99,junk\r\n") << true << settings(5, 2, 30, 4);
        QTest::newRow("second line ignored")
            << QByteArray("5,2,30,4\r\nxyz\r\n") << true << settings(5, 2, 30, 4);
        // Values the window cannot use give way to their defaults (named in outOfRange);
        // the module count is only shown.
        QTest::newRow("out of range: defaults in their place")
            << QByteArray("0,12,-7,-5\r\n") << true << settings(1, 1, 40, -5);
        QTest::newRow("at the ends of their ranges")
            << QByteArray("250,10,160,0\r\n") << true << settings(250, 10, 160, 0);
        QTest::newRow("empty") << QByteArray() << false << d;
        QTest::newRow("too short") << QByteArray("12,3,20\r\n") << false << d;
    }
    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, ok);
        QFETCH(ModuleSettings, values);

        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("ModSet.set"), content));
        const ModSetLoad result = loadModSet(dir.path());
        QCOMPARE(result.status, ok ? ModSetLoad::Ok : ModSetLoad::Unreadable);
        QCOMPARE(result.values, values);
        QCOMPARE(result.path, dir.filePath("ModSet.set"));
        QCOMPARE(result.outOfRange.size(), content.startsWith("0,12,-7") ? 3 : 0);
    }

    void loadMissing()
    {
        QTemporaryDir dir;
        const ModSetLoad result = loadModSet(dir.path());
        QCOMPARE(result.status, ModSetLoad::Missing);
        QCOMPARE(result.values, ModuleSettings{});
        QCOMPARE(result.path, dir.filePath("ModSet.set"));
    }
};

std::unique_ptr<QObject> makeModuleSettingsTest()
{
    return std::make_unique<TestModuleSettings>();
}

#include "test_module_settings.moc"
