// The installation's map and its file, a bin's figures by layer and the
// comparison of two readings, as tables.

#include "bins/bin_figures.h"
#include "bins/bins_settings.h"
#include "bins/layout_file.h"

#include <QtTest>

using namespace bins;

namespace {

constexpr qint64 Now = 1700000000000;

// A reading of hundredths `value` (or a fault's raw register).
history::Reading at(int station, int channel, int position, int hundredths, qint64 timeMs = Now)
{
    return history::readingFromRaw(timeMs, station, channel, position, quint16(qint16(hundredths)));
}

constexpr int NotWired = 0xBAD2;

QString figure(const std::optional<double>& value)
{
    return value ? QString::number(*value, 'f', 2) : QStringLiteral("-");
}

// "high@cable/layer low@cable/layer avg faults"
QString describe(const Figures& f)
{
    if (!f.highest)
        return QStringLiteral("- - - %1").arg(f.faults);
    return QStringLiteral("%1@%2/%3 %4@%5/%6 %7 %8")
        .arg(figure(f.highest->celsius))
        .arg(f.highest->cable)
        .arg(f.highest->layer)
        .arg(figure(f.lowest->celsius))
        .arg(f.lowest->cable)
        .arg(f.lowest->layer)
        .arg(figure(f.average))
        .arg(f.faults);
}

} // namespace

