// The history's pure rules as tables: a reading's state from its raw register,
// the record interval, the settings file's lines good and bad, and the thinning
// of a chart's lines.

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
