#pragma once
// What a person sees on the main window, as tests ask it: the lamp in front
// and the texts and colours of a value group.

#include "ui/main_window.h"

#include <QColor>
#include <QStringList>

// Which of the three stacked lamps is seen: the last raised is last among its siblings.
inline QString frontLamp(const MainWindow& window)
{
    const QObjectList children = window.imgConnected->parentWidget()->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        const QString name = (*it)->objectName();
        if (name == QLatin1String("imgConnected") || name == QLatin1String("ImgYellow") ||
            name == QLatin1String("imgNotConnected"))
            return name;
    }
    return QString();
}

inline QStringList cellTexts(MainWindow& window, int channel, int count)
{
    QStringList texts;
    for (int k = 0; k < count; ++k)
        texts << window.valueCells(channel)[k]->text();
    return texts;
}

inline QColor cellColour(MainWindow& window, int channel, int index)
{
    return window.valueCells(channel)[index]->palette().color(QPalette::Text);
}

