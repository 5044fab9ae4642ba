// The alarms' record in history.db: the engine's events written through the
// writer's thread, read back whole after a restart, in force where they were,
// and deleted with the readings' retention once ended.

#include "alarms/alarms_file.h"
#include "history/history_store.h"
#include "history/history_writer.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace alarms;

namespace {

constexpr qint64 Minute = 60 * 1000;
const qint64 T0 = QDateTime::currentMSecsSinceEpoch() - 60 * Minute;

AlarmEngine engine()
{
    const AlarmsFileParse parsed = parseAlarmsFile("80,,\r\nwarning,70,,\r\n");
    AlarmEngine e;
    e.setLimits(*parsed.limits, parsed.rules);
    return e;
}

QVector<AlarmNotice> feed(AlarmEngine& e, int position, double celsius, qint64 timeMs)
{
    return e.feed({{1, 2, position}, timeMs, SensorState::Ok, celsius});
}

} // namespace

class TestHistoryAlarms : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordedAndRestored()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("history.db"));
        AlarmEngine before = engine();
        {
            history::HistoryRecorder recorder(path, history::HistorySettings{});
            recorder.recordAlarms(feed(before, 1, 75, T0));            // warning, id 1
            recorder.recordAlarms(feed(before, 1, 85.5, T0 + Minute)); // ends escalated; alarm, id 2
            recorder.recordAlarms(feed(before, 1, 90, T0 + 2 * Minute));
            recorder.recordAlarms(before.acknowledgeAll(QStringLiteral("张工"), T0 + 3 * Minute));
            recorder.recordAlarms(feed(before, 2, 0, T0 + 4 * Minute)); // a value, then
            recorder.recordAlarms(before.feed({{1, 2, 2}, T0 + 5 * Minute, SensorState::NotWired, {}}));
        } // the recorder writes everything handed over before it goes

        history::HistoryStore store(path);
        const std::optional<QVector<AlarmEntry>> entries = store.recentAlarms(10);
        QVERIFY2(entries, qPrintable(store.errorText()));
        QCOMPARE(entries->size(), 3);
        QCOMPARE(store.highestAlarmId(), std::optional<qint64>(3));
        // In force first, newest first: the fault (3), the alarm (2); then the ended warning (1).
        const AlarmEntry& fault = entries->at(0);
        QCOMPARE(fault.id, 3);
        QCOMPARE(fault.kind, AlarmNotice::Kind::SensorFault);
        QCOMPARE(fault.faultReason, QStringLiteral("未接线"));
        QVERIFY(!fault.peak && !fault.limit && !fault.firstValue);
        const AlarmEntry& alarm = entries->at(1);
        QCOMPARE(alarm.level, AlarmNotice::Level::Alarm);
        QCOMPARE(alarm.where, (Sensor{1, 2, 1}));
        QCOMPARE(alarm.startMs, T0 + Minute);
        QVERIFY(alarm.active());
        QCOMPARE(alarm.firstValue, std::optional<double>(85.5));
        QCOMPARE(alarm.limit, std::optional<double>(80));
        QCOMPARE(alarm.ackedBy, QStringLiteral("张工"));
        QCOMPARE(alarm.ackedMs, T0 + 3 * Minute);
        const AlarmEntry& warning = entries->at(2);
        QCOMPARE(warning.level, AlarmNotice::Level::Warning);
        QCOMPARE(warning.endMs, T0 + Minute);
        QCOMPARE(warning.endReason, QStringLiteral("升为报警"));
        QCOMPARE(warning.peak, std::optional<double>(85.5));

        // After a restart the alarm is still in force: it ends on the next reading inside,
        // with the peak it had, and the next alarm's id follows the record's.
        AlarmEngine after = engine();
        QList<AlarmEntry> active;
        for (const AlarmEntry& entry : *entries)
            if (entry.active())
                active << entry;
        after.restore(active, *store.highestAlarmId());
        QVERIFY(after.inAlarm({1, 2, 1}));
        const QList<AlarmNotice> ended = feed(after, 1, 20, T0 + 6 * Minute);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0].alarmId, 2);
        QCOMPARE(ended[0].peak, 85.5); // the peak reached before the restart was not yet written
        QCOMPARE(feed(after, 3, 95, T0 + 7 * Minute).value(0).alarmId, 4);

        QVERIFY(store.recordAlarmNotices(ended));
        QCOMPARE(store.deleteAlarmsEndedBefore(T0 + 5 * Minute), 1); // the warning; not the alarm ended later
        QCOMPARE(store.recentAlarms(10)->size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestHistoryAlarms)
#include "test_history_alarms.moc"
