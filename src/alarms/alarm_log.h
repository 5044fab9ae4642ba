#pragma once
// The alarms as a list keeps them: each notice applied to its alarm's entry,
// and the entries as CSV.

#include "alarm_engine.h"

#include <QByteArray>

namespace alarms {

// Applies one event to the entry of its alarm: a start fills it, an end adds
// the end, reason and peak, an acknowledgement who and when.
void applyNotice(AlarmEntry& entry, const AlarmNotice& notice);

// "编号,等级,报警,地址,通道,位置,开始时间,结束时间,结束原因,温度(°C),峰值(°C),限值,确认人,确认时间" and a
// line per entry, UTF-8 with a byte-order mark (spreadsheets), CR LF; times local "yyyy-MM-dd HH:mm:ss".
QByteArray alarmsCsv(const QList<AlarmEntry>& entries);

// "yyyy-MM-dd HH:mm:ss" in local time; empty for 0.
QString alarmTimeText(qint64 timeMs);
// What the list's 报警 column says: the kind, with a fault's reason ("传感器故障：未接线").
QString alarmWhatText(const AlarmEntry& entry);

} // namespace alarms
