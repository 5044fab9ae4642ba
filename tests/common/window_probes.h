#pragma once
// What a person sees on the main window, as tests ask it: the lamp in front
// and the texts and colours of a value group.

#include "ui/frmMain.h"

#include <QColor>
#include <QStringList>

// Which of the three stacked lamps is seen: the last raised is last among its siblings.
inline QString frontLamp(const frmMain& window)
{
    const QObjectList children = window.imgConnected->parentWidget()->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        const QString name = (*it)->objectName();
        if (name == QLatin1String("imgConnected") || name == QLatin1String("ImgYellow")
            || name == QLatin1String("imgNotConnected"))
            return name;
    }
    return QString();
}

inline QStringList cellTexts(const frmMain& window, int channel, int count)
{
    QStringList texts;
    for (int k = 0; k < count; ++k)
        texts << window.txtValue[size_t(channel - 1)][k]->text();
    return texts;
}

inline QColor cellColour(const frmMain& window, int channel, int index)
{
    return window.txtValue[size_t(channel - 1)][index]->palette().color(QPalette::Text);
}
