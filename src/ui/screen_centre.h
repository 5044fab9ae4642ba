#pragma once
// Where a window opens: in the middle of its screen.

class QWidget;

// Moves the window so that its client area is centred on its screen's available area.
void moveToScreenCentre(QWidget& window);
