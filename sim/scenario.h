#pragma once
// Scenario files: a line format that sets up the simulated module (station,
// baud rate, sensor readings, buses, tables) and the faults of its line. The
// same lines can be typed at the simulator's console while it runs.

#include "fault.h"
#include "module_model.h"

#include <QList>
#include <QString>

namespace sim {

struct Scenario
{
    ModuleModel model;
    QList<Fault> faults;
};

// Applies one line (comments and blank lines do nothing). On an error nothing
// changes and `error` says what is wrong, without a location.
bool applyScenarioLine(const QString& line, ModuleModel& model, QList<Fault>& faults, QString* error);

// Applies every line of `text` onto `scenario`. Each faulty line is reported
// as "<sourceName>:<line>: <message>", one per line of `errors`; the good
// lines still apply. Returns true when there was no error.
bool applyScenarioText(const QString& text, const QString& sourceName, Scenario& scenario, QString* errors);

// Reads a UTF-8 file and applies it as above.
bool applyScenarioFile(const QString& path, Scenario& scenario, QString* errors);

} // namespace sim
