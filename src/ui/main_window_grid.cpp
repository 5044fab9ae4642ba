// The value grid: ten groups of cells, laid out for the installation's
// channels and sensors, created on first use, cut to narrow columns; the cells
// a reading fills and their tool tips.

#include "main_window.h"

#include "form_zoom.h"
#include "value_cell_font.h"

#include "acquisition/grid_geometry.h"
#include "acquisition/value_cell_sizing.h"
#include "protocol/temperature.h"

#include <QStringBuilder>
#include <QTime>
#include <map>

namespace {
// A cell's properties: when its value was read, and what its tool tip adds
// (why its channel failed, or that the line was lost since).
const char* const CellReadAt = "readAt";
const char* const CellNote = "note";
// Values read before the line was lost.
const QColor StaleColour(128, 128, 128);

void setCellColour(QLineEdit* cell, const QColor& colour)
{
    // A palette change repaints the cell: only when the colour changes.
    if (cell->palette().color(QPalette::Text) == colour)
        return;
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Text, colour);
    cell->setPalette(palette);
}
} // namespace

void MainWindow::clearGroup(int channel)
{
    if (channel < 1 || channel > ValueGroupCount)
        return;
    const QVector<QLineEdit*>& cells = valueCells(channel);
    for (int k = 0; k < m_sensorsPerChannel && k < cells.size(); ++k) {
        setCellColour(cells[k], Qt::red);
        setCellNote(channel, k, QString());
        setCellText(channel, k, QString());
    }
}

void MainWindow::showTemperatures(const QByteArray& reply, int channel, int positions)
{
    if (reply.isEmpty() || reply.size() - 1 < 5)
        return;
    if (channel < 1 || channel > ValueGroupCount)
        return;
    const QVector<QString> texts = protocol::decodeTemperatures(reply, positions);
    const QVector<QLineEdit*>& cells = valueCells(channel);
    const QTime now = QTime::currentTime();
    for (int k = 0; k < texts.size() && k < cells.size(); ++k) {
        setCellNote(channel, k, QString());
        setCellText(channel, k, texts[k]);
        setCellColour(cells[k], Qt::black);
        cells[k]->setProperty(CellReadAt, now);
    }
}

void MainWindow::arrangeValueGrid()
{
    const form::Zoom::AtBase atBase(*m_zoom);
    for (QGroupBox* group : FrameShow)
        group->hide();
    m_gridLayout = acquisition::arrangeValueGrid(m_channelCount, m_sensorsPerChannel);
    m_channelCount = m_gridLayout.channelCount;
    using form::twipsToPixels;
    for (int k = 0; k < m_gridLayout.visibleGroupCount(); ++k) {
        const acquisition::GridGroup& g = m_gridLayout.groups[size_t(k)];
        FrameShow[size_t(k)]->setGeometry(twipsToPixels(g.left), twipsToPixels(g.top), twipsToPixels(g.width),
                                          twipsToPixels(g.height));
        FrameShow[size_t(k)]->show();
    }
    for (int g = 1; g <= ValueGroupCount; ++g) {
        const acquisition::GridElement first = m_gridLayout.element(g, 0);
        QLineEdit* box0 = txtValue[size_t(g - 1)][0];
        QLabel* label0 = lblValue[size_t(g - 1)][0];
        box0->move(twipsToPixels(first.boxLeft), box0->y());
        label0->move(twipsToPixels(first.labelLeft), label0->y());
    }
    m_valueCellsPending = true;
    if (SSTab1->currentWidget() == tabPages[0])
        ensureValueCells();
}

const QVector<QLineEdit*>& MainWindow::valueCells(int channel)
{
    ensureValueCells();
    return txtValue[size_t(channel - 1)];
}

