#pragma once
// A bin's reading as a table: a row per layer, a column per cable, then the
// layer's highest, lowest and average (and, when compared, its average's
// change). Cells are coloured on the scale; faults and layers a cable does not
// reach are drawn apart; every cell has a tool tip.

#include "bins/bin_figures.h"
#include "report/colour_scale.h"

#include <QAbstractTableModel>
#include <optional>

class BinTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The view to show, and the comparison with an earlier reading, if any.
    void show(const bins::BinView& view, const std::optional<bins::BinComparison>& comparison,
              const report::ColourScale& scale);

    const bins::BinView& view() const { return m_view; }
    int cableCount() const { return int(m_view.bin.cables.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVariant cellData(int layer, int cable, int role) const;
    QVariant figureData(int layer, int column, int role) const;

    bins::BinView m_view;
    std::optional<bins::BinComparison> m_comparison;
    report::ColourScale m_scale;
};

// The tool tip of a sensor's cell or dot: cable, layer, station, channel, position, value, time.
QString sensorToolTip(const bins::BinView& view, int layer, int cable);
