#pragma once
// The fixed colour scale of a bin's values (blue at its low end, red at its
// high end) and the colours of sensors without a value, drawn apart.

#include "history/reading.h"

#include <QColor>
#include <QString>
#include <optional>

namespace report {

struct ColourScale
{
    double low = 0;   // °C drawn blue and below
    double high = 40; // °C drawn red and above

    QColor colourOf(double celsius) const;
};

// The colour of a cell: its value's on the scale, or its state's when in fault;
// the empty colour for a sensor not read yet.
QColor cellColour(const std::optional<history::Reading>& reading, const ColourScale& scale);
// The colour of a layer the cable does not reach.
QColor noSensorColour();

// A value as every view and report writes it: "21.50".
QString celsiusText(double celsius);
QString celsiusText(const std::optional<double>& celsius); // "—" without
// A cell's text: its value, or 未接线 / 未识别 / 无数值; empty when not read yet.
QString cellText(const std::optional<history::Reading>& reading);

} // namespace report
