#include "bin_table_model.h"

#include "report/bin_report.h"

#include <QBrush>
#include <QFont>

namespace {

QString signedText(double change)
{
    return (change > 0 ? QStringLiteral("+") : QString()) + report::celsiusText(change);
}

} // namespace

QString sensorToolTip(const bins::BinView& view, int layer, int cable)
{
    const bins::Cable& c = view.bin.cables[cable];
    const int position = c.positionAt(layer);
    QString text = QStringLiteral("%1号电缆 第%2层").arg(c.number).arg(layer);
    if (position == 0)
        return text + QStringLiteral("\n此电缆不到这一层");
    text += QStringLiteral("\n%1号站 %2通道 位置%3").arg(c.station).arg(c.channel).arg(position);
    const bins::Cell& cell = view.cells[layer - 1][cable];
    if (!cell.reading)
        return text + QStringLiteral("\n尚无读数");
    const QString value = cell.hasValue() ? report::celsiusText(*cell.reading->celsius) + QStringLiteral(" °C")
                                          : report::cellText(cell.reading);
    return text + QStringLiteral("\n%1\n%2").arg(value, report::reportTime(cell.reading->timeMs));
}

void BinTableModel::show(const bins::BinView& view, const std::optional<bins::BinComparison>& comparison,
                         const report::ColourScale& scale)
{
    const bool sameShape = view.layerCount() == m_view.layerCount() &&
                           view.bin.cables.size() == m_view.bin.cables.size() &&
                           comparison.has_value() == m_comparison.has_value() && view.bin.name == m_view.bin.name;
    if (!sameShape)
        beginResetModel();
    m_view = view;
    m_comparison = comparison;
    m_scale = scale;
    if (!sameShape) {
        endResetModel();
        return;
    }
    // The same table with new values: the view repaints what it shows, nothing is laid out again.
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int BinTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_view.layerCount();
}

int BinTableModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || m_view.layerCount() == 0)
        return 0;
    return cableCount() + (m_comparison ? 4 : 3);
}

QVariant BinTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int layer = index.row() + 1;
    if (index.column() < cableCount())
        return cellData(layer, index.column(), role);
    return figureData(layer, index.column() - cableCount(), role);
}

QVariant BinTableModel::cellData(int layer, int cable, int role) const
{
    const bins::Cell& cell = m_view.cells[layer - 1][cable];
    // The change against the earlier reading, when both have a value (NaN otherwise).
    const double change = m_comparison ? m_comparison->change[layer - 1][cable].value_or(qQNaN()) : qQNaN();
    const bool changed = !qIsNaN(change);
    const bool risen = m_comparison && m_comparison->risen[layer - 1][cable];
    switch (role) {
    case Qt::DisplayRole: {
        if (!cell.hasSensor)
            return QString();
        QString text = report::cellText(cell.reading);
        if (changed)
            text += QStringLiteral(" (%1%2)").arg(risen ? QStringLiteral("▲") : QString(), signedText(change));
        return text;
    }
    case Qt::BackgroundRole:
        return QBrush(cell.hasSensor ? report::cellColour(cell.reading, m_scale) : report::noSensorColour());
    case Qt::FontRole:
        if (risen) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ForegroundRole:
        return QBrush(risen ? QColor(160, 0, 0) : QColor(Qt::black));
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole: {
        QString tip = sensorToolTip(m_view, layer, cable);
        if (changed)
            tip += QStringLiteral("\n比较：变化 %1 °C%2").arg(signedText(change), risen ? QStringLiteral("（升温超限）") : QString());
        return tip;
    }
    default:
        return {};
    }
}

QVariant BinTableModel::figureData(int layer, int column, int role) const
{
    const bins::Figures& f = m_view.layers[layer - 1];
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::BackgroundRole)
        return QBrush(QColor(240, 240, 240));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const std::optional<bins::Extreme> extreme = column == 0 ? f.highest : column == 1 ? f.lowest : std::nullopt;
    if (role == Qt::ToolTipRole) {
        if (extreme)
            return report::placeText(m_view, *extreme);
        if (column == 2)
            return QStringLiteral("第%1层：%2 个有值，%3 个故障（不计入）").arg(layer).arg(f.values).arg(f.faults);
        return {};
    }
    if (column <= 1)
        return report::celsiusText(extreme ? std::optional<double>(extreme->celsius) : std::nullopt);
    if (column == 2)
        return report::celsiusText(f.average);
    const std::optional<double> change = m_comparison->layerAverageChange.value(layer - 1);
    return change ? signedText(*change) : QStringLiteral("—");
}

QVariant BinTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical)
        return QStringLiteral("第%1层").arg(section + 1);
    if (section < cableCount()) {
        const bins::Cable& c = m_view.bin.cables[section];
        if (role == Qt::ToolTipRole)
            return QStringLiteral("%1号电缆：%2号站 %3通道，位置%4→%5（自上而下）")
                .arg(c.number)
                .arg(c.station)
                .arg(c.channel)
                .arg(c.topPosition)
                .arg(c.bottomPosition);
        return QStringLiteral("%1号").arg(c.number);
    }
    static const char* const names[] = {"最高", "最低", "平均", "平均变化"};
    return QString::fromUtf8(names[std::min(section - cableCount(), 3)]);
}
