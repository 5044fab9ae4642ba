#include "bin_report.h"

#include "bin_drawing.h"

#include "history/csv_export.h"

#include <QDateTime>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

namespace report {

namespace {

QString cableHeader(const bins::Cable& cable)
{
    return QStringLiteral("%1号").arg(cable.number);
}

// The table's text of a cell: its value or fault, "—" when not read, "/" where the cable ends.
QString tableCellText(const bins::Cell& cell)
{
    if (!cell.hasSensor)
        return QStringLiteral("/");
    if (!cell.reading)
        return QStringLiteral("—");
    return cellText(cell.reading);
}

QString extremeText(const bins::BinView& view, const std::optional<bins::Extreme>& e)
{
    if (!e)
        return QStringLiteral("—");
    return QStringLiteral("%1 °C（%2）").arg(celsiusText(e->celsius), placeText(view, *e));
}

QString summaryLine(const bins::BinView& view)
{
    const bins::Figures& f = view.whole;
    return QStringLiteral("全仓  最高 %1   最低 %2   平均 %3 °C   有值 %4   故障 %5")
        .arg(extremeText(view, f.highest), extremeText(view, f.lowest), celsiusText(f.average))
        .arg(f.values)
        .arg(f.faults);
}

// The cable (index in the bin) that holds the sensor of `r`, or -1.
int cableOf(const bins::BinView& view, const history::Reading& r)
{
    for (int c = 0; c < view.bin.cables.size(); ++c) {
        const bins::Cable& cable = view.bin.cables[c];
        if (cable.station == r.station && cable.channel == r.channel && cable.layerOf(r.position) != 0)
            return c;
    }
    return -1;
}

QString faultText(const bins::BinView& view, const history::Reading& r)
{
    const int c = cableOf(view, r);
    if (c < 0)
        return {};
    const bins::Cable& cable = view.bin.cables[c];
    return QStringLiteral("%1号电缆 第%2层（%3号站 %4通道 位置%5）：%6")
        .arg(cable.number)
        .arg(cable.layerOf(r.position))
        .arg(r.station)
        .arg(r.channel)
        .arg(r.position)
        .arg(cellText(r));
}

// Draws the pages in device pixels; `mm` pixels make a millimetre.
class PageWriter
{
public:
    PageWriter(QPagedPaintDevice& device, QPainter& painter)
        : m_device(device), m_painter(painter), m_mm(device.logicalDpiY() / 25.4),
          m_page(device.pageLayout().paintRectPixels(device.logicalDpiY()))
    {
        m_page.moveTo(0, 0);
        m_y = m_page.top();
    }

    double mm(double millimetres) const { return millimetres * m_mm; }
    QRectF page() const { return m_page; }
    double y() const { return m_y; }
    void advance(double pixels) { m_y += pixels; }
    double room() const { return m_page.bottom() - m_y; }

    void newPage()
    {
        if (!m_first)
            m_device.newPage();
        m_first = false;
        m_y = m_page.top();
    }
    void ensureRoom(double pixels)
    {
        if (room() < pixels)
            newPage();
    }

    void setFont(double points, bool bold = false)
    {
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPointSizeF(points);
        font.setBold(bold);
        m_painter.setFont(font);
    }
    double lineHeight() const { return QFontMetricsF(m_painter.font(), &m_device).height(); }