namespace {
// A line edit keeps this many pixels between its frame and its text on either
// side; a narrowed box gives them to the text.
constexpr int LineEditTextMargin = 2;

// Pixels from `left` to `left + width` (twips), each edge rounded as every
// control's is, so that cells cut to meet their neighbours never overlap them.
int pixelSpan(float left, float width)
{
    return form::twipsToPixels(left + width) - form::twipsToPixels(left);
}

// The cells of one column of a group where the form's sizes do not fit.
struct NarrowCells
{
    int boxWidth = 0;   // pixels
    int labelWidth = 0; // pixels
    QFont font;
};

// Sizes the cells of `column` like the form's `box` and `label` (element 0 of
// their group), or nothing where the form's sizes fit or no legible font fits
// the room: there the cells keep the form's sizes and their tool tips carry the
// value. `fonts` keeps the font found for each box width (every group's boxes
// share the form's one font).
std::optional<NarrowCells> narrowCells(const acquisition::GridLayout& layout, int column,
                                       const QLineEdit* box, const QLabel* label,
                                       std::map<int, std::optional<QFont>>& fonts)
{
    constexpr int twips = form::TwipsPerPixel;
    const QWidget* group = box->parentWidget();
    const acquisition::ColumnWidths widths =
        acquisition::columnWidths(layout, column, float(box->width() * twips), float(label->width() * twips),
                                  float(group->contentsMargins().right() * twips));
    if (widths.fitFormSizes)
        return std::nullopt;
    const acquisition::GridElement& first =
        layout.elements[std::size_t(column * acquisition::kRowsPerColumn)];
    NarrowCells cells;
    cells.boxWidth = pixelSpan(first.boxLeft, widths.box);
    cells.labelWidth = pixelSpan(first.labelLeft, widths.label);
    auto known = fonts.find(cells.boxWidth);
    if (known == fonts.end())
        known = fonts.emplace(cells.boxWidth, fittedValueFont(box->font(), cells.boxWidth)).first;
    if (!known->second)
        return std::nullopt;
    cells.font = *known->second;
    return cells;
}

void applyNarrowCells(QLineEdit* box, QLabel* label, const NarrowCells& cells)
{
    // Without its frame and margins the whole width shows the text.
    box->setFrame(false);
    // Without a frame the cell paints every pixel of its own: filled as well,
    // it counts as opaque, and a reading that rewrites it repaints the cell
    // alone, not the group box, tab page and window beneath it (in the
    // all-channels loop, twice a pass for each of 400 cells).
    box->setAutoFillBackground(true);
    box->setTextMargins(-LineEditTextMargin, 0, -LineEditTextMargin, 0);
    if (box->font() != cells.font)
        box->setFont(cells.font);
    box->resize(cells.boxWidth, box->height());
    label->resize(cells.labelWidth, label->height());
}
} // namespace

void MainWindow::setCellText(int channel, int index, const QString& text)
{
    QLineEdit* box = txtValue[size_t(channel - 1)][index];
    // Laying out and painting a cell's text is most of what a reading costs the
    // window: a loop that reads the same value again changes nothing.
    if (box->text() == text)
        return;
    box->setText(text);
    // A text wider than a narrowed box loses its end, never its sign and first digits.
    box->setCursorPosition(0);
    showCellToolTip(channel, index);
}

void MainWindow::showCellToolTip(int channel, int index)
{
    QLabel* label = lblValue[size_t(channel - 1)][index];
    QLineEdit* cell = txtValue[size_t(channel - 1)][index];
    const QString text = cell->text();
    const QString note = cell->property(CellNote).toString();
    // Built in one go (QStringBuilder): twice a pass for each of the 400 cells.
    const QString tip = FrameShow[size_t(channel - 1)]->title() % QLatin1Char(' ') % label->text() %
                        QLatin1String(": ") %
                        (text.isEmpty() ? (note.isEmpty() ? QStringLiteral("未读取") : note)
                                        : (note.isEmpty() ? text : text % QStringLiteral("，") % note));
    cell->setToolTip(tip);
    // Where the columns are narrowest the label is all of a cell that shows.
    label->setToolTip(tip);
}

void MainWindow::setCellNote(int channel, int index, const QString& note)
{
    QLineEdit* cell = txtValue[size_t(channel - 1)][index];
    if (cell->property(CellNote).toString() == note)
        return;
    cell->setProperty(CellNote, note);
    showCellToolTip(channel, index);
}

