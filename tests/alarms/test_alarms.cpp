// Alarm limits: the boxes' texts and the file, both read the same way; which
// limit a reading breaks; and the alarms the tracker keeps from reading to reading.

#include "alarms/alarms_file.h"
#include "alarms/limit_entry.h"
#include "alarms/rise_baseline.h"

#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

using namespace alarms;

Q_DECLARE_METATYPE(alarms::Limit)

namespace {

// Box texts from "name=text" pairs: high, low, rise, h<channel>, l<channel>.
LimitTexts texts(const QStringList& boxes)
{
    LimitTexts t;
    for (const QString& box : boxes) {
        const QString name = box.section(QLatin1Char('='), 0, 0);
        const QString text = box.section(QLatin1Char('='), 1);
        if (name == QLatin1String("high"))
            t.high = text;
        else if (name == QLatin1String("low"))
            t.low = text;
        else if (name == QLatin1String("rise"))
            t.risePerDay = text;
        else if (name.startsWith(QLatin1Char('h')))
            t.channelHigh[std::size_t(name.mid(1).toInt() - 1)] = text;
        else
            t.channelLow[std::size_t(name.mid(1).toInt() - 1)] = text;
    }
    return t;
}

// High 80, low -10, rise 12 °C/day; channel 2 has its own high 50, channel 3 its own low 5.
AlarmLimits sampleLimits()
{
    return *parseAlarmsFile("80,-10,12\r\n2,50,\r\n3,,5\r\n").limits;
}

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Now = 1700000000000;

SensorValue reading(int channel, std::optional<double> celsius, qint64 timeMs = Now)
{
    return {{1, channel, 7}, timeMs, celsius};
}

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void boxes_data()
    {
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("saved"); // the limits, as their file holds them

        QTest::newRow("all empty: no limits") << QStringList{"high= ", "h10="} << "" << QByteArray(",,\r\n");
        QTest::newRow("all kinds, kept in hundredths")
            << QStringList{"high=85.5", "low=-20", "rise=0", "h1=70.004", "l10=-55"} << ""
            << QByteArray("85.5,-20,0\r\n1,70,\r\n10,,-55\r\n");
        QTest::newRow("low on high") << QStringList{"high=30", "low=30"} << "" << QByteArray("30,30,\r\n");
        QTest::newRow("high above range")
            << QStringList{"high=125.01"} << "高温上限：请输入-55～125之间的数" << QByteArray();
        QTest::newRow("low not a number")
            << QStringList{"low=1e2"} << "低温下限：请输入-55～125之间的数" << QByteArray();
        QTest::newRow("rise below 0")
            << QStringList{"rise=-0.5"} << "温升上限：请输入0～180之间的数" << QByteArray();
        QTest::newRow("rise above 180")
            << QStringList{"rise=181"} << "温升上限：请输入0～180之间的数" << QByteArray();
        QTest::newRow("the first bad box is named")
            << QStringList{"l4=x", "h3=x", "low=-56"} << "低温下限：请输入-55～125之间的数" << QByteArray();
        QTest::newRow("channel 10's low")
            << QStringList{"l10=-60"} << "通道10低温下限：请输入-55～125之间的数" << QByteArray();
        QTest::newRow("numbers come before the order of low and high")
            << QStringList{"high=10", "low=20", "h5=abc"} << "通道5高温上限：请输入-55～125之间的数"
            << QByteArray();
        QTest::newRow("installation low above high")
            << QStringList{"high=10", "low=20"} << "低温下限：不能高于高温上限" << QByteArray();
        QTest::newRow("channel's high below the installation's low")
            << QStringList{"low=20", "h3=10"} << "低温下限：不能高于通道3高温上限" << QByteArray();
        QTest::newRow("channel's low above the installation's high")
            << QStringList{"high=20", "l7=25"} << "通道7低温下限：不能高于高温上限" << QByteArray();
        QTest::newRow("a channel's own pair replaces a crossed installation pair on it")
            << QStringList{"high=20", "h2=40", "l2=30"} << "" << QByteArray("20,,\r\n2,40,30\r\n");
    }
    void boxes()
    {
        QFETCH(QStringList, boxes);
        QFETCH(QString, message);
        QFETCH(QByteArray, saved);
        const LimitEntry entry = checkLimitTexts(texts(boxes));
        QCOMPARE(entry.message, message);
        QCOMPARE(entry.limits.has_value(), message.isEmpty());
        if (entry.limits)
            QCOMPARE(formatAlarmsFile(*entry.limits), saved);
    }

