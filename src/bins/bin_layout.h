#pragma once
// The installation's map: bins, the cables hung in each, and which sensor
// position of a cable's channel sits at which layer (layer 1 at the top).

#include "history/reading.h"

#include <QString>
#include <QVector>

namespace bins {

struct Cable
{
    int number = 0; // the cable's number in its bin, as the operators call it
    int station = 0;
    int channel = 0;
    double x = 0; // metres from the plan's corner
    double y = 0;
    // The positions at the top (layer 1) and at the bottom. A cable whose
    // positions run bottom-up has topPosition > bottomPosition; a cable shorter
    // than its channel leaves the other positions out.
    int topPosition = 1;
    int bottomPosition = 1;

    int layers() const;
    // The position at `layer` (1-based), or 0 when the cable has no sensor there.
    int positionAt(int layer) const;
    // The layer of `position`, or 0 when the position is not on the cable.
    int layerOf(int position) const;
};

struct Bin
{
    QString name;
    double width = 1; // the plan's outline, metres
    double depth = 1;
    QVector<Cable> cables;

    // The deepest cable's layers.
    int layers() const;
};

struct BinLayout
{
    QVector<Bin> bins;

    // The bin named `name`, or null.
    const Bin* find(const QString& name) const;
};

// The map without a layout.set: one bin per station ("<n>号站"), each channel a
// cable in a row (cable n = channel n, 2 m apart), position k = layer k. The
// stations, their channels and positions are those `readings` name (channels
// 1..the highest seen, positions 1..the highest seen on the station).
BinLayout defaultLayout(const QVector<history::Reading>& readings);

// The default map's bin for one station of `channels` channels of `positions` positions.
Bin defaultBin(int station, int channels, int positions);

} // namespace bins