void MainWindow::noteGroupFailure(int channel, const QString& reason)
{
    if (channel < 1 || channel > ValueGroupCount)
        return;
    const QString note = QStringLiteral("%1（%2）").arg(reason, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    const QVector<QLineEdit*>& cells = valueCells(channel);
    for (int k = 0; k < m_sensorsPerChannel && k < cells.size(); ++k)
        if (cells[k]->text().isEmpty())
            setCellNote(channel, k, note);
}

void MainWindow::markValuesStale()
{
    if (m_valueCellsPending)
        return; // no cell was ever written
    for (int g = 1; g <= ValueGroupCount; ++g) {
        const QVector<QLineEdit*>& cells = txtValue[size_t(g - 1)];
        for (int k = 0; k < cells.size(); ++k) {
            QLineEdit* cell = cells[k];
            const QTime readAt = cell->property(CellReadAt).toTime();
            if (!readAt.isValid() || cell->text().isEmpty() || cell->palette().color(QPalette::Text) != Qt::black)
                continue;
            setCellColour(cell, StaleColour);
            setCellNote(g, k, QStringLiteral("读于 %1，之后连接断开").arg(readAt.toString(QStringLiteral("HH:mm:ss"))));
        }
    }
}

void MainWindow::ensureValueCells()
{
    if (!m_valueCellsPending)
        return;
    m_valueCellsPending = false;
    const form::Zoom::AtBase atBase(*m_zoom);
    using form::twipsToPixels;
    const int count = int(m_gridLayout.elements.size());
    std::map<int, std::optional<QFont>> fonts;
    // Every group gets its cells, shown or not, so a reading never lacks one.
    for (int g = 1; g <= ValueGroupCount; ++g) {
        QVector<QLineEdit*>& boxes = txtValue[size_t(g - 1)];
        QVector<QLabel*>& labels = lblValue[size_t(g - 1)];
        QLineEdit* box0 = boxes[0];
        QLabel* label0 = labels[0];
        QWidget* parentGroup = box0->parentWidget();
        std::vector<std::optional<NarrowCells>> narrow;
        for (int column = 0; column < m_gridLayout.columns; ++column)
            narrow.push_back(narrowCells(m_gridLayout, column, box0, label0, fonts));

        boxes.reserve(count);
        labels.reserve(count);
        const auto narrowedAt = [&](int i) -> const std::optional<NarrowCells>& {
            return narrow[size_t(i / acquisition::kRowsPerColumn)];
        };
        if (narrowedAt(0))
            applyNarrowCells(box0, label0, *narrowedAt(0));
        showCellToolTip(g, 0);
        for (int i = 1; i < count; ++i) {
            const acquisition::GridElement e = m_gridLayout.element(g, i);
            const std::optional<NarrowCells>& narrowed = narrowedAt(i);
            auto* box = new QLineEdit(parentGroup);
            box->setObjectName(QStringLiteral("txtValue%1_%2").arg(g).arg(i));
            box->setFont(narrowed ? narrowed->font : box0->font());
            box->setPalette(box0->palette());
            box->setAlignment(box0->alignment());
            box->setText(box0->text());
            box->setGeometry(twipsToPixels(e.boxLeft), twipsToPixels(e.boxTop), box0->width(),
                             box0->height());
            boxes.append(box);

            auto* label = new QLabel(e.caption, parentGroup);
            label->setObjectName(QStringLiteral("lblValue%1_%2").arg(g).arg(i));
            label->setFont(label0->font());
            label->setAlignment(label0->alignment());
            label->setGeometry(twipsToPixels(e.labelLeft), twipsToPixels(e.labelTop), label0->width(),
                               label0->height());
            label->setBuddy(box);
            labels.append(label);

            // Sized before they are shown: resizing a shown widget repaints it.
            if (narrowed)
                applyNarrowCells(box, label, *narrowed);
            showCellToolTip(g, i);
            box->show();
            label->show();
        }
    }
}
