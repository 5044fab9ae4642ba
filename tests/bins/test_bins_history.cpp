// The history's answer to "the newest reading of each sensor at or before T",
// on a database with readings before, at and after T, and a map's figures from it.

#include "bins/bin_figures.h"
#include "history/history_store.h"
#include "history/newest_readings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 T = 1700000000000;
constexpr qint64 Minute = 60 * 1000;

history::Reading at(qint64 timeMs, int station, int channel, int position, int hundredths)
{
    return history::readingFromRaw(timeMs, station, channel, position, quint16(qint16(hundredths)));
}

} // namespace

class TestBinsHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newestAtOrBefore_data()
    {
        QTest::addColumn<qint64>("atMs");
        QTest::addColumn<QStringList>("expected"); // "station/channel/position=hundredths"
        QTest::newRow("at T") << T << QStringList{"1/1/1=2000", "1/1/2=1500", "2/3/1=-0.25"};
        QTest::newRow("a minute before T") << T - Minute << QStringList{"1/1/1=1000", "1/1/2=1500", "2/3/1=-0.25"};
        QTest::newRow("after everything") << T + 10 * Minute
                                          << QStringList{"1/1/1=3000", "1/1/2=1500", "2/3/1=-0.25"};
        QTest::newRow("only a reading older than the look-back")
            << T - history::kNewestLookBackMs + Minute << QStringList{};
    }
    void newestAtOrBefore()
    {
        QFETCH(qint64, atMs);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        history::HistoryStore store(history::HistoryStore::pathIn(dir.path()));
        QVERIFY(store.append({at(T - 2 * Minute, 1, 1, 1, 1000), at(T - 2 * Minute, 1, 1, 2, 1500),
                              at(T, 1, 1, 1, 2000), at(T + Minute, 1, 1, 1, 3000),
                              at(T - 3 * Minute, 2, 3, 1, -25), at(T - 2 * history::kNewestLookBackMs, 9, 1, 1, 7)}));
        const auto readings = store.newestReadingsAtOrBefore(atMs, atMs - history::kNewestLookBackMs);
        QVERIFY(readings);
        QStringList got;
        for (const history::Reading& r : *readings)
            got << QStringLiteral("%1/%2/%3=%4")
                       .arg(r.station)
                       .arg(r.channel)
                       .arg(r.position)
                       .arg(r.station == 2 ? QString::number(*r.celsius) : QString::number(r.raw));
        QCOMPARE(got, expected);
    }

    void askedOffTheThread()
    {
        QTemporaryDir dir;
        const QString path = history::HistoryStore::pathIn(dir.path());
        {
            history::HistoryStore store(path);
            QVERIFY(store.append({at(T, 1, 1, 1, 2000), at(T, 1, 1, 2, 0xBAD2)}));
        }
        history::NewestReadingsQueries queries(path);
        QSignalSpy answered(&queries, &history::NewestReadingsQueries::answered);
        queries.ask(7, T);
        QTRY_COMPARE(answered.size(), 1);
        QCOMPARE(answered[0][0].toInt(), 7);
        const auto result = answered[0][1].value<history::NewestReadings>();
        QVERIFY(result.ok);
        bins::SensorReadings sensors;
        sensors.add(result.readings);
        const bins::BinView view = bins::binView(bins::defaultBin(1, 1, 2), sensors);
        QCOMPARE(view.whole.values, 1);
        QCOMPARE(view.whole.faults, 1);
        QCOMPARE(view.whole.highest->celsius, 20.0);
    }
};

QTEST_GUILESS_MAIN(TestBinsHistory)
#include "test_bins_history.moc"
