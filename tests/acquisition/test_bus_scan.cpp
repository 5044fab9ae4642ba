// The bus scan: which stations at which rates it reports, how many channels,
// the line's rate afterwards, and the baud-rate lists it takes.

#include "acquisition/bus_scanner.h"
#include "protocol/crc16.h"

#include <QtTest>

#include "../common/memory_line.h"

using namespace acquisition;

namespace acquisition {
bool operator==(const ScanFinding& a, const ScanFinding& b)
{
    return a.station == b.station && a.baud == b.baud && a.channels == b.channels;
}
} // namespace acquisition

Q_DECLARE_METATYPE(QList<acquisition::ScanFinding>)

namespace {
// A module on the memory line: it hears only requests at its own rate, reads
// channels 1..channels and refuses the others (exception 2).
struct Module
{
    int station;
    int baud;
    int channels;
};

QByteArray answer(const QList<Module>& modules, int lineBaud, const QByteArray& request)
{
    const int station = quint8(request.at(0));
    const int channel = quint8(request.at(2));
    for (const Module& m : modules) {
        if (m.station != station || m.baud != lineBaud)
            continue;
        if (channel > m.channels)
            return protocol::appendCrc(QByteArray(1, char(station)) + QByteArray::fromHex("8302"));
        return protocol::appendCrc(QByteArray(1, char(station)) + QByteArray::fromHex("03020834"));
    }
    return {};
}
} // namespace

Q_DECLARE_METATYPE(QList<Module>)

namespace {
struct ScanRig : MemoryLine
{
    BusScanner scanner{*core};
    QList<ScanFinding> found;
    QList<bool> finished;

    explicit ScanRig(const QList<Module>& modules)
    {
        comm->setSettings(QStringLiteral("9600,N,8,1"));
        device->setResponder([this, modules](const QByteArray& request) {
            return answer(modules, device->baudRate(), request);
        });
        QObject::connect(&scanner, &BusScanner::moduleFound, [this](const ScanFinding& f) { found << f; });
        QObject::connect(&scanner, &BusScanner::finished, [this](bool complete) { finished << complete; });
    }
};

QList<int> range(int first, int last)
{
    QList<int> stations;
    for (int s = first; s <= last; ++s)
        stations << s;
    return stations;
}
} // namespace

namespace QTest {
template <> char* toString(const QList<acquisition::ScanFinding>& findings)
{
    QStringList lines;
    for (const ScanFinding& f : findings)
        lines << scanFindingLine(f);
    return qstrdup(qPrintable(lines.join(QLatin1Char(' '))));
}
} // namespace QTest


class TestBusScan : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scanFindsEachModuleAtItsRate_data()
    {
        QTest::addColumn<QList<Module>>("modules");
        QTest::addColumn<QList<int>>("bauds");
        QTest::addColumn<QList<ScanFinding>>("expected");
        const QList<int> all{4800, 9600, 14400, 19200};
        QTest::newRow("nobody") << QList<Module>{} << all << QList<ScanFinding>{};
        QTest::newRow("three modules, three rates")
            << QList<Module>{{5, 19200, 10}, {2, 4800, 4}, {3, 9600, 0}} << all
            << QList<ScanFinding>{{2, 4800, 4}, {3, 9600, 0}, {5, 19200, 10}};
        QTest::newRow("outside the stations or rates asked")
            << QList<Module>{{7, 9600, 10}, {1, 14400, 10}, {4, 9600, 2}} << QList<int>{9600}
            << QList<ScanFinding>{{4, 9600, 2}};
    }
    void scanFindsEachModuleAtItsRate()
    {
        QFETCH(QList<Module>, modules);
        QFETCH(QList<int>, bauds);
        QFETCH(QList<ScanFinding>, expected);
        ScanRig rig(modules);
        QList<int> progress;
        QObject::connect(&rig.scanner, &BusScanner::progress, [&](int done, int) { progress << done; });
        QVERIFY(rig.scanner.start(range(1, 5), bauds));
        QVERIFY(!rig.scanner.start(range(1, 5), bauds)); // one scan at a time
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QList<bool>{true}, 20000);
        QCOMPARE(rig.found, expected);
        QCOMPARE(progress.last(), 5 * int(bauds.size()));
        QCOMPARE(rig.device->baudRate(), 9600); // the line's own rate again
        QCOMPARE(rig.comm->baudRate(), 9600);
    }

    // Stopped, the scan sends nothing more and the line is back at its rate.
    void cancelledScanSetsTheRateBack()
    {
        ScanRig rig({});
        QVERIFY(rig.scanner.start(range(1, 249), {19200}));
        QTRY_VERIFY(rig.scanner.probesDone() >= 2);
        rig.scanner.cancel();
        QCOMPARE(rig.finished, QList<bool>{false});
        QCOMPARE(rig.device->baudRate(), 9600);
        QTRY_VERIFY(rig.core->idle());
        rig.device->written();
        QTest::qWait(300);
        QCOMPARE(rig.device->written(), QByteArray());
    }

    void baudRateLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("rates");
        QTest::newRow("all four") << "4800,9600,14400,19200" << QList<int>{4800, 9600, 14400, 19200};
        QTest::newRow("one, spaced") << " 14400 " << QList<int>{14400};
        QTest::newRow("not the module's") << "9600,115200" << QList<int>{};
        QTest::newRow("twice") << "9600,9600" << QList<int>{};
        QTest::newRow("empty") << "" << QList<int>{};
    }
    void baudRateLists()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, rates);
        QString error;
        QCOMPARE(parseScanBaudRates(text, &error), rates);
        QCOMPARE(error.isEmpty(), !rates.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBusScan)
#include "test_bus_scan.moc"
