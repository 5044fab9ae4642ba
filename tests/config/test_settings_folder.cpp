// Which folder a program keeps its files in: its own, or for an installed one
// (even run by root, who may write anywhere) the user's data folder, made with
// its ports/.

#include "config_tests.h"
#include "platform/settings_folder.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestSettingsFolder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void choice_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("userData");
        QTest::newRow("a build or a copied folder") << false << false;
        QTest::newRow("the packages' program folder") << true << true;
    }
    void choice()
    {
        QFETCH(bool, installed);
        QFETCH(bool, userData);
        QTemporaryDir programDir;
        const QString installedDir = installed ? programDir.path() + QStringLiteral("/") : QStringLiteral("/usr/bin");
        const platform::SettingsFolder folder = platform::chooseSettingsFolder(programDir.path(), installedDir);
        QCOMPARE(folder.userData, userData);
        QVERIFY(folder.error.isEmpty());
        if (!userData) {
            QCOMPARE(folder.path, programDir.path());
            return;
        }
        const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QCOMPARE(folder.path, QDir(dataHome).filePath(QStringLiteral("tq5900k")));
        QVERIFY(QDir(folder.path).exists(QStringLiteral("ports")));
    }
};

std::unique_ptr<QObject> makeSettingsFolderTest()
{
    return std::make_unique<TestSettingsFolder>();
}

#include "test_settings_folder.moc"
