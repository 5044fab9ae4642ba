#include "colour_scale.h"

#include "protocol/temperature.h"

#include <algorithm>

namespace report {

QColor ColourScale::colourOf(double celsius) const
{
    const double span = high - low;
    const double t = span > 0 ? std::clamp((celsius - low) / span, 0.0, 1.0) : 0.5;
    // Hue from blue (240°) through green and yellow to red (0°).
    return QColor::fromHsvF(float((1 - t) * 240.0 / 360.0), 0.75f, 0.95f);
}

QColor cellColour(const std::optional<history::Reading>& reading, const ColourScale& scale)
{
    if (!reading)
        return QColor(Qt::white);
    switch (reading->state) {
    case history::ReadingState::Ok:
        return reading->celsius ? scale.colourOf(*reading->celsius) : QColor(Qt::white);
    case history::ReadingState::NotWired:
        return QColor(170, 170, 170);
    case history::ReadingState::NotRecognised:
        return QColor(120, 120, 120);
    case history::ReadingState::NoValue:
        return QColor(215, 215, 215);
    }
    return QColor(Qt::white);
}

QColor noSensorColour()
{
    return QColor(60, 60, 60);
}

QString celsiusText(double celsius)
{
    return QString::number(celsius, 'f', 2);
}

QString celsiusText(const std::optional<double>& celsius)
{
    return celsius ? celsiusText(*celsius) : QStringLiteral("—");
}

QString cellText(const std::optional<history::Reading>& reading)
{
    if (!reading)
        return {};
    return protocol::temperatureText(reading->raw);
}

} // namespace report