    void file_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("badLine"); // 0: read
        QTest::addColumn<QByteArray>("saved");

        QTest::newRow("limits everywhere") << QByteArray("85,-20,5\r\n3,70,\r\n10,,-30\r\n") << 0
                                           << QByteArray("85,-20,5\r\n3,70,\r\n10,,-30\r\n");
        QTest::newRow("quotes, blanks, LF, no last line end")
            << QByteArray("\"85\" , -20.5,\n 4,\"\",1") << 0 << QByteArray("85,-20.5,\r\n4,,1\r\n");
        QTest::newRow("empty file") << QByteArray() << 1 << QByteArray();
        QTest::newRow("two fields") << QByteArray("85,-20\r\n") << 1 << QByteArray();
        QTest::newRow("four fields") << QByteArray("85,-20,5,1\r\n") << 1 << QByteArray();
        QTest::newRow("quote not closed") << QByteArray("\"85,,\r\n") << 1 << QByteArray();
        QTest::newRow("rise out of range") << QByteArray(",,200\r\n") << 1 << QByteArray();
        QTest::newRow("low above high") << QByteArray("10,20,\r\n") << 1 << QByteArray();
        QTest::newRow("channel 0") << QByteArray(",,\r\n0,70,\r\n") << 2 << QByteArray();
        QTest::newRow("channel 11") << QByteArray(",,\r\n3,70,\r\n11,70,\r\n") << 3 << QByteArray();
        QTest::newRow("channel twice") << QByteArray(",,\r\n3,70,\r\n3,60,\r\n") << 3 << QByteArray();
        QTest::newRow("channel's low above the high in force")
            << QByteArray("85,,\r\n3,,90\r\n") << 2 << QByteArray();
        QTest::newRow("empty line") << QByteArray(",,\r\n\r\n3,70,\r\n") << 2 << QByteArray();
    }
    void file()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, badLine);
        QFETCH(QByteArray, saved);
        const AlarmsFileParse parsed = parseAlarmsFile(text);
        QCOMPARE(parsed.badLine, badLine);
        QCOMPARE(parsed.limits.has_value(), badLine == 0);
        if (parsed.limits)
            QCOMPARE(formatAlarmsFile(*parsed.limits), saved);
    }

    void loadAndSave()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("alarms.set"));
        AlarmsLoad load = loadAlarmLimits(folder.path());
        QCOMPARE(load.status, AlarmsLoad::Missing);
        QCOMPARE(load.limits, AlarmLimits{});

        const AlarmLimits limits = sampleLimits();
        QVERIFY(saveAlarmLimits(folder.path(), limits));
        QCOMPARE(fileBytes(path), QByteArray("80,-10,12\r\n2,50,\r\n3,,5\r\n"));
        load = loadAlarmLimits(folder.path());
        QCOMPARE(load.status, AlarmsLoad::Ok);
        QVERIFY(load.limits == limits);

        QVERIFY(writeBytes(path, "80,-10,12\r\n2,50\r\n"));
        load = loadAlarmLimits(folder.path());
        QCOMPARE(load.status, AlarmsLoad::Unreadable);
        QVERIFY(load.limits == AlarmLimits{});
        QCOMPARE(unreadableAlarmsMessage(load),
                 QStringLiteral("无法读取报警限值文件“%1”第2行，报警限值未使用。").arg(path));

        // Longer than any file of limits: what was read is cut off in its last
        // line, where "1,10,   " would read as a line without a low limit.
        QVERIFY(writeBytes(path, ",,\r\n1,10," + QByteArray(int(kAlarmsFileBytes), ' ') + "5\r\n"));
        load = loadAlarmLimits(folder.path());
        QCOMPARE(load.status, AlarmsLoad::Unreadable);
        QCOMPARE(load.badLine, 2);
    }

    void brokenLimit_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<std::optional<double>>("celsius");
        QTest::addColumn<std::optional<EarlierValue>>("earlier");
        QTest::addColumn<Limit>("limit");
        const std::optional<EarlierValue> none;
        const auto before = [](qint64 ms, double celsius) {
            return std::optional<EarlierValue>({Now - ms, celsius});
        };

        QTest::newRow("inside") << 1 << std::optional<double>(25) << none << Limit::None;
        QTest::newRow("on the high limit") << 1 << std::optional<double>(80) << none << Limit::None;
        QTest::newRow("above it") << 1 << std::optional<double>(80.01) << none << Limit::High;
        QTest::newRow("on the low limit") << 1 << std::optional<double>(-10) << none << Limit::None;
        QTest::newRow("below it") << 1 << std::optional<double>(-10.01) << none << Limit::Low;
        QTest::newRow("channel's own high") << 2 << std::optional<double>(50.01) << none << Limit::High;
        QTest::newRow("channel's own low") << 3 << std::optional<double>(4.99) << none << Limit::Low;
        QTest::newRow("installation's high where the channel has only a low")
            << 3 << std::optional<double>(80.01) << none << Limit::High;
        QTest::newRow("channel beyond 10: installation's")
            << 11 << std::optional<double>(60) << none << Limit::None;
        QTest::newRow("no temperature")
            << 1 << std::optional<double>() << before(2 * Hour, -50) << Limit::None;
        QTest::newRow("rise of 1.01 in 2 h: 12.12 per day")
            << 1 << std::optional<double>(21.01) << before(2 * Hour, 20) << Limit::Rise;
        QTest::newRow("rise of 1 in 2 h: 12 per day, on the limit")
            << 1 << std::optional<double>(21) << before(2 * Hour, 20) << Limit::None;
        QTest::newRow("steep rise, but under an hour")
            << 1 << std::optional<double>(40) << before(Hour - 1, 20) << Limit::None;
        QTest::newRow("rise judged from an hour on")
            << 1 << std::optional<double>(20.51) << before(Hour, 20) << Limit::Rise;
        QTest::newRow("a fall") << 1 << std::optional<double>(0) << before(2 * Hour, 40) << Limit::None;
        QTest::newRow("above the high limit and rising: high")
            << 1 << std::optional<double>(85) << before(2 * Hour, 20) << Limit::High;
    }
    void brokenLimit()
    {
        QFETCH(int, channel);
        QFETCH(std::optional<double>, celsius);
        QFETCH(std::optional<EarlierValue>, earlier);
        QFETCH(Limit, limit);
        QCOMPARE(alarms::brokenLimit(reading(channel, celsius), earlier, sampleLimits()), limit);
    }

    // Readings "<minute>" (with a temperature of minute / 100) or "<minute>?"
    // (without one) in order, then the baseline for a reading at `at`.
    void riseBaseline_data()
    {
        QTest::addColumn<QString>("readings");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("baseline"); // minute, or -1 for none

        QTest::newRow("nothing kept") << "" << 60 << -1;
        QTest::newRow("the earliest of the day") << "0 30 60" << 120 << 0;
        QTest::newRow("exactly a day before") << "0 600" << 1440 << 0;
        QTest::newRow("more than a day before: forgotten") << "0 600" << 1441 << 600;
        QTest::newRow("one per ten minutes: the second in a slot is not kept") << "0 5 12" << 1445 << 12;
        QTest::newRow("a reading without a temperature is not kept") << "0? 12" << 60 << 12;
        QTest::newRow("the clock set back: the sensor starts afresh") << "600 700 100" << 160 << 100;
        QTest::newRow("readings after the one judged are none") << "600" << 500 << -1;
    }
    void riseBaseline()
    {
        QFETCH(QString, readings);
        QFETCH(int, at);
        QFETCH(int, baseline);
        const Sensor sensor{1, 2, 3};
        RiseBaselines baselines;
        for (QString minute : readings.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const bool blank = minute.endsWith(QLatin1Char('?'));
            minute.remove(QLatin1Char('?'));
            const qint64 timeMs = Now + minute.toInt() * Minute;
            baselines.add(
                {sensor, timeMs, blank ? std::nullopt : std::optional<double>(minute.toInt() / 100.0)});
        }
        const std::optional<EarlierValue> earlier = baselines.earlier(sensor, Now + at * Minute);
        if (baseline < 0) {
            QVERIFY(!earlier);
            return;
        }
        QVERIFY(earlier);
        QCOMPARE(earlier->timeMs, Now + baseline * Minute);
        QCOMPARE(earlier->celsius, baseline / 100.0);
    }

    // Three days of a reading a minute keep at most a day's slots, and a neighbour keeps its own.
    void riseBaselineStaysBounded()
    {
        RiseBaselines baselines;
        for (int minute = 0; minute < 3 * 1440; ++minute)
            baselines.add({{1, 2, 3}, Now + minute * Minute, 20});
        QVERIFY(baselines.keptCount({1, 2, 3}) <= 1 + DayMs / BaselineSlotMs);
        QVERIFY(!baselines.earlier({1, 2, 4}, Now + 3 * 1440 * Minute));
    }
};

QTEST_GUILESS_MAIN(TestAlarms)
#include "test_alarms.moc"
