// The alarm engine from reading to reading: levels, persistence, margin,
// faults, silent stations, what is no longer read, acknowledgement; and the
// rules' lines of "alarms.set".

#include "alarms/alarm_engine.h"
#include "alarms/alarms_file.h"

#include <QtTest>

using namespace alarms;

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 T0 = 1700000000000;
const Sensor Probe{1, 2, 3};

AlarmEngine engineFor(const QByteArray& alarmsSet)
{
    const AlarmsFileParse parsed = parseAlarmsFile(alarmsSet);
    AlarmEngine engine;
    if (parsed.limits)
        engine.setLimits(*parsed.limits, parsed.rules);
    return engine;
}

// "+报警高温" started, "-预警高温 升为报警" ended (with " <peak>" for a limit), "!报警高温 <user>".
QString shortForm(const AlarmNotice& n)
{
    const QString what = levelText(n.level) + kindText(n.kind);
    switch (n.event) {
    case AlarmNotice::Event::Started:
        return QLatin1Char('+') + what;
    case AlarmNotice::Event::Ended:
        return QLatin1Char('-') + what + QLatin1Char(' ') + n.reason +
               (n.hasLimit ? QLatin1Char(' ') + QString::number(n.peak, 'f', 2) : QString());
    case AlarmNotice::Event::Acknowledged:
        return QLatin1Char('!') + what + QLatin1Char(' ') + n.acknowledgedBy;
    }
    return QString();
}

// Steps "<what>@<minute>": a value ("81.5"), "nw", "nr", "nv" (未接线, 未识别, 无数值) of the
// probe, "x" (its station gave no reply), "round" (the round ended).
QStringList run(AlarmEngine& engine, const QStringList& steps)
{
    QStringList told;
    for (const QString& step : steps) {
        const QString what = step.section(QLatin1Char('@'), 0, 0);
        const qint64 timeMs = T0 + step.section(QLatin1Char('@'), 1).toLongLong() * Minute;
        QList<AlarmNotice> notices;
        SensorReading reading{Probe, timeMs, SensorState::Ok, std::nullopt};
        if (what == QLatin1String("round")) {
            notices = engine.roundEnded(timeMs);
        } else if (what == QLatin1String("x")) {
            engine.channelUnanswered(Probe.station, timeMs);
        } else {
            if (what == QLatin1String("nw"))
                reading.state = SensorState::NotWired;
            else if (what == QLatin1String("nr"))
                reading.state = SensorState::NotRecognised;
            else if (what == QLatin1String("nv"))
                reading.state = SensorState::NoValue;
            else
                reading.celsius = what.toDouble();
            notices = engine.feed(reading);
        }
        for (const AlarmNotice& n : notices)
            told << shortForm(n);
    }
    return told;
}

} // namespace

class TestAlarmEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void events_data()
    {
        QTest::addColumn<QByteArray>("alarmsSet");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("told");

        QTest::newRow("no persistence: the first reading past the limit, the first inside")
            << QByteArray("80,,\r\n") << QStringList{"80@0", "80.01@1", "85@2", "80@3"}
            << QStringList{"+报警高温", "-报警高温 恢复正常 85.00"};
        QTest::newRow("persistence by readings: a spike shorter gives nothing")
            << QByteArray("80,,\r\npersist,limit,3,\r\n")
            << QStringList{"81@0", "82@1", "79@2", "81@3", "81@4", "83@5", "79@6"}
            << QStringList{"+报警高温", "-报警高温 恢复正常 83.00"};
        QTest::newRow("persistence by minutes")
            << QByteArray("80,,\r\npersist,limit,,5\r\n")
            << QStringList{"81@0", "81@4", "79@5", "81@6", "81@11"} << QStringList{"+报警高温"};
        QTest::newRow("readings or minutes, whichever first")
            << QByteArray("80,,\r\npersist,limit,10,2\r\n") << QStringList{"81@0", "81@1", "81@2"}
            << QStringList{"+报警高温"};
        QTest::newRow("margin: ends only that far back inside")
            << QByteArray("80,-10,\r\nmargin,1.5\r\n")
            << QStringList{"81@0", "78.6@1", "78.5@2", "-11@3", "-8.6@4", "-8.5@5"}
            << QStringList{"+报警高温", "-报警高温 恢复正常 81.00", "+报警低温", "-报警低温 恢复正常 -11.00"};
        QTest::newRow("warning, escalation, de-escalation, each start once")
            << QByteArray("80,,\r\nwarning,70,,\r\nmargin,1\r\n")
            << QStringList{"71@0", "72@1", "81@2", "85@3", "79.5@4", "78@5", "75@6", "68@7"}
            << QStringList{"+预警高温", "-预警高温 升为报警 81.00", "+报警高温", "-报警高温 降为预警 85.00",
                           "+预警高温", "-预警高温 恢复正常 78.00"};
        QTest::newRow("a jump past the alarm level shorter than the persistence leaves the warning")
            << QByteArray("80,,\r\nwarning,70,,\r\npersist,limit,2,\r\n")
            << QStringList{"71@0", "81@1", "75@2", "81@3", "81@4"}
            << QStringList{"+预警高温", "-预警高温 升为报警 81.00", "+报警高温"};
        QTest::newRow("a channel's own warning")
            << QByteArray(",,\r\nwarning-channel,2,,5\r\nwarning-channel,3,40,\r\n")
            << QStringList{"4@0", "41@1"} << QStringList{"+预警低温", "-预警低温 恢复正常 4.00"};
        QTest::newRow("rise per day")
            << QByteArray(",,12\r\n") << QStringList{"20@0", "20.4@30", "20.6@60", "20.1@70"}
            << QStringList{"+报警温升", "-报警温升 恢复正常 20.60"};
        QTest::newRow("no temperature changes no limit alarm")
            << QByteArray("80,,\r\nsilent,0\r\n") << QStringList{"81@0", "nv@1", "79@2"}
            << QStringList{"+报警高温", "+报警传感器故障", "-报警传感器故障 恢复正常",
                           "-报警高温 恢复正常 81.00"};
        QTest::newRow("未接线 after a value is a fault; before any, nothing")
            << QByteArray(",,\r\n") << QStringList{"nw@0", "nw@1", "20@2", "nw@3", "nw@4", "20@5"}
            << QStringList{"+报警传感器故障", "-报警传感器故障 恢复正常"};
        QTest::newRow("未识别 is a fault at once")
            << QByteArray(",,\r\n") << QStringList{"nr@0"} << QStringList{"+报警传感器故障"};
        QTest::newRow("fault persistence")
            << QByteArray(",,\r\npersist,fault,2,\r\n") << QStringList{"nr@0", "20@1", "nr@2", "nr@3"}
            << QStringList{"+报警传感器故障"};
        QTest::newRow("85.00 three times is the power-on value")
            << QByteArray(",,\r\n") << QStringList{"85@0", "85@1", "20@2", "85@3", "85@4", "85@5", "20@6"}
            << QStringList{"+报警传感器故障", "-报警传感器故障 恢复正常"};
        QTest::newRow("85.00 repeats set to 0: never a fault")
            << QByteArray(",,\r\npoweron,0\r\n") << QStringList{"85@0", "85@1", "85@2", "85@3"}
            << QStringList{};
        QTest::newRow("a station silent three rounds, then answering")
            << QByteArray(",,\r\n")
            << QStringList{"x@0", "round@0", "x@1", "round@1", "x@2", "round@2", "20@3"}
            << QStringList{"+报警通信中断", "-报警通信中断 恢复正常"};
        QTest::newRow("a station that answered in a round is not silent in it")
            << QByteArray(",,\r\nsilent,1\r\n") << QStringList{"20@0", "x@0", "round@0"} << QStringList{};
        QTest::newRow("a sensor not read three rounds: 不再读取")
            << QByteArray("80,,\r\n") << QStringList{"81@0", "round@0", "round@1", "round@2", "round@3"}
            << QStringList{"+报警高温", "-报警高温 不再读取 81.00"};
        QTest::newRow("a silent station's sensors end as 不再读取, its own alarm stays")
            << QByteArray("80,,\r\nsilent,2\r\ngone,2\r\n")
            << QStringList{"81@0", "round@0", "x@1", "round@1", "x@2", "round@2", "x@3", "round@3"}
            << QStringList{"+报警高温", "+报警通信中断", "-报警高温 不再读取 81.00"};
        QTest::newRow("a station no longer read: 不再读取")
            << QByteArray(",,\r\nsilent,1\r\ngone,2\r\n")
            << QStringList{"x@0", "round@0", "round@1", "round@2"}
            << QStringList{"+报警通信中断", "-报警通信中断 不再读取"};
    }
    void events()
    {
        QFETCH(QByteArray, alarmsSet);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, told);
        QVERIFY(parseAlarmsFile(alarmsSet).limits);
        AlarmEngine engine = engineFor(alarmsSet);
        QCOMPARE(run(engine, steps), told);
    }

    // Every field of a notice, its text, and the id shared by its three events.
    void noticeFields()
    {
        AlarmEngine engine = engineFor("80,,\r\n");
        engine.setSite(QStringLiteral("一号仓"));
        const QList<AlarmNotice> started = engine.feed({Probe, T0, SensorState::Ok, 81.5});
        QCOMPARE(started.size(), 1);
        const AlarmNotice& s = started[0];
        QCOMPARE(s.text, QStringLiteral("一号仓 报警：地址1 通道2 位置3 高温 81.50°C（上限 80.00°C）"));
        QVERIFY(s.hasValue && s.hasLimit);
        QCOMPARE(s.startedAt.toMSecsSinceEpoch(), T0);
        QVERIFY(engine.inAlarm(Probe));

        engine.feed({Probe, T0 + Minute, SensorState::Ok, 90.0});
        const QList<AlarmNotice> acked = engine.acknowledgeAll(QStringLiteral("张工"), T0 + 2 * Minute);
        QCOMPARE(acked.size(), 1);
        QCOMPARE(acked[0].alarmId, s.alarmId);
        QCOMPARE(acked[0].text, QStringLiteral("一号仓 报警已确认（张工）：地址1 通道2 位置3 高温"));
        QCOMPARE(engine.activeAlarms().value(0).ackedBy, QStringLiteral("张工"));
        QVERIFY(engine.acknowledge(s.alarmId, QStringLiteral("李工"), T0 + 3 * Minute).isEmpty());

        const QList<AlarmNotice> ended = engine.feed({Probe, T0 + 4 * Minute, SensorState::Ok, 20.0});
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0].alarmId, s.alarmId);
        QCOMPARE(ended[0].startedAt.toMSecsSinceEpoch(), T0);
        QCOMPARE(ended[0].at.toMSecsSinceEpoch(), T0 + 4 * Minute);
        QCOMPARE(ended[0].acknowledgedBy, QStringLiteral("张工"));
        QCOMPARE(ended[0].text,
                 QStringLiteral("一号仓 报警结束（恢复正常）：地址1 通道2 位置3 高温，峰值 90.00°C"));
        QVERIFY(!engine.inAlarm(Probe));
        QVERIFY(engine.activeAlarms().isEmpty());
    }

    // An alarm taken from the record stays in force until a reading ends it; new ids follow the record's.
    void restoredAlarmEndsLater()
    {
        AlarmEngine engine = engineFor("80,,\r\n");
        AlarmEntry restored;
        restored.id = 41;
        restored.kind = AlarmNotice::Kind::High;
        restored.where = Probe;
        restored.startMs = T0 - Minute;
        restored.peak = 88;
        restored.limit = 80;
        engine.restore({restored}, 57);
        QVERIFY(engine.inAlarm(Probe));
        QVERIFY(engine.feed({Probe, T0, SensorState::Ok, 85.0}).isEmpty());
        QCOMPARE(run(engine, {"79@1"}), QStringList{"-报警高温 恢复正常 88.00"});
        QCOMPARE(engine.feed({Probe, T0 + 2 * Minute, SensorState::Ok, 81.0}).value(0).alarmId, 58);
    }

    void ruleLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("badLine"); // 0: read
        QTest::addColumn<QByteArray>("saved");

        QTest::newRow("every rule, saved in order")
            << QByteArray("80,,\r\ngone,5\r\nmargin,0.5\r\npersist,fault,2,\r\nwarning-channel,2,,3\r\n"
                          "persist,limit,3,10\r\nwarning,70,-5,8\r\npoweron,4\r\nsilent,0\r\n")
            << 0
            << QByteArray("80,,\r\nwarning,70,-5,8\r\nwarning-channel,2,,3\r\npersist,limit,3,10\r\n"
                          "persist,fault,2,0\r\nmargin,0.5\r\npoweron,4\r\nsilent,0\r\ngone,5\r\n");
        QTest::newRow("defaults are not written")
            << QByteArray("80,,\r\nsilent,3\r\npersist,rise,,\r\n") << 0 << QByteArray("80,,\r\n");
        QTest::newRow("unknown key") << QByteArray(",,\r\nlevel,3\r\n") << 2 << QByteArray();
        QTest::newRow("key twice") << QByteArray(",,\r\nmargin,1\r\nmargin,2\r\n") << 3 << QByteArray();
        QTest::newRow("persist of an unknown kind")
            << QByteArray(",,\r\npersist,hot,1,\r\n") << 2 << QByteArray();
        QTest::newRow("count negative") << QByteArray(",,\r\nsilent,-1\r\n") << 2 << QByteArray();
        QTest::newRow("gone 0") << QByteArray(",,\r\ngone,0\r\n") << 2 << QByteArray();
        QTest::newRow("minutes over a week")
            << QByteArray(",,\r\npersist,limit,,10081\r\n") << 2 << QByteArray();
        QTest::newRow("warning low above high")
            << QByteArray(",,\r\nwarning,10,20,\r\n") << 2 << QByteArray();
        QTest::newRow("warning channel's low above the warning high")
            << QByteArray(",,\r\nwarning-channel,4,,30\r\nwarning,20,,\r\n") << 3 << QByteArray();
        QTest::newRow("warning channel 11")
            << QByteArray(",,\r\nwarning-channel,11,5,\r\n") << 2 << QByteArray();
        QTest::newRow("a key on the first line") << QByteArray("margin,1\r\n") << 1 << QByteArray();
        QTest::newRow("margin out of range") << QByteArray(",,\r\nmargin,51\r\n") << 2 << QByteArray();
    }
    void ruleLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, badLine);
        QFETCH(QByteArray, saved);
        const AlarmsFileParse parsed = parseAlarmsFile(text);
        QCOMPARE(parsed.badLine, badLine);
        if (parsed.limits)
            QCOMPARE(formatAlarmsFile(*parsed.limits, parsed.rules), saved);
    }
};

QTEST_GUILESS_MAIN(TestAlarmEngine)
#include "test_alarm_engine.moc"
