#include "bin_drawing.h"

#include <QLinearGradient>
#include <algorithm>

namespace report {

void paintColourView(QPainter& painter, const QRectF& area, const bins::BinView& view, const ColourScale& scale)
{
    const int cables = int(view.bin.cables.size());
    const int layers = view.layerCount();
    if (cables == 0 || layers == 0)
        return;
    const double w = area.width() / cables;
    const double h = area.height() / layers;
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int l = 0; l < layers; ++l) {
        for (int c = 0; c < cables; ++c) {
            const bins::Cell& cell = view.cells[l][c];
            const QColor colour = cell.hasSensor ? cellColour(cell.reading, scale) : noSensorColour();
            // Each cell reaches the next one's edge, so no hairline gaps show between them.
            painter.fillRect(QRectF(area.left() + c * w, area.top() + l * h, w + 0.5, h + 0.5), colour);
        }
    }
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);
    painter.restore();
}

void paintLegend(QPainter& painter, const QRectF& area, const ColourScale& scale)
{
    painter.save();
    const QFontMetricsF metrics(painter.font());
    const double textH = metrics.height();
    struct Swatch
    {
        QColor colour;
        QString text;
    };
    QVector<Swatch> swatches;
    for (const auto& [state, text] : {std::pair{history::ReadingState::NotWired, "未接线"},
                                      std::pair{history::ReadingState::NotRecognised, "未识别"},
                                      std::pair{history::ReadingState::NoValue, "无数值"}}) {
        history::Reading r;
        r.state = state;
        swatches.append({cellColour(r, scale), QString::fromUtf8(text)});
    }
    swatches.append({noSensorColour(), QStringLiteral("无传感器")});
    double swatchesWidth = 0;
    for (const Swatch& s : swatches)
        swatchesWidth += textH * 1.9 + metrics.horizontalAdvance(s.text);
    // The swatches beside the bar where they fit, otherwise on a row below it.
    const bool beside = area.width() * 0.5 >= swatchesWidth;
    const double barW = beside ? area.width() * 0.45 : area.width();
    const double barH = textH;
    const QRectF bar(area.left(), area.top(), barW, barH);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 10; ++i)
        gradient.setColorAt(i / 10.0, scale.colourOf(scale.low + (scale.high - scale.low) * i / 10.0));
    painter.fillRect(bar, gradient);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawRect(bar);
    const QString lowText = celsiusText(scale.low) + QStringLiteral(" °C");
    const QString highText = celsiusText(scale.high) + QStringLiteral(" °C");
    const double labelBase = bar.bottom() + textH - metrics.descent();
    painter.drawText(QPointF(bar.left(), labelBase), lowText);
    painter.drawText(QPointF(bar.right() - metrics.horizontalAdvance(highText), labelBase), highText);
    double x = beside ? bar.right() + textH : area.left();
    const double y = beside ? area.top() : bar.bottom() + textH * 1.3;
    for (const Swatch& s : swatches) {
        const QRectF box(x, y, textH * 0.9, textH * 0.9);
        painter.fillRect(box, s.colour);
        painter.drawRect(box);
        painter.drawText(QPointF(box.right() + textH * 0.3, box.bottom() - metrics.descent() * 0.5), s.text);
        x = box.right() + textH * 1.0 + metrics.horizontalAdvance(s.text);
    }
    painter.restore();
}

QRectF planOutline(const QRectF& area, const bins::Bin& bin)
{
    const double margin = std::min(area.width(), area.height()) * 0.08;
    const QRectF inner = area.adjusted(margin, margin, -margin, -margin);
    const double scale = std::min(inner.width() / bin.width, inner.height() / bin.depth);
    const QSizeF size(bin.width * scale, bin.depth * scale);
    return QRectF(inner.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

QPointF planDotCentre(const QRectF& outline, const bins::Bin& bin, int cable)
{
    const bins::Cable& c = bin.cables[cable];
    return QPointF(outline.left() + outline.width() * c.x / bin.width,
                   outline.top() + outline.height() * c.y / bin.depth);
}

std::optional<double> planValue(const bins::BinView& view, int cable, int layer)
{
    if (layer == PlanByHighest) {
        const bins::Figures& f = view.cables.value(cable);
        return f.highest ? std::optional<double>(f.highest->celsius) : std::nullopt;
    }
    if (layer < 1 || layer > view.layerCount())
        return std::nullopt;
    const bins::Cell& cell = view.cells[layer - 1][cable];
    return cell.hasValue() ? cell.reading->celsius : std::nullopt;
}

void paintPlan(QPainter& painter, const QRectF& area, const bins::BinView& view, const ColourScale& scale, int layer)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = planOutline(area, view.bin);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(QColor(250, 248, 240));
    painter.drawRect(outline);
    // Dots as large as the cables' spacing allows, readable on a thin outline too.
    const double across = std::max(outline.width(), outline.height());
    const double radius = std::max(2.0, std::min(across / (2.5 * (view.bin.cables.size() + 1)), area.height() / 12));
    QFont font = painter.font();
    font.setPixelSize(std::max(6, int(radius * 1.1)));
    painter.setFont(font);
    for (int c = 0; c < view.bin.cables.size(); ++c) {
        const QPointF centre = planDotCentre(outline, view.bin, c);
        const std::optional<double> value = planValue(view, c, layer);
        painter.setBrush(value ? scale.colourOf(*value) : QColor(Qt::white));
        painter.setPen(QPen(Qt::black, 0));
        painter.drawEllipse(centre, radius, radius);
        const QRectF label(centre.x() - radius * 3, centre.y() + radius, radius * 6, radius * 2.2);
        painter.drawText(label, Qt::AlignHCenter | Qt::AlignTop, QString::number(view.bin.cables[c].number));
    }
    painter.restore();
}

} // namespace report
