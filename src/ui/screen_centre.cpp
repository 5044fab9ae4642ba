#include "screen_centre.h"

#include <QScreen>
#include <QWidget>

void moveToScreenCentre(QWidget& window)
{
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}
