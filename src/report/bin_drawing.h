#pragma once
// A bin's reading drawn with QPainter, the same in the window's tab and in the
// report: the colour view (a cell per cable and layer), the scale's legend and
// the plan view (the cables as dots on the bin's outline).

#include "colour_scale.h"

#include "bins/bin_figures.h"

#include <QPainter>
#include <QRectF>

namespace report {

// Every cable a column, every layer a row (layer 1 at the top), filling `area`.
void paintColourView(QPainter& painter, const QRectF& area, const bins::BinView& view, const ColourScale& scale);

// The scale as a bar from low to high with its ends' values, then the fault colours named.
void paintLegend(QPainter& painter, const QRectF& area, const ColourScale& scale);

// What the plan's dots are coloured by: a layer's value (1-based), or each cable's highest.
inline constexpr int PlanByHighest = 0;

// The bin's outline kept in proportion inside `area`.
QRectF planOutline(const QRectF& area, const bins::Bin& bin);
// Where cable `cable` (index in the bin) sits in the outline.
QPointF planDotCentre(const QRectF& outline, const bins::Bin& bin, int cable);
// The value a cable's dot shows: its reading at `layer`, or its highest.
std::optional<double> planValue(const bins::BinView& view, int cable, int layer);
void paintPlan(QPainter& painter, const QRectF& area, const bins::BinView& view, const ColourScale& scale,
               int layer);

} // namespace report