    void line(const QString& text)
    {
        const double h = lineHeight();
        ensureRoom(h);
        m_painter.drawText(QRectF(m_page.left(), m_y, m_page.width(), h), Qt::AlignLeft | Qt::AlignVCenter, text);
        m_y += h;
    }

private:
    QPagedPaintDevice& m_device;
    QPainter& m_painter;
    double m_mm;
    QRectF m_page;
    double m_y = 0;
    bool m_first = true;
};

void paintTable(PageWriter& out, QPainter& painter, const bins::BinView& view)
{
    const int cables = int(view.bin.cables.size());
    const int columns = cables + 4; // layer, cables, highest, lowest, average
    const double width = out.page().width() / columns;
    // The largest font up to 8 pt in which a value fits its column.
    double points = 8;
    for (; points > 3; points -= 0.5) {
        out.setFont(points);
        if (QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(QStringLiteral("-55.00 ")) <= width)
            break;
    }
    const double rowH = out.lineHeight() * 1.25;
    auto drawRow = [&](const QStringList& texts, const QVector<QColor>& fills) {
        const double top = out.y();
        for (int i = 0; i < texts.size(); ++i) {
            const QRectF cell(out.page().left() + i * width, top, width, rowH);
            if (i < fills.size() && fills[i].isValid())
                painter.fillRect(cell, fills[i]);
            painter.setPen(QPen(QColor(160, 160, 160), 0));
            painter.drawRect(cell);
            painter.setPen(Qt::black);
            painter.drawText(cell.adjusted(width * 0.05, 0, -width * 0.05, 0), Qt::AlignRight | Qt::AlignVCenter,
                             texts[i]);
        }
        out.advance(rowH);
    };
    QStringList header{QStringLiteral("层")};
    for (const bins::Cable& cable : view.bin.cables)
        header << cableHeader(cable);
    header << QStringLiteral("最高") << QStringLiteral("最低") << QStringLiteral("平均");
    const QVector<QColor> headerFill(columns, QColor(230, 230, 230));
    out.ensureRoom(rowH * 2);
    drawRow(header, headerFill);
    for (int l = 0; l < view.layerCount(); ++l) {
        if (out.room() < rowH) {
            out.newPage();
            out.setFont(points);
            drawRow(header, headerFill);
        }
        QStringList texts{QStringLiteral("第%1层").arg(l + 1)};
        QVector<QColor> fills{QColor()};
        for (int c = 0; c < cables; ++c) {
            const bins::Cell& cell = view.cells[l][c];
            texts << tableCellText(cell);
            fills << (cell.inFault() ? QColor(225, 225, 225) : QColor());
        }
        const bins::Figures& f = view.layers[l];
        texts << celsiusText(f.highest ? std::optional<double>(f.highest->celsius) : std::nullopt)
              << celsiusText(f.lowest ? std::optional<double>(f.lowest->celsius) : std::nullopt)
              << celsiusText(f.average);
        drawRow(texts, fills);
    }
}

void paintBin(PageWriter& out, QPainter& painter, const ReportContents& contents, const bins::BinView& view)
{
    out.newPage();
    out.setFont(15, true);
    out.line(QStringLiteral("温度分布日报  %1  %2").arg(contents.site, view.bin.name));
    out.setFont(9);
    out.line(QStringLiteral("读数时间：%1（各传感器在此时刻或之前的最新读数%2）")
                 .arg(reportTime(contents.atMs),
                      view.newestMs ? QStringLiteral("，最新 %1").arg(reportTime(view.newestMs)) : QString()));
    out.line(QStringLiteral("制表时间：%1").arg(reportTime(contents.madeAtMs)));
    out.advance(out.mm(2));
    out.setFont(10, true);
    out.line(summaryLine(view));
    out.advance(out.mm(3));

    // The colour view on the left, the plan (by each cable's highest) on the right, the legend below.
    out.setFont(8);
    const double pictureH = std::min(out.mm(90), out.room() / 2);
    const QRectF colours(out.page().left(), out.y(), out.page().width() * 0.55, pictureH);
    paintColourView(painter, colours, view, contents.scale);
    const QRectF plan(colours.right() + out.mm(5), out.y(), out.page().right() - colours.right() - out.mm(5), pictureH);
    paintPlan(painter, plan, view, contents.scale, PlanByHighest);
    out.advance(pictureH + out.mm(1));
    out.line(QStringLiteral("左：温度分布（每列一根电缆，自上而下第1层起）；右：平面图，按各电缆最高温度着色"));
    out.advance(out.mm(1));
    paintLegend(painter, QRectF(out.page().left(), out.y(), out.page().width() * 0.9, out.lineHeight() * 2.4),
                contents.scale);
    out.advance(out.lineHeight() * 2.6 + out.mm(2));

    out.setFont(10, true);
    out.line(QStringLiteral("各层温度（°C）"));
    paintTable(out, painter, view);

    out.advance(out.mm(3));
    out.setFont(10, true);
    const QVector<history::Reading> faults = view.faults();
    out.line(faults.isEmpty() ? QStringLiteral("故障传感器：无") : QStringLiteral("故障传感器：%1 个").arg(faults.size()));
    out.setFont(8);
    for (const history::Reading& r : faults)
        out.line(faultText(view, r));
}

QString csvLine(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& field : fields)
        quoted << history::csvField(field);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace

QString reportTime(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString placeText(const bins::BinView& view, const bins::Extreme& where)
{
    return QStringLiteral("%1号电缆 第%2层").arg(view.bin.cables.value(where.cable).number).arg(where.layer);
}

void paintReport(QPagedPaintDevice& device, const ReportContents& contents)
{
    QPainter painter(&device);
    PageWriter out(device, painter);
    for (const bins::BinView& view : contents.bins)
        paintBin(out, painter, contents, view);
    painter.end();
}

bool writeReportPdf(const QString& path, const ReportContents& contents, QString* error)
{
    QFile::remove(path); // so that what is found afterwards was written now
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("温度分布日报 %1").arg(contents.site));
        writer.setCreator(QStringLiteral("tq5900k"));
        paintReport(writer, contents);
    }
    // QPdfWriter says nothing of a file it could not write: look at what is there.
    QFile written(path);
    if (!written.open(QIODevice::ReadOnly) || written.read(5) != "%PDF-") {
        if (error)
            *error = QStringLiteral("无法写入报表文件“%1”").arg(path);
        return false;
    }
    return true;
}

QByteArray reportCsv(const ReportContents& contents)
{
    QString text;
    for (const bins::BinView& view : contents.bins) {
        const bins::Figures& f = view.whole;
        text += csvLine({QStringLiteral("站点"), contents.site});
        text += csvLine({QStringLiteral("仓"), view.bin.name});
        text += csvLine({QStringLiteral("读数时间"), reportTime(contents.atMs)});
        auto extreme = [&view](const QString& name, const std::optional<bins::Extreme>& e) {
            return csvLine({name, e ? celsiusText(e->celsius) : QString(),
                            e ? QStringLiteral("%1号电缆").arg(view.bin.cables.value(e->cable).number) : QString(),
                            e ? QStringLiteral("第%1层").arg(e->layer) : QString()});
        };
        text += extreme(QStringLiteral("全仓最高"), f.highest);
        text += extreme(QStringLiteral("全仓最低"), f.lowest);
        text += csvLine({QStringLiteral("全仓平均"), f.average ? celsiusText(*f.average) : QString()});
        text += csvLine({QStringLiteral("故障传感器"), QString::number(f.faults)});
        QStringList header{QStringLiteral("层")};
        for (const bins::Cable& cable : view.bin.cables)
            header << QStringLiteral("%1号电缆").arg(cable.number);
        header << QStringLiteral("最高") << QStringLiteral("最低") << QStringLiteral("平均");
        text += csvLine(header);
        for (int l = 0; l < view.layerCount(); ++l) {
            QStringList row{QString::number(l + 1)};
            for (const bins::Cell& cell : view.cells[l])
                row << (cell.hasSensor ? cellText(cell.reading) : QString());
            const bins::Figures& lf = view.layers[l];
            row << (lf.highest ? celsiusText(lf.highest->celsius) : QString())
                << (lf.lowest ? celsiusText(lf.lowest->celsius) : QString())
                << (lf.average ? celsiusText(*lf.average) : QString());
            text += csvLine(row);
        }
        const QVector<history::Reading> faults = view.faults();
        if (!faults.isEmpty()) {
            text += csvLine({QStringLiteral("电缆"), QStringLiteral("层"), QStringLiteral("站号"), QStringLiteral("通道"),
                             QStringLiteral("位置"), QStringLiteral("状态")});
            for (const history::Reading& r : faults) {
                const bins::Cable& cable = view.bin.cables[cableOf(view, r)]; // a fault is always a cell's
                text += csvLine({QString::number(cable.number), QString::number(cable.layerOf(r.position)),
                                 QString::number(r.station), QString::number(r.channel),
                                 QString::number(r.position), cellText(r)});
            }
        }
        text += QStringLiteral("\r\n");
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}

bool writeReportCsv(const QString& path, const ReportContents& contents, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(reportCsv(contents)) >= 0 && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("无法写入报表文件“%1”").arg(path);
    return false;
}

} // namespace report