class TestBins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cableLayers_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("bottom");
        QTest::addColumn<QList<int>>("positionsByLayer"); // layer 1.. ; then layer beyond
        QTest::newRow("top-down") << 1 << 4 << QList<int>{1, 2, 3, 4, 0};
        QTest::newRow("bottom-up") << 12 << 9 << QList<int>{12, 11, 10, 9, 0};
        QTest::newRow("shorter, from 3") << 3 << 5 << QList<int>{3, 4, 5, 0};
        QTest::newRow("one sensor") << 7 << 7 << QList<int>{7, 0};
    }
    void cableLayers()
    {
        QFETCH(int, top);
        QFETCH(int, bottom);
        QFETCH(QList<int>, positionsByLayer);
        Cable cable;
        cable.topPosition = top;
        cable.bottomPosition = bottom;
        QCOMPARE(cable.layers(), positionsByLayer.size() - 1);
        for (int layer = 1; layer <= positionsByLayer.size(); ++layer) {
            const int position = positionsByLayer[layer - 1];
            QCOMPARE(cable.positionAt(layer), position);
            if (position != 0)
                QCOMPARE(cable.layerOf(position), layer);
        }
        QCOMPARE(cable.layerOf(std::max(top, bottom) + 1), 0);
        QCOMPARE(cable.layerOf(std::min(top, bottom) - 1), 0);
    }

    void fileRoundTrip()
    {
        const QByteArray text = "# map\r\n"
                                "bin,\"1号仓, 东\",24,12.5\r\n"
                                "\r\n"
                                "cable,1,1,1,3,3,1,40\r\n"
                                "cable,2,1,2,9.5,3,40,1\r\n"
                                "bin,2号仓,10,10\r\n"
                                "cable,7,2,1,5,5,1,20\r\n";
        const LayoutParse parsed = parseLayoutFile(text);
        QVERIFY2(parsed.layout, qPrintable(problemText(parsed.problem)));
        const BinLayout& layout = *parsed.layout;
        QCOMPARE(layout.bins.size(), 2);
        QCOMPARE(layout.bins[0].name, QStringLiteral("1号仓, 东"));
        QCOMPARE(layout.bins[0].depth, 12.5);
        QCOMPARE(layout.bins[0].cables[1].x, 9.5);
        QCOMPARE(layout.bins[0].cables[1].positionAt(1), 40);
        QCOMPARE(layout.bins[1].cables[0].number, 7);
        QCOMPARE(layout.bins[1].cables[0].station, 2);
        const LayoutParse again = parseLayoutFile(formatLayoutFile(layout));
        QVERIFY(again.layout);
        QCOMPARE(formatLayoutFile(*again.layout), formatLayoutFile(layout));
    }

    void fileProblems_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem");
        const QByteArray bin = "bin,A,10,10\r\n";
        QTest::newRow("unknown record") << QByteArray("bim,A,10,10\r\n") << QStringLiteral("第1行第1项：应为 bin 或 cable");
        QTest::newRow("bin fields") << QByteArray("bin,A,10\r\n") << QStringLiteral("第1行：仓行应有 4 项：bin,名称,宽,深");
        QTest::newRow("empty name") << QByteArray("bin,,10,10\r\n") << QStringLiteral("第1行第2项（名称）：不能为空");
        QTest::newRow("width") << QByteArray("bin,A,wide,10\r\n") << QStringLiteral("第1行第3项（宽）：应为 0.1..1000 的数");
        QTest::newRow("cable before bin") << QByteArray("cable,1,1,1,1,1,1,4\r\n")
                                          << QStringLiteral("第1行第1项：电缆行之前没有仓行");
        QTest::newRow("channel") << bin + "cable,1,1,11,1,1,1,4\r\n"
                                 << QStringLiteral("第2行第4项（通道）：应为 1..10 的整数");
        QTest::newRow("x outside the bin") << bin + "cable,1,1,1,12,1,1,4\r\n"
                                           << QStringLiteral("第2行第5项（x）：应为 0..10 的数");
        QTest::newRow("bottom position") << bin + "#\r\ncable,1,1,1,1,1,1,161\r\n"
                                         << QStringLiteral("第3行第8项（底层位置）：应为 1..160 的整数");
        QTest::newRow("cable number twice") << bin + "cable,1,1,1,1,1,1,4\r\ncable,1,1,2,1,1,1,4\r\n"
                                            << QStringLiteral("第3行第2项（编号）：本仓已有 1 号电缆");
        QTest::newRow("channel in two bins")
            << bin + "cable,1,3,2,1,1,1,4\r\nbin,B,5,5\r\ncable,1,3,2,1,1,1,4\r\n"
            << QStringLiteral("第4行第4项（通道）：3 号站 2 通道已属另一根电缆");
        QTest::newRow("bin without cables") << bin << QStringLiteral("仓“A”没有电缆");
        QTest::newRow("open quote") << QByteArray("bin,\"A,10,10\r\n") << QStringLiteral("第1行第2项：引号不成对");
    }
    void fileProblems()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        const LayoutParse parsed = parseLayoutFile(text);
        QVERIFY(!parsed.layout);
        QCOMPARE(problemText(parsed.problem), problem);
    }

    void defaultMap()
    {
        const BinLayout layout =
            defaultLayout({at(3, 2, 5, 100), at(1, 1, 2, 100), at(3, 1, 12, 100), at(1, 4, 1, 100)});
        QCOMPARE(layout.bins.size(), 2);
        QCOMPARE(layout.bins[0].name, QStringLiteral("1号站"));
        QCOMPARE(layout.bins[0].cables.size(), 4); // channels 1..4
        QCOMPARE(layout.bins[0].layers(), 2);
        QCOMPARE(layout.bins[1].name, QStringLiteral("3号站"));
        QCOMPARE(layout.bins[1].cables.size(), 2);
        QCOMPARE(layout.bins[1].layers(), 12);
        QCOMPARE(layout.bins[1].cables[1].channel, 2);
        QCOMPARE(layout.bins[1].cables[1].positionAt(7), 7);
    }

    // Three cables: 1 top-down over positions 1..3, 2 bottom-up over 3..1, 3 only two sensors.
    void figures_data()
    {
        QTest::addColumn<QVector<history::Reading>>("readings");
        QTest::addColumn<QStringList>("layers"); // describe() per layer
        QTest::addColumn<QString>("whole");
        QTest::addColumn<int>("cellsWithValue");

        QTest::newRow("all values")
            << QVector<history::Reading>{at(1, 1, 1, 1000), at(1, 1, 2, 1100), at(1, 1, 3, 1200),
                                         at(1, 2, 3, 2000), at(1, 2, 2, 2100), at(1, 2, 1, 2200),
                                         at(1, 3, 1, 500), at(1, 3, 2, 600)}
            << QStringList{"20.00@1/1 5.00@2/1 11.67 0", "21.00@1/2 6.00@2/2 12.67 0", "22.00@1/3 12.00@0/3 17.00 0"}
            << "22.00@1/3 5.00@2/1 13.38 0" << 8;
        QTest::newRow("a fault in layer 2 is left out")
            << QVector<history::Reading>{at(1, 1, 1, 1000), at(1, 1, 2, 9900), at(1, 1, 3, 1200),
                                         at(1, 2, 3, 2000), at(1, 2, 2, NotWired), at(1, 2, 1, 2200),
                                         at(1, 3, 1, 500), at(1, 3, 2, 0xFFFF)}
            << QStringList{"20.00@1/1 5.00@2/1 11.67 0", "99.00@0/2 99.00@0/2 99.00 2", "22.00@1/3 12.00@0/3 17.00 0"}
            << "99.00@0/2 5.00@2/1 28.00 2" << 6;
        QTest::newRow("a layer without readings")
            << QVector<history::Reading>{at(1, 1, 1, -250), at(1, 2, 3, 250)}
            << QStringList{"2.50@1/1 -2.50@0/1 0.00 0", "- - - 0", "- - - 0"} << "2.50@1/1 -2.50@0/1 0.00 0" << 2;
        QTest::newRow("other stations' readings ignored, the newest kept")
            << QVector<history::Reading>{at(1, 1, 1, 1000, Now), at(1, 1, 1, 3000, Now - 1000), at(2, 1, 1, 9000)}
            << QStringList{"10.00@0/1 10.00@0/1 10.00 0", "- - - 0", "- - - 0"} << "10.00@0/1 10.00@0/1 10.00 0" << 1;
    }
    void figures()
    {
        QFETCH(QVector<history::Reading>, readings);
        QFETCH(QStringList, layers);
        QFETCH(QString, whole);
        QFETCH(int, cellsWithValue);
        const BinLayout layout = *parseLayoutFile("bin,A,10,10\r\n"
                                                  "cable,1,1,1,1,1,1,3\r\n"
                                                  "cable,2,1,2,2,2,3,1\r\n"
                                                  "cable,3,1,3,3,3,1,2\r\n")
                                      .layout;
        SensorReadings sensors;
        sensors.add(readings);
        const BinView view = binView(layout.bins[0], sensors);
        QCOMPARE(view.layerCount(), 3);
        QVERIFY(!view.cells[2][2].hasSensor); // the short cable ends at layer 2
        QStringList got;
        for (const Figures& f : view.layers)
            got << describe(f);
        QCOMPARE(got, layers);
        QCOMPARE(describe(view.whole), whole);
        int withValue = 0;
        for (const auto& row : view.cells)
            withValue += int(std::count_if(row.begin(), row.end(), [](const Cell& c) { return c.hasValue(); }));
        QCOMPARE(withValue, cellsWithValue);
        QCOMPARE(view.faults().size(), view.whole.faults);
    }

    void binOfOneCable()
    {
        const Bin bin = defaultBin(5, 1, 4);
        SensorReadings sensors;
        sensors.add({at(5, 1, 1, 100), at(5, 1, 2, 300), at(5, 1, 4, 0xB492)});
        const BinView view = binView(bin, sensors);
        QCOMPARE(view.layerCount(), 4);
        QCOMPARE(describe(view.whole), QStringLiteral("3.00@0/2 1.00@0/1 2.00 1"));
        QCOMPARE(describe(view.cables[0]), describe(view.whole));
        QVERIFY(view.cells[2][0].hasSensor && !view.cells[2][0].reading);
        QCOMPARE(view.faults().size(), 1);
        QCOMPARE(view.faults()[0].position, 4);
    }

    void comparison()
    {
        const Bin bin = defaultBin(1, 2, 2);
        SensorReadings before;
        before.add({at(1, 1, 1, 1000), at(1, 1, 2, 1000), at(1, 2, 1, 1000), at(1, 2, 2, NotWired)});
        SensorReadings now;
        now.add({at(1, 1, 1, 1600), at(1, 1, 2, 900), at(1, 2, 1, 1200), at(1, 2, 2, 5000)});
        const BinComparison c = compareReadings(binView(bin, now), binView(bin, before), 0.5);
        QCOMPARE(figure(c.change[0][0]), QStringLiteral("6.00"));
        QCOMPARE(figure(c.change[1][0]), QStringLiteral("-1.00"));
        QCOMPARE(figure(c.change[1][1]), QStringLiteral("-")); // no value before
        QVERIFY(c.risen[0][0] && c.risen[0][1] && !c.risen[1][0] && !c.risen[1][1]);
        QCOMPARE(c.risenCount, 2);
        QCOMPARE(figure(c.layerAverageChange[0]), QStringLiteral("4.00"));
        QCOMPARE(figure(c.layerAverageChange[1]), QStringLiteral("19.50")); // 29.5 against 10
        QCOMPARE(figure(c.averageChange), QStringLiteral("11.75"));
        QCOMPARE(figure(c.highestChange), QStringLiteral("40.00"));
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("badField");
        QTest::newRow("all set") << QByteArray("\"东库, 北\",-5,35.5,1.5,06:30,7\r\n") << 0;
        QTest::newRow("no daily report") << QByteArray("A,0,40,2,,30\r\n") << 0;
        QTest::newRow("too few fields") << QByteArray("A,0,40,2\r\n") << 5;
        QTest::newRow("empty site") << QByteArray(",0,40,2,,30") << 1;
        QTest::newRow("high not above low") << QByteArray("A,20,20,2,,30") << 3;
        QTest::newRow("negative rise") << QByteArray("A,0,40,-1,,30") << 4;
        QTest::newRow("bad time") << QByteArray("A,0,40,2,25:00,30") << 5;
        QTest::newRow("keep no days") << QByteArray("A,0,40,2,06:00,0") << 6;
    }
    void settings()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, badField);
        const BinsSettingsParse parsed = parseBinsSettings(text);
        QCOMPARE(parsed.badField, badField);
        QCOMPARE(parsed.settings.has_value(), badField == 0);
        if (parsed.settings) {
            const BinsSettingsParse again = parseBinsSettings(formatBinsSettings(*parsed.settings));
            QVERIFY(again.settings);
            QVERIFY(*again.settings == *parsed.settings);
        }
    }

    void nextReportTime_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("at");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("later today") << "2026-03-01 05:00:00" << "06:30" << qint64(90 * 60 * 1000);
        QTest::newRow("just passed: tomorrow") << "2026-03-01 06:30:00" << "06:30" << qint64(24 * 3600 * 1000);
        QTest::newRow("across the month") << "2026-02-28 23:59:30" << "00:00" << qint64(30 * 1000);
    }
    void nextReportTime()
    {
        QFETCH(QString, now);
        QFETCH(QString, at);
        QFETCH(qint64, ms);
        const QDateTime start = QDateTime::fromString(now, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QDateTime utc(start.date(), start.time(), Qt::UTC);
        QCOMPARE(msUntilNext(utc, QTime::fromString(at, QStringLiteral("HH:mm"))), ms);
    }
};

QTEST_GUILESS_MAIN(TestBins)
#include "test_bins.moc"
