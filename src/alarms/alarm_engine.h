#pragma once
// The alarm engine, used by the window and the headless reader alike: fed
// every reading, every channel that did not answer and the end of every round,
// with their times, it starts and ends alarms of two levels (预警, 报警) for
// limits broken (high, low, rise), sensors in fault and stations that went
// silent, and tells each start, end and acknowledgement as an AlarmNotice.

#include "alarm_notice.h"
#include "alarm_rule.h"
#include "alarm_rules.h"
#include "rise_baseline.h"

#include <QList>
#include <map>
#include <optional>

namespace alarms {

// What a sensor's register held.
enum class SensorState { Ok, NotWired, NotRecognised, NoValue };

struct SensorReading
{
    Sensor sensor;
    qint64 timeMs = 0; // UTC, ms since the epoch
    SensorState state = SensorState::NoValue;
    std::optional<double> celsius; // only when state is Ok
};

// An alarm in force or ended, as the record and the alarms page keep it.
struct AlarmEntry
{
    qint64 id = 0;
    AlarmNotice::Kind kind = AlarmNotice::Kind::High;
    AlarmNotice::Level level = AlarmNotice::Level::Alarm;
    Sensor where; // channel and position 0 for a station
    qint64 startMs = 0;
    qint64 endMs = 0;                 // 0 while in force
    QString endReason;                // "恢复正常", "不再读取", "升为报警", "降为预警"
    QString faultReason;              // SensorFault: "未接线", "未识别", "无数值", "上电值85.00"
    std::optional<double> firstValue; // the reading that started it
    std::optional<double> peak;       // the value furthest past the limit so far
    std::optional<double> limit;      // the limit broken
    QString ackedBy;
    qint64 ackedMs = 0; // 0: not acknowledged

    bool active() const { return endMs == 0; }
};

// End reasons, shown on the page and in the notices.
inline const QString EndedBackInside = QStringLiteral("恢复正常");
inline const QString EndedNotRead = QStringLiteral("不再读取");
inline const QString EndedEscalated = QStringLiteral("升为报警");
inline const QString EndedDeescalated = QStringLiteral("降为预警");

// "预警", "报警"; "高温", "低温", "温升", "传感器故障", "通信中断".
QString levelText(AlarmNotice::Level level);
QString kindText(AlarmNotice::Kind kind);
// "地址1 通道2 位置3", "地址1" for a station.
QString placeText(const Sensor& where);
// The one-line message of a notice, the only place it is made.
QString noticeText(const AlarmNotice& notice);

class AlarmEngine
{
public:
    // New limits and rules judge what is fed from now on; alarms in force stay until then.
    void setLimits(const AlarmLimits& limits, const AlarmRules& rules);
    const AlarmLimits& limits() const { return m_limits; }
    const AlarmRules& rules() const { return m_rules; }
    // The installation's name, carried in every notice.
    void setSite(const QString& site) { m_site = site; }

    // Takes alarms in force from the record (after a restart): they stay in
    // force until what is fed ends them. Ids given from now on follow the largest of `highestId` and theirs.
    void restore(const QList<AlarmEntry>& active, qint64 highestId);

    // One reading of a sensor.
    QList<AlarmNotice> feed(const SensorReading& reading);
    // A channel of `station` that gave no usable reply this round.
    void channelUnanswered(int station, qint64 timeMs);
    // The round is over: a station asked that answered nothing counts a silent
    // round; whatever was not read for goneRounds rounds ends as "不再读取".
    QList<AlarmNotice> roundEnded(qint64 timeMs);

    // Acknowledges the alarm in force with `id` (nothing if it is not, or is acknowledged already).
    QList<AlarmNotice> acknowledge(qint64 id, const QString& user, qint64 timeMs);
    QList<AlarmNotice> acknowledgeAll(const QString& user, qint64 timeMs);

    // Whether a sensor has an alarm in force (either level, any kind but its station's).
    bool inAlarm(const Sensor& sensor) const;
    // The alarms in force, by id.
    QList<AlarmEntry> activeAlarms() const;

private:
    struct Held
    {
        qint64 sinceMs = 0;
        int readings = 0;
    };
    using Condition = std::pair<AlarmNotice::Kind, AlarmNotice::Level>;
    struct SensorTrack
    {
        std::map<Condition, Held> held; // the limit conditions holding now
        std::optional<Held> faultHeld;
        QString faultReason;
        bool hadValue = false;
        int powerOnRun = 0;
        qint64 lastRound = 0;
        qint64 limitAlarm = 0; // the id in force, 0: none
        qint64 faultAlarm = 0;
    };
    struct StationTrack
    {
        qint64 lastRound = 0;
        bool answeredThisRound = false;
        bool askedThisRound = false;
        int silentRounds = 0;
        qint64 silentAlarm = 0;
    };

    void judgeLimits(SensorTrack& track, const SensorReading& reading, QList<AlarmNotice>& notices);
    void judgeFault(SensorTrack& track, const SensorReading& reading, QList<AlarmNotice>& notices);
    bool holds(const Condition& condition, const SensorReading& reading,
               const std::optional<EarlierValue>& earlier, double margin) const;
    std::optional<double> limitOf(const Condition& condition, int channel) const;
    const Persistence& persistenceOf(AlarmNotice::Kind kind) const;

    qint64 start(AlarmEntry entry, qint64 timeMs, const std::optional<double>& value,
                 QList<AlarmNotice>& notices);
    void end(qint64& id, qint64 timeMs, const QString& reason, const std::optional<double>& value,
             QList<AlarmNotice>& notices);
    AlarmNotice notice(AlarmNotice::Event event, const AlarmEntry& entry, qint64 timeMs,
                       const std::optional<double>& value) const;

    AlarmLimits m_limits;
    AlarmRules m_rules;
    QString m_site;
    RiseBaselines m_baselines;
    std::map<Sensor, SensorTrack> m_sensors;
    std::map<int, StationTrack> m_stations;
    std::map<qint64, AlarmEntry> m_active;
    qint64 m_round = 0;
    qint64 m_lastId = 0;
};

} // namespace alarms
