// The "comm.set" file, line settings texts, port names and the operator texts.

#include "config/comm_settings.h"
#include "port/line_settings.h"
#include "port/port_messages.h"
#include "port/port_names.h"
#include "port_tests.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

#include <unistd.h>

using namespace port;
using namespace config;

class TestCommSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void saveWritesOneLine_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("COM5 19200") << 5 << 19200 << QByteArray("5,19200\r\n");
        QTest::newRow("COM4 9600") << 4 << 9600 << QByteArray("4,9600\r\n");
        QTest::newRow("COM25 4800") << 25 << 4800 << QByteArray("25,4800\r\n");
    }
    void saveWritesOneLine()
    {
        QFETCH(int, portNumber);
        QFETCH(int, baud);
        QFETCH(QByteArray, expected);
        QCOMPARE(formatCommSet(portNumber, baud), expected);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(saveCommSet(dir.path(), portNumber, baud));
        QCOMPARE(fileBytes(dir.filePath("comm.set")), expected);

        const CommSetLoad load = loadCommSet(dir.path());
        QCOMPARE(load.status, CommSetLoad::Ok);
        QCOMPARE(load.port, portNumber);
        QCOMPARE(load.baud, baud);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<int>("baud");
        QTest::newRow("as saved") << QByteArray("4,9600\r\n") << true << 4 << 9600;
        QTest::newRow("third field ignored") << QByteArray("4,9600,xyz\r\n") << true << 4 << 9600;
        QTest::newRow("next lines ignored") << QByteArray("4,9600\r\ngarbage\r\n") << true << 4 << 9600;
        QTest::newRow("rate not in the list") << QByteArray("2,2400\r\n") << true << 2 << 2400;

        QTest::newRow("empty") << QByteArray() << false << 0 << 0;
        QTest::newRow("second field missing") << QByteArray("4\r\n") << false << 0 << 0;
        QTest::newRow("second field missing, no line end") << QByteArray("4") << false << 0 << 0;
        QTest::newRow("second field empty") << QByteArray("4,\r\n") << false << 0 << 0;
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(int, portNumber);
        QFETCH(int, baud);
        const std::optional<CommSetValues> values = parseCommSet(text);
        QCOMPARE(values.has_value(), ok);
        if (ok) {
            QCOMPARE(values->port, portNumber);
            QCOMPARE(values->baud, baud);
        }

        // The file gives the same verdict, falling back to COM4 and 9600.
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("comm.set"), text));
        const CommSetLoad load = loadCommSet(dir.path());
        QCOMPARE(load.status, ok ? CommSetLoad::Ok : CommSetLoad::Unreadable);
        QCOMPARE(load.port, ok ? portNumber : 4);
        QCOMPARE(load.baud, ok ? baud : 9600);
        QCOMPARE(load.path, dir.path() + "/comm.set");
    }

    void loadMissingGivesDefaults()
    {
        QTemporaryDir dir;
        const CommSetLoad load = loadCommSet(dir.path());
        QCOMPARE(load.status, CommSetLoad::Missing);
        QCOMPARE(load.port, 4);
        QCOMPARE(load.baud, 9600);
        QCOMPARE(load.path, dir.path() + "/comm.set");
    }

    void lineSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("baud"); // 0: not usable
        QTest::newRow("9600") << "9600,N,8,1" << 9600;
        QTest::newRow("19200 lower-case n") << "19200,n,8,1" << 19200;
        QTest::newRow("blanks") << " 14400 , N , 8 , 1 " << 14400;
        QTest::newRow("above 16 bits is fine for the port") << "115200,N,8,1" << 115200;
        QTest::newRow("even parity") << "9600,E,8,1" << 0;
        QTest::newRow("7 data bits") << "9600,N,7,1" << 0;
        QTest::newRow("2 stop bits") << "9600,N,8,2" << 0;
        QTest::newRow("baud only") << "9600" << 0;
        QTest::newRow("zero") << "0,N,8,1" << 0;
        QTest::newRow("negative") << "-9600,N,8,1" << 0;
        QTest::newRow("words") << "fast,N,8,1" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void lineSettings()
    {
        QFETCH(QString, text);
        QFETCH(int, baud);
        const std::optional<int> parsed = baudFromSettings(text);
        QCOMPARE(parsed.has_value(), baud != 0);
        if (baud != 0) {
            QCOMPARE(*parsed, baud);
            QCOMPARE(baudFromSettings(lineSettingsText(baud)), parsed);
        }
    }
    void lineSettingsText9600() { QCOMPARE(lineSettingsText(9600), QString("9600,N,8,1")); }

    void portNames()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path();
        QDir(folder).mkpath("ports");
        QDir(folder).mkpath("dev/serial/by-id");
        QVERIFY(writeBytes(folder + "/dev/ttyUSB0", ""));
        const QString device = QFileInfo(folder + "/dev/ttyUSB0").canonicalFilePath();
        const QString ports = QFileInfo(folder + "/ports").canonicalFilePath();

        // An absolute link, a relative one, one through a by-id style link, a dangling one.
        QVERIFY(QFile::link(device, folder + "/ports/COM1"));
        QVERIFY(::symlink("../dev/ttyUSB0", QFile::encodeName(folder + "/ports/COM2").constData()) == 0);
        QVERIFY(::symlink("../../ttyUSB0",
                          QFile::encodeName(folder + "/dev/serial/by-id/usb-x").constData()) == 0);
        QVERIFY(QFile::link(folder + "/dev/serial/by-id/usb-x", folder + "/ports/COM3"));
        QVERIFY(::symlink("../dev/ttyUSB9", QFile::encodeName(folder + "/ports/COM7").constData()) == 0);

        QCOMPARE(resolvePortName(1, folder), device);
        QCOMPARE(resolvePortName(2, folder), device);
        QCOMPARE(resolvePortName(3, folder), device);
        // Dangling: still the target, made absolute against the ports folder, so opening it
        // reports a missing device rather than silently taking /dev/ttyS6.
        QCOMPARE(resolvePortName(7, folder), QDir::cleanPath(ports + "/../dev/ttyUSB9"));
        // No link: the system's own port.
        QCOMPARE(resolvePortName(4, folder), QString("/dev/ttyS3"));
        QCOMPARE(resolvePortName(1, folder + "/elsewhere"), QString("/dev/ttyS0"));
        QCOMPARE(resolvePortName(25, QString()), QString("/dev/ttyS24"));
        // Port 0 (a typed text that selects no entry) stands for no device.
        QCOMPARE(resolvePortName(0, folder), QString());
        QCOMPARE(resolvePortName(-3, folder), QString());
    }

    void operatorTexts()
    {
        QCOMPARE(openFailureText(OpenFailure::Busy, "COM4", "/dev/ttyS3"),
                 QString("所选的串行端口已被其他设备所使用!"));
        QCOMPARE(openFailureText(OpenFailure::Missing, "COM7", "/dev/ttyS6"),
                 QString("串口COM7不存在（/dev/ttyS6）"));
        QCOMPARE(openFailureText(OpenFailure::Missing, "COM0"), QString("串口COM0不存在"));
        QCOMPARE(openFailureText(OpenFailure::None, "COM4"), QString());
        QCOMPARE(connectionLostText(), QString("串口连接已断开"));
        // Every other failure names the port and its device, each with its own text.
        QStringList seen;
        for (OpenFailure failure : {OpenFailure::Denied, OpenFailure::Settings, OpenFailure::Other}) {
            const QString text = openFailureText(failure, "COM9", "/dev/ttyUSB1");
            QVERIFY2(text.contains("COM9") && text.contains("/dev/ttyUSB1"), qPrintable(text));
            QVERIFY2(!seen.contains(text), qPrintable(text));
            seen << text;
        }
    }
};

std::unique_ptr<QObject> makeCommSettingsTest()
{
    return std::make_unique<TestCommSettings>();
}

#include "test_comm_settings.moc"
