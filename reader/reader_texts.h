#pragma once
// What the reader says on standard error, each text in Chinese with the English
// in brackets. The Chinese of the port's and the history's texts comes from
// their libraries, as the window shows it; the English is added here.

#include "alarms/alarms_file.h"
#include "notify/destination_status.h"
#include "port/serial_backend.h"

#include <QString>

namespace reader {

// Why `portName` (the --port given; `device` the path it stands for) cannot be opened.
QString portOpenFailureText(port::OpenFailure failure, const QString& portName, const QString& device);
QString portLostText(const QString& portName);
QString portBackText(const QString& portName);

// Refused before the port is opened: the --alarms file is missing or cannot be used.
QString alarmsFileText(const alarms::AlarmsLoad& load);
// Refused before the port is opened: the history database could not be made there.
QString historyFolderMissingText(const QString& folder);
// history.set beside the database cannot be used (`text`: which file, what is wrong).
QString historySettingsText(const QString& text);
// The history's writer failed (`text`: the database and its error); it keeps the readings and tries again.
QString historyFailedText(const QString& text);
// Readings that never reached the database, said as the reader ends.
QString historyLostText(const QString& text);
QString historyRecoveredText(qint64 droppedRows);

// The scan's progress: starting on `stations` stations at `baud`.
QString scanBaudText(int baud, int stations);
// The scan's end: how many modules were found, and whether every probe was made.
QString scanEndText(int found, bool complete);
// --list-ports found none.
QString noSystemPortsText();

// What changed for an alarm destination from `before` to `now` worth a line on
// standard error (failing, refused for good, delivering again, events
// dropped); empty when nothing is.
QString deliveryChangeText(const notify::DestinationStatus& before, const notify::DestinationStatus& now);
// Alarm events still waiting as the reader ends.
QString deliveryLeftText(qint64 events);

} // namespace reader
