// The history's pure rules as tables: a reading's state from its raw register,
// the record interval, the settings file's lines good and bad, and a chart's
// lines (thinned, broken at holes) and axis ticks.

#include "history/history_settings.h"
#include "history/reading.h"
#include "history/record_interval.h"
#include "history/trend_lines.h"
#include "history_tests.h"

#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

using namespace history;

Q_DECLARE_METATYPE(history::ReadingState)

namespace {

// One sensor's reading at `timeMs`; the sensor is named "station.channel.position".
Reading at(qint64 timeMs, const char* sensor = "1.1.1")
{
    const QList<QByteArray> parts = QByteArray(sensor).split('.');
    return readingFromRaw(timeMs, parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), 2500);
}

} // namespace

class TestHistoryRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateFromRaw_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<ReadingState>("state");
        QTest::addColumn<QString>("celsius"); // empty when there is none

        QTest::newRow("zero") << 0 << ReadingState::Ok << "0";
        QTest::newRow("25.00") << 2500 << ReadingState::Ok << "25";
        QTest::newRow("top of positives") << 40000 << ReadingState::Ok << "400";
        QTest::newRow("first negative") << 40001 << ReadingState::Ok << "-255.35";
        QTest::newRow("-0.02") << 0xFFFE << ReadingState::Ok << "-0.02";
        QTest::newRow("not wired") << 0xBAD2 << ReadingState::NotWired << "";
        QTest::newRow("not recognised") << 0xB492 << ReadingState::NotRecognised << "";
        QTest::newRow("beside not wired") << 0xBAD3 << ReadingState::Ok << "-177.09";
        QTest::newRow("no value") << 0xFFFF << ReadingState::NoValue << "";
    }
    void stateFromRaw()
    {
        QFETCH(int, raw);
        QFETCH(ReadingState, state);
        QFETCH(QString, celsius);
        const Reading r = readingFromRaw(1000, 3, 4, 5, quint16(raw));
        QCOMPARE(r.state, state);
        QCOMPARE(r.raw, quint16(raw));
        QCOMPARE(r.celsius.has_value(), !celsius.isEmpty());
        if (r.celsius)
            QCOMPARE(*r.celsius, celsius.toDouble());
    }

    void stateText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state"); // -1: not a state
        QTest::newRow("ok") << "ok" << int(ReadingState::Ok);
        QTest::newRow("not_wired") << "not_wired" << int(ReadingState::NotWired);
        QTest::newRow("not_recognised") << "not_recognised" << int(ReadingState::NotRecognised);
        QTest::newRow("no_value") << "no_value" << int(ReadingState::NoValue);
        QTest::newRow("upper case") << "OK" << -1;
        QTest::newRow("blank") << "not wired" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("trailing space") << "ok " << -1;
    }
    void stateText()
    {
        QFETCH(QString, text);
        QFETCH(int, state);
        const std::optional<ReadingState> parsed = parseState(text);
        QCOMPARE(parsed ? int(*parsed) : -1, state);
        if (parsed)
            QCOMPARE(QString(history::stateText(*parsed)), text);
    }

    void recordInterval_data()
    {
        QTest::addColumn<qint64>("intervalMs");
        QTest::addColumn<QVector<Reading>>("readings");
        QTest::addColumn<QList<bool>>("recorded");

        QTest::newRow("0 records every reading")
            << qint64(0) << QVector<Reading>{at(0), at(0), at(1)} << QList<bool>{true, true, true};
        QTest::newRow("one a minute")
            << qint64(60000) << QVector<Reading>{at(0), at(59999), at(60000), at(119999), at(120000)}
            << QList<bool>{true, false, true, false, true};
        QTest::newRow("a skipped reading does not restart the interval")
            << qint64(60000) << QVector<Reading>{at(0), at(30000), at(60000)}
            << QList<bool>{true, false, true};
        QTest::newRow("each sensor on its own")
            << qint64(60000) << QVector<Reading>{at(0, "1.1.1"),  at(10, "1.1.2"), at(20, "1.2.1"),
                                                 at(30, "2.1.1"), at(40, "1.1.1"), at(50, "1.1.2")}
            << QList<bool>{true, true, true, true, false, false};
        QTest::newRow("the clock set back")
            << qint64(60000) << QVector<Reading>{at(600000), at(1000), at(2000), at(61000)}
            << QList<bool>{true, true, false, true};
        QTest::newRow("a day") << qint64(86400000) << QVector<Reading>{at(0), at(86399999), at(86400000)}
                               << QList<bool>{true, false, true};
    }
    void recordInterval()
    {
        QFETCH(qint64, intervalMs);
        QFETCH(QVector<Reading>, readings);
        QFETCH(QList<bool>, recorded);
        RecordInterval rule(intervalMs);
        QList<bool> admitted;
        for (const Reading& r : readings)
            admitted << rule.admit(r);
        QCOMPARE(admitted, recorded);

        // The batch form keeps the same readings, in their order.
        RecordInterval batchRule(intervalMs);
        QVector<Reading> expected;
        for (int i = 0; i < readings.size(); ++i) {
            if (recorded[i])
                expected << readings[i];
        }
        QCOMPARE(batchRule.filter(readings), expected);
    }

    void trendPointsThinned_data()
    {
        QTest::addColumn<QList<qreal>>("values"); // at times 0, 1, 2, ...
        QTest::addColumn<int>("maxPoints");
        QTest::addColumn<QList<qreal>>("kept");
        QTest::newRow("fits") << QList<qreal>{3, 1, 2} << 4 << QList<qreal>{3, 1, 2};
        QTest::newRow("lowest and highest of each run, in time order")
            << QList<qreal>{5, 9, 1, 4, 7, 2, 8, 6} << 4 << QList<qreal>{9, 1, 2, 8};
        QTest::newRow("a flat run gives one point")
            << QList<qreal>{1, 1, 1, 1, 2, 3, 1, 1} << 4 << QList<qreal>{1, 3, 1};
        QTest::newRow("a lone peak survives")
            << QList<qreal>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 99, 0, 0, 0} << 4 << QList<qreal>{0, 0, 99};
    }
    void trendPointsThinned()
    {
        QFETCH(QList<qreal>, values);
        QFETCH(int, maxPoints);
        QFETCH(QList<qreal>, kept);
        QList<QPointF> points;
        for (qreal v : values)
            points.append(QPointF(points.size(), v));
        const QList<QPointF> thinned = thinnedPoints(points, maxPoints);
        QList<qreal> keptValues;
        for (int i = 0; i < thinned.size(); ++i) {
            keptValues << thinned[i].y();
            QVERIFY(points.contains(thinned[i]));
            if (i > 0)
                QVERIFY(thinned[i - 1].x() < thinned[i].x());
        }
        QCOMPARE(keptValues, kept);
    }

    void trendLinesBreakAtHoles_data()
    {
        QTest::addColumn<QList<qint64>>("seconds"); // the readings' times
        QTest::addColumn<int>("interval");          // seconds
        QTest::addColumn<QList<qsizetype>>("runs"); // the points of each run
        using S = QList<qint64>;
        using R = QList<qsizetype>;
        QTest::newRow("none") << S{} << 60 << R{};
        QTest::newRow("a lone reading") << S{100} << 60 << R{1};
        QTest::newRow("a minute apart") << S{0, 60, 120, 180, 240} << 60 << R{5};
        QTest::newRow("three intervals are no hole") << S{0, 60, 120, 300, 360} << 60 << R{5};
        QTest::newRow("a hole over three intervals") << S{0, 60, 120, 400, 460} << 60 << R{3, 2};
        QTest::newRow("two readings: the interval decides") << S{0, 200} << 60 << R{1, 1};
        QTest::newRow("a loop slower than the interval") << S{0, 600, 1200, 1800, 2400} << 60 << R{5};
        QTest::newRow("the slow loop stopped") << S{0, 600, 1200, 1800, 6000} << 60 << R{4, 1};
        QTest::newRow("the lower median of two spacings") << S{0, 2700, 2760} << 0 << R{1, 2};
        QTest::newRow("every reading: a pause under 30 s") << S{0, 1, 2, 3, 25, 26} << 0 << R{6};
        QTest::newRow("every reading: a pause over 30 s") << S{0, 1, 2, 3, 40, 41} << 0 << R{4, 2};
    }
    void trendLinesBreakAtHoles()
    {
        QFETCH(QList<qint64>, seconds);
        QFETCH(int, interval);
        QFETCH(QList<qsizetype>, runs);
        QList<QPointF> points;
        for (qint64 s : seconds)
            points.append(QPointF(qreal(s * 1000), 20));
        const QList<QList<QPointF>> got = trendRuns(points, lineGapMs(points, interval * 1000LL), 100);
        QList<qsizetype> sizes;
        QList<QPointF> joined;
        for (const QList<QPointF>& run : got) {
            sizes << run.size();
            joined += run;
        }
        QCOMPARE(sizes, runs);
        QCOMPARE(joined, points);
    }

    // Only the longest holes break a line of too many runs; each run is thinned to its share.
    void trendLinesCappedAndThinned()
    {
        const QList<QPointF> pairs{{0, 1},   {10, 1},  {100, 1},  {110, 1},
                                   {300, 1}, {310, 1}, {1000, 1}, {1010, 1}};
        const QList<QList<QPointF>> capped = trendRuns(pairs, 30, 100, 2);
        QCOMPARE(capped, (QList<QList<QPointF>>{pairs.mid(0, 6), pairs.mid(6)}));

        QList<QPointF> points;
        for (int i = 0; i < 4000; ++i)
            points.append(QPointF(i < 3000 ? i : i + 1000, i % 7));
        const QList<QList<QPointF>> thinned = trendRuns(points, 10, 400);
        QCOMPARE(thinned.size(), 2);
        QVERIFY(thinned[0].size() <= 300 && thinned[0].size() > 200);
        QVERIFY(thinned[1].size() <= 100 && thinned[1].size() > 50);
        QVERIFY(thinned[0].constLast().x() < 3000 && thinned[1].constFirst().x() >= 4000);
    }

    void timeTicks_data()
    {
        QTest::addColumn<QDateTime>("from"); // local time is UTC + offset
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<int>("maxTicks");
        QTest::addColumn<int>("offsetMinutes");
        QTest::addColumn<QDateTime>("low");
        QTest::addColumn<int>("stepSeconds");
        QTest::addColumn<int>("count");
        const auto utc = [](const char* text) {
            return QDateTime::fromString(QLatin1String(text), Qt::ISODate);
        };
        QTest::newRow("an hour, 8 ticks") << utc("2026-01-07T10:23:17Z") << utc("2026-01-07T11:23:17Z") << 8
                                          << 0 << utc("2026-01-07T10:20:00Z") << 600 << 8;
        QTest::newRow("an hour, 7 ticks") << utc("2026-01-07T10:23:17Z") << utc("2026-01-07T11:23:17Z") << 7
                                          << 0 << utc("2026-01-07T10:15:00Z") << 900 << 6;
        QTest::newRow("90 seconds") << utc("2026-01-07T10:00:05Z") << utc("2026-01-07T10:01:35Z") << 8 << 0
                                    << utc("2026-01-07T10:00:00Z") << 15 << 8;
        QTest::newRow("whole local hours at +5:30")
            << utc("2026-01-07T04:53:17Z") << utc("2026-01-07T07:53:17Z") << 4 << 330
            << utc("2026-01-07T04:30:00Z") << 7200 << 3;
        QTest::newRow("a day at +8: every six local hours")
            << utc("2026-01-07T02:00:00Z") << utc("2026-01-08T02:00:00Z") << 6 << 480
            << utc("2026-01-06T22:00:00Z") << 6 * 3600 << 6;
        QTest::newRow("a week from Monday") << utc("2026-01-07T10:00:00Z") << utc("2026-01-14T10:00:00Z") << 4
                                            << 0 << utc("2026-01-05T00:00:00Z") << 7 * 86400 << 3;
    }
    void timeTicks()
    {
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, to);
        QFETCH(int, maxTicks);
        QFETCH(int, offsetMinutes);
        QFETCH(QDateTime, low);
        QFETCH(int, stepSeconds);
        QFETCH(int, count);
        const AxisTicks ticks = timeAxisTicks(from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(), maxTicks,
                                              offsetMinutes * 60000LL);
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(ticks.low, Qt::UTC), low);
        QCOMPARE(ticks.step, stepSeconds * 1000LL);
        QCOMPARE(ticks.count, count);
        QCOMPARE(ticks.high, ticks.low + (count - 1) * ticks.step);
        QVERIFY(ticks.high >= to.toMSecsSinceEpoch());
    }

    // Beyond a week, whole days: still no more ticks than asked for, over the whole range.
    void timeTicksOfAYear()
    {
        const qint64 from =
            QDateTime::fromString(QStringLiteral("2025-01-01T00:00:00Z"), Qt::ISODate).toMSecsSinceEpoch();
        const qint64 to = from + 365 * 86400000LL;
        const AxisTicks ticks = timeAxisTicks(from, to, 6, 0);
        QVERIFY(ticks.count >= 2 && ticks.count <= 6);
        QCOMPARE(ticks.step % 86400000, 0);
        QCOMPARE(ticks.low % 86400000, 0);
        QVERIFY(ticks.low <= from && ticks.low + (ticks.count - 1) * ticks.step >= to);
    }

    void valueTicks_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("maxTicks");
        QTest::addColumn<QList<double>>("expected"); // low, high, step, count
        QTest::newRow("a room") << 19.0 << 27.0 << 6 << QList<double>{18, 28, 2, 6};
        QTest::newRow("around zero") << -1.0 << 1.0 << 5 << QList<double>{-1, 1, 0.5, 5};
        QTest::newRow("below zero") << -13.0 << -7.0 << 4 << QList<double>{-15, -5, 5, 3};
        QTest::newRow("tenths a rounding error off") << 0.3 << 0.7 << 5 << QList<double>{0.3, 0.7, 0.1, 5};
        QTest::newRow("no span") << 5.0 << 5.0 << 5 << QList<double>{5, 6, 0.5, 3};
        QTest::newRow("a furnace") << 0.0 << 1234.0 << 6 << QList<double>{0, 1500, 500, 4};
    }
    void valueTicks()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, maxTicks);
        QFETCH(QList<double>, expected);
        const ValueTicks ticks = valueAxisTicks(low, high, maxTicks);
        QCOMPARE(ticks.low, expected[0]);
        QCOMPARE(ticks.high, expected[1]);
        QCOMPARE(ticks.step, expected[2]);
        QCOMPARE(ticks.count, int(expected[3]));
    }

    void settingsLine_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("interval"); // -1: the line is refused
        QTest::addColumn<int>("retention");
        QTest::addColumn<QString>("badField");

        QTest::newRow("defaults") << QByteArray("60,90\r\n") << 60 << 90 << "";
        QTest::newRow("lower limits") << QByteArray("0,1") << 0 << 1 << "";
        QTest::newRow("upper limits") << QByteArray("86400,3650\n") << 86400 << 3650 << "";
        QTest::newRow("blanks and quotes") << QByteArray(" 30 ,\"7\"\r\n") << 30 << 7 << "";
        QTest::newRow("plus sign") << QByteArray("+5,+2") << 5 << 2 << "";
        QTest::newRow("more fields follow") << QByteArray("10,20,30\r\nx") << 10 << 20 << "";
        QTest::newRow("on two lines") << QByteArray("10\r\n20\r\n") << 10 << 20 << "";
        QTest::newRow("empty file") << QByteArray("") << -1 << 0 << "interval_seconds";
        QTest::newRow("negative interval") << QByteArray("-1,90") << -1 << 0 << "interval_seconds";
        QTest::newRow("interval over a day") << QByteArray("86401,90") << -1 << 0 << "interval_seconds";
        QTest::newRow("interval not a number") << QByteArray("1m,90") << -1 << 0 << "interval_seconds";
        QTest::newRow("interval fraction") << QByteArray("1.5,90") << -1 << 0 << "interval_seconds";
        QTest::newRow("interval 2^64 + 60")
            << QByteArray("18446744073709551676,90") << -1 << 0 << "interval_seconds";
        QTest::newRow("interval empty") << QByteArray(",90") << -1 << 0 << "interval_seconds";
        QTest::newRow("retention missing") << QByteArray("60\r\n") << -1 << 0 << "retention_days";
        QTest::newRow("retention zero") << QByteArray("60,0") << -1 << 0 << "retention_days";
        QTest::newRow("retention over ten years") << QByteArray("60,3651") << -1 << 0 << "retention_days";
        QTest::newRow("retention sign alone") << QByteArray("60,-") << -1 << 0 << "retention_days";
        QTest::newRow("retention quote open") << QByteArray("60,\"90") << -1 << 0 << "retention_days";
    }
    void settingsLine()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, interval);
        QFETCH(int, retention);
        QFETCH(QString, badField);
        const auto parsed = parseHistorySet(content);
        if (interval < 0) {
            QVERIFY(std::holds_alternative<QLatin1String>(parsed));
            QCOMPARE(QString(std::get<QLatin1String>(parsed)), badField);
        } else {
            QVERIFY(std::holds_alternative<HistorySettings>(parsed));
            QCOMPARE(std::get<HistorySettings>(parsed), (HistorySettings{interval, retention}));
        }
    }

    void settingsFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("history.set"));

        HistorySetLoad missing = loadHistorySet(dir.path());
        QCOMPARE(missing.status, HistorySetLoad::Missing);
        QCOMPARE(missing.values, (HistorySettings{60, 90}));
        QVERIFY(missing.errorText.isEmpty());

        QVERIFY(saveHistorySet(dir.path(), HistorySettings{0, 3650}));
        QCOMPARE(fileBytes(path), QByteArray("0,3650\r\n"));
        HistorySetLoad saved = loadHistorySet(dir.path());
        QCOMPARE(saved.status, HistorySetLoad::Ok);
        QCOMPARE(saved.values, (HistorySettings{0, 3650}));

        QVERIFY(writeBytes(path, "60,0\r\n"));
        HistorySetLoad bad = loadHistorySet(dir.path());
        QCOMPARE(bad.status, HistorySetLoad::Unreadable);
        QCOMPARE(bad.values, (HistorySettings{60, 90}));
        QVERIFY2(bad.errorText.contains(path) && bad.errorText.contains(QLatin1String("retention_days")),
                 qPrintable(bad.errorText));

        // A folder in the file's place cannot be read.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("history.set")));
        HistorySetLoad unreadable = loadHistorySet(dir.path());
        QCOMPARE(unreadable.status, HistorySetLoad::Unreadable);
        QCOMPARE(unreadable.values, (HistorySettings{60, 90}));
        QVERIFY2(unreadable.errorText.contains(path), qPrintable(unreadable.errorText));
    }
};

std::unique_ptr<QObject> makeHistoryRulesTest()
{
    return std::make_unique<TestHistoryRules>();
}

#include "test_history_rules.moc"
