#pragma once
// The font of a value cell cut to a narrow column: the largest in which the
// widest reading still fits the box (acquisition::fitValueFont), measured as a
// line edit lays out its text. The grid sizes its narrowed cells with it, and
// the window again at every zoom, at the zoomed sizes.

#include <QFont>
#include <optional>

// `formFont` is the font the form gives value boxes, `boxWidth` the frameless
// box's width in pixels. Nothing when no legible font fits.
std::optional<QFont> fittedValueFont(const QFont& formFont, int boxWidth);
