#pragma once
// What is told about an alarm to people away from the window: one event of
// one alarm (it started, ended or was acknowledged), with everything an
// e-mail, a webhook post or an MQTT message says about it. The alarm engine
// makes them; the delivery sends them on.

#include <QDateTime>
#include <QString>

namespace alarms {

struct AlarmNotice
{
    enum class Event { Started, Ended, Acknowledged };
    enum class Level { Warning, Alarm };                      // 预警, 报警
    enum class Kind { High, Low, Rise, SensorFault, StationSilent };

    Event event = Event::Started;
    Level level = Level::Alarm;
    Kind kind = Kind::High;
    qint64 alarmId = 0;   // the alarm's row in the record; the same for its three events
    QString site;         // the installation's name (MQTT topics, e-mail subject)
    int station = 0;
    int channel = 0;      // 0: the whole station (StationSilent)
    int position = 0;     // 0: the whole channel or station
    QDateTime startedAt;  // when the alarm started
    QDateTime at;         // when this event happened
    double value = 0;     // the reading that caused this event (°C); hasValue false for faults
    bool hasValue = false;
    double peak = 0;      // the value furthest past the limit while the alarm lasted
    double limit = 0;     // the limit broken (°C, or °C per day for Rise); none for faults
    bool hasLimit = false;
    QString reason;       // Ended: "恢复正常", "不再读取"; SensorFault: "未接线", "未识别", ...
    QString acknowledgedBy; // Acknowledged: the user
    QString text;         // the one-line message in Chinese, as the alarm page says it
};

} // namespace alarms
