// "view.set": the zoom it holds, 100 % for anything else, and the steps.

#include "config/view_settings.h"
#include "config_tests.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

using namespace config;

class TestViewSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void load_data()
    {
        QTest::addColumn<QString>("place"); // "none", "folder" or "file"
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("percent");
        QTest::newRow("missing") << "none" << QByteArray() << 100;
        QTest::newRow("a folder in its place") << "folder" << QByteArray() << 100;
        QTest::newRow("saved") << "file" << formatViewSet(150) << 150;
        QTest::newRow("between steps, by hand") << "file" << QByteArray(" 125 ,x\n") << 125;
        QTest::newRow("smallest") << "file" << QByteArray("80") << 80;
        QTest::newRow("largest") << "file" << QByteArray("200") << 200;
        QTest::newRow("too small") << "file" << QByteArray("79\r\n") << 100;
        QTest::newRow("too large") << "file" << QByteArray("201\r\n") << 100;
        QTest::newRow("not a whole number") << "file" << QByteArray("150%\r\n") << 100;
        QTest::newRow("empty") << "file" << QByteArray() << 100;
        QTest::newRow("binary") << "file" << QByteArray("\xff\xfe\x00\x01", 4) << 100;
    }
    void load()
    {
        QFETCH(QString, place);
        QFETCH(QByteArray, content);
        QFETCH(int, percent);
        QTemporaryDir dir;
        const QString path = settingsFilePath(dir.path(), kViewSetName);
        if (place == "folder")
            QVERIFY(QDir(dir.path()).mkdir(kViewSetName));
        if (place == "file")
            QVERIFY(writeBytes(path, content));
        QCOMPARE(loadZoomPercent(dir.path()), percent);
    }

    void saveIsReadBack()
    {
        QTemporaryDir dir;
        QVERIFY(saveZoomPercent(dir.path(), 170));
        QCOMPARE(fileBytes(settingsFilePath(dir.path(), kViewSetName)), QByteArray("170\r\n"));
        QCOMPARE(loadZoomPercent(dir.path()), 170);
    }

    void nextStep_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("next");
        QTest::newRow("100 up") << 100 << 1 << 110;
        QTest::newRow("100 down") << 100 << -1 << 90;
        QTest::newRow("largest stays") << 200 << 1 << 200;
        QTest::newRow("smallest stays") << 80 << -1 << 80;
        QTest::newRow("between steps up") << 125 << 1 << 130;
        QTest::newRow("between steps down") << 125 << -1 << 120;
    }
    void nextStep()
    {
        QFETCH(int, percent);
        QFETCH(int, steps);
        QFETCH(int, next);
        QCOMPARE(nextZoomPercent(percent, steps), next);
    }
};

std::unique_ptr<QObject> makeViewSettingsTest()
{
    return std::make_unique<TestViewSettings>();
}

#include "test_view_settings.moc"
