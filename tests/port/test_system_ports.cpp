// The system's ports as listed: the stable by-id name found for a device through
// the links that point to it, and the line a list shows.

#include "port_tests.h"

#include "port/system_ports.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using port::SystemPort;

Q_DECLARE_METATYPE(port::SystemPort)

class TestSystemPorts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stableNameFollowsTheLinks()
    {
        QTemporaryDir dir;
        const QString devices = dir.filePath(QStringLiteral("dev"));
        const QString byId = dir.filePath(QStringLiteral("by-id"));
        QVERIFY(QDir().mkpath(devices) && QDir().mkpath(byId));
        for (const char* name : {"ttyUSB0", "ttyUSB1"}) {
            QFile device(devices + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(device.open(QIODevice::WriteOnly));
        }
        // Links as udev makes them: relative, one per adapter.
        QVERIFY(QFile::link(QStringLiteral("../dev/ttyUSB1"), byId + QStringLiteral("/usb-FTDI_A50285BI-if00-port0")));
        QVERIFY(QFile::link(QStringLiteral("../dev/gone"), byId + QStringLiteral("/usb-dangling")));

        QCOMPARE(port::stableNameFor(devices + QStringLiteral("/ttyUSB1"), byId),
                 byId + QStringLiteral("/usb-FTDI_A50285BI-if00-port0"));
        QCOMPARE(port::stableNameFor(devices + QStringLiteral("/ttyUSB0"), byId), QString());
        QCOMPARE(port::stableNameFor(devices + QStringLiteral("/missing"), byId), QString());
        QCOMPARE(port::stableNameFor(devices + QStringLiteral("/ttyUSB1"), dir.filePath(QStringLiteral("no"))),
                 QString());
    }

    void listLine_data()
    {
        QTest::addColumn<SystemPort>("port");
        QTest::addColumn<QString>("line");
        QTest::newRow("all known") << SystemPort{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A502", "/dev/serial/by-id/x"}
                                   << "/dev/ttyUSB0  FT232R USB UART  FTDI  A502  (/dev/serial/by-id/x)";
        QTest::newRow("a bare port") << SystemPort{"/dev/ttyS0", "", "", "", ""} << "/dev/ttyS0";
    }
    void listLine()
    {
        QFETCH(SystemPort, port);
        QFETCH(QString, line);
        QCOMPARE(port::systemPortLine(port), line);
    }
};

std::unique_ptr<QObject> makeSystemPortsTest()
{
    return std::make_unique<TestSystemPorts>();
}

#include "test_system_ports.moc"
