// Reading temperatures: one channel or all channels, once or in a loop, and
// the value grid they fill.

#include "frmMain.h"

#include "dialogs.h"

#include "acquisition/all_channels_pass.h"
#include "acquisition/grid_geometry.h"
#include "acquisition/read_timing.h"
#include "acquisition/value_cell_sizing.h"
#include "protocol/hex_text.h"
#include "protocol/temperature.h"

#include <QFontInfo>
#include <QTextLayout>
#include <QTimer>
#include <map>

namespace {
void setCellColour(QLineEdit* cell, const QColor& colour)
{
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Text, colour);
    cell->setPalette(palette);
}
} // namespace

void frmMain::ClearGroup(int channel)
{
    if (channel < 1 || channel > ValueGroupCount)
        return;
    const QVector<QLineEdit*>& cells = valueCells(channel);
    for (int k = 0; k < SensorsPerChannel && k < cells.size(); ++k) {
        setCellColour(cells[k], Qt::red);
        SetCellText(channel, k, QString());
    }
}

std::optional<acquisition::TemperatureRequestFields>
frmMain::ReadRequestBoxes(protocol::Rounding rounding, bool withChannel, IntervalTimer* loopToStop)
{
    const acquisition::FieldsResult result =
        withChannel
            ? acquisition::readRequestFields(txtStationID->text(), txtFunID->text(), txtStartID->text(),
                                             txtDataLength->text(), txtChannel->text(), rounding)
            : acquisition::readPassFields(txtStationID->text(), txtFunID->text(), txtStartID->text(),
                                          txtDataLength->text(), rounding);
    if (!result.fields) {
        if (loopToStop)
            loopToStop->setEnabled(false);
        // One box about the same boxes is enough, whichever handler comes next.
        if (!m_fieldMessageOpen) {
            m_fieldMessageOpen = true;
            dialogs::MsgBox(this, result.message, QString(), dialogs::Icon::Warning);
            m_fieldMessageOpen = false;
        }
    }
    return result.fields;
}

void frmMain::DoData(const QByteArray& reply, int channel, int positions)
{
    if (reply.isEmpty() || reply.size() - 1 < 5)
        return;
    txtState->setPlainText(protocol::replyDump(reply));
    if (channel < 1 || channel > ValueGroupCount)
        return;
    const QVector<QString> texts = protocol::decodeTemperatures(reply, positions);
    const QVector<QLineEdit*>& cells = valueCells(channel);
    for (int k = 0; k < texts.size() && k < cells.size(); ++k) {
        SetCellText(channel, k, texts[k]);
        setCellColour(cells[k], Qt::black);
    }
}

bool frmMain::ShowTemperatureOutcome(int channel, const acquisition::TemperatureReplyOutcome& outcome)
{
    switch (outcome.kind) {
    case acquisition::TemperatureReplyOutcome::Nothing:
        break;
    case acquisition::TemperatureReplyOutcome::Decode:
        DoData(outcome.bytes, channel, SensorsPerChannel);
        break;
    case acquisition::TemperatureReplyOutcome::Flag:
        // Bytes that hold no valid reply are shown with what is wrong, and never decoded.
        ShowUnusableReply(outcome.bytes, outcome.note);
        return false;
    }
    return true;
}

bool frmMain::temperatureReply(const requests::Reply& reply)
{
    // Read with the request it answers, whatever the boxes hold now. The receive
    // event took the reply's full length: bytes that are not one whole reply
    // cannot be checked and are not decoded.
    const acquisition::TemperatureReplyOutcome outcome =
        acquisition::judgeTemperatureReply(reply.bytes, reply.request, false);
    const bool shown = ShowTemperatureOutcome(reply.request.context.channel, outcome);
    const site::ChannelRecords records = RecordsOf(outcome, reply.request);
    WatchTemperatureReply(outcome, reply.request, records);
    RecordReadings(records.readings); // a single reading is a batch of its own
    return shown;
}

void frmMain::ReadModule(const acquisition::TemperatureRequestFields& fields)
{
    txtState->clear();
    txtCommand->clear();
    if (!MSComm1->PortOpen() || readingBusy())
        return;
    const requests::Request request = acquisition::temperatureReadRequest(fields, fields.channel, true);
    if (!SendRequest(request, ImgYellow))
        return;
    // Wait for the reply, but no longer than the line needs for it.
    m_requests->waitForReply(acquisition::temperatureReadWaitMs(fields.count, MSComm1->baudRate()));
    if (MSComm1->PortOpen())
        m_requests->discardInput(); // bytes still arriving belong to nobody now
    if (m_passQueued) {
        m_passQueued = false;
        QTimer::singleShot(0, this, &frmMain::cmdOnceDo1_Click);
    }
}

void frmMain::comDoOnce_Click()
{
    Timer7->setEnabled(false);
    if (readingBusy())
        return;
    const std::optional<acquisition::TemperatureRequestFields> fields =
        ReadRequestBoxes(protocol::Rounding::CutOff, true);
    if (!fields)
        return;
    ClearGroup(fields->channel);
    ReadModule(*fields);
}

void frmMain::cmdOneM_Click()
{
    const std::optional<int> interval = acquisition::loopInterval(txtTimerSet[0]->text());
    if (!interval) {
        dialogs::MsgBox(this, acquisition::loopIntervalMessage(), QString(), dialogs::Icon::Warning);
        return;
    }
    lblCounter->setText(QStringLiteral("1"));
    Timer7->setEnabled(false);
    Timer2->setInterval(*interval);
    Timer2->setEnabled(true);
}

void frmMain::cmdStopOnce_Click()
{
    Timer2->setEnabled(false);
}

void frmMain::Timer2_Timer()
{
    if (readingBusy())
        return; // the previous reading is still waiting for its reply
    const std::optional<acquisition::TemperatureRequestFields> fields =
        ReadRequestBoxes(protocol::Rounding::CutOff, true, Timer2); // one message, not one per tick
    if (!fields)
        return;
    lblCounter->setText(acquisition::wrappedCounterText(lblCounter->text()));
    if (!PortIsOpen)
        return;
    lblCounter->setText(acquisition::nextCounterText(lblCounter->text()));
    ReadModule(*fields);
}

void frmMain::cmdOnceDo1_Click()
{
    Timer2->setEnabled(false);
    if (m_passBusy)
        return; // a pass is already on the line
    if (readingBusy()) {
        m_passQueued = true; // runs as soon as the single reading's wait ends
        return;
    }
    txtCommand->clear();
    txtState->clear();
    if (!MSComm1->PortOpen())
        return;
    // The pass writes each channel number into the channel box; it never reads it.
    const std::optional<acquisition::TemperatureRequestFields> fields =
        ReadRequestBoxes(protocol::Rounding::HalfToEven, false, Timer7);
    if (!fields)
        return;

    m_passBusy = true;
    // The pass's readings go to the history as one batch when it ends or stops.
    QVector<history::Reading> passReadings;
    requests::Request lastRequest;
    acquisition::PassHooks hooks;
    hooks.channelStarting = [this](int channel) {
        txtChannel->setText(QString::number(channel));
        txtCommand->clear();
        ClearGroup(channel);
        ImgYellow->raise();
    };
    hooks.requestSent = [this, &lastRequest](const requests::Request& request) {
        lastRequest = request;
        ShowSent(request, ImgYellow);
    };
    hooks.channelAnswered = [this, &lastRequest, &passReadings](
                                int channel, const acquisition::TemperatureReplyOutcome& outcome) {
        ShowTemperatureOutcome(channel, outcome);
        const site::ChannelRecords records = RecordsOf(outcome, lastRequest);
        WatchTemperatureReply(outcome, lastRequest, records);
        passReadings += records.readings;
    };
    acquisition::runAllChannelsPass(*m_requests, *fields, ChannelCount, hooks);
    m_passBusy = false;
    RecordReadings(passReadings);
}

void frmMain::CmdReadDataCircle_Click()
{
    const std::optional<int> interval = acquisition::loopInterval(txtTimerSet[1]->text());
    if (!interval) {
        dialogs::MsgBox(this, acquisition::loopIntervalMessage(), QString(), dialogs::Icon::Warning);
        return;
    }
    Timer2->setEnabled(false);
    Timer7->setInterval(*interval);
    Timer7->setEnabled(true);
}

void frmMain::cmdStopCircle_Click()
{
    Timer7->setInterval(0);
}

void frmMain::Timer7_Timer()
{
    cmdOnceDo1_Click();
}

void frmMain::ArrangeValueGrid()
{
    for (QGroupBox* group : FrameShow)
        group->hide();
    m_gridLayout = acquisition::arrangeValueGrid(ChannelCount, SensorsPerChannel);
    ChannelCount = m_gridLayout.channelCount;
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
        EnsureValueCells();
}

const QVector<QLineEdit*>& frmMain::valueCells(int channel)
{
    EnsureValueCells();
    return txtValue[size_t(channel - 1)];
}

namespace {
// A line edit keeps this many pixels between its frame and its text on either
// side; a narrowed box gives them to the text.
constexpr int LineEditTextMargin = 2;
// It also keeps one pixel after the text for the cursor.
constexpr int LineEditCursorWidth = 1;

QFont valueFont(const QFont& designed, const acquisition::ValueFont& font)
{
    QFont changed = designed;
    changed.setPixelSize(font.pixelSize);
    if (font.stretch != 100)
        changed.setStretch(font.stretch);
    return changed;
}

// The widest reading's width in `font`, laid out as a line edit lays out its text.
int readingWidth(const QFont& font)
{
    QTextLayout layout(acquisition::widestReading(), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return qRound(line.naturalTextWidth());
}

// Pixels from `left` to `left + width` (twips), each edge rounded as every
// control's is, so that cells cut to meet their neighbours never overlap them.
int pixelSpan(float left, float width)
{
    return form::twipsToPixels(left + width) - form::twipsToPixels(left);
}

// The cells of one column of a group where the designed sizes do not fit.
struct NarrowCells
{
    int boxWidth = 0;   // pixels
    int labelWidth = 0; // pixels
    QFont font;
};

// Sizes the cells of `column` like the designed `box` and `label` (element 0 of
// their group), or nothing where the designed sizes fit or no legible font fits
// the room: there the cells stay as designed and their tool tips carry the value.
// `fonts` keeps the font found for each box width (every group's boxes share one designed font).
std::optional<NarrowCells> narrowCells(const acquisition::GridLayout& layout, int column,
                                       const QLineEdit* box, const QLabel* label,
                                       std::map<int, std::optional<QFont>>& fonts)
{
    constexpr int twips = form::TwipsPerPixel;
    const QWidget* group = box->parentWidget();
    const acquisition::ColumnWidths widths =
        acquisition::columnWidths(layout, column, float(box->width() * twips), float(label->width() * twips),
                                  float(group->contentsMargins().right() * twips));
    if (widths.designed)
        return std::nullopt;
    const acquisition::GridElement& first =
        layout.elements[std::size_t(column * acquisition::kRowsPerColumn)];
    NarrowCells cells;
    cells.boxWidth = pixelSpan(first.boxLeft, widths.box);
    cells.labelWidth = pixelSpan(first.labelLeft, widths.label);
    auto known = fonts.find(cells.boxWidth);
    if (known == fonts.end()) {
        const QFont designed = box->font();
        const std::optional<acquisition::ValueFont> font = acquisition::fitValueFont(
            QFontInfo(designed).pixelSize(), cells.boxWidth - LineEditCursorWidth,
            [&](const acquisition::ValueFont& f) { return readingWidth(valueFont(designed, f)); });
        known = fonts
                    .emplace(cells.boxWidth,
                             font ? std::optional<QFont>(valueFont(designed, *font)) : std::nullopt)
                    .first;
    }
    if (!known->second)
        return std::nullopt;
    cells.font = *known->second;
    return cells;
}

void applyNarrowCells(QLineEdit* box, QLabel* label, const NarrowCells& cells)
{
    // Without its frame and margins the whole width shows the text.
    box->setFrame(false);
    box->setTextMargins(-LineEditTextMargin, 0, -LineEditTextMargin, 0);
    if (box->font() != cells.font)
        box->setFont(cells.font);
    box->resize(cells.boxWidth, box->height());
    label->resize(cells.labelWidth, label->height());
}
} // namespace

void frmMain::SetCellText(int channel, int index, const QString& text)
{
    QLineEdit* box = txtValue[size_t(channel - 1)][index];
    box->setText(text);
    // A text wider than a narrowed box loses its end, never its sign and first digits.
    box->setCursorPosition(0);
    ShowCellToolTip(channel, index);
}

void frmMain::ShowCellToolTip(int channel, int index)
{
    QLabel* label = lblValue[size_t(channel - 1)][index];
    const QString text = txtValue[size_t(channel - 1)][index]->text();
    const QString tip = FrameShow[size_t(channel - 1)]->title() + QLatin1Char(' ') + label->text() +
                        QLatin1String(": ") + (text.isEmpty() ? QStringLiteral("无数值") : text);
    txtValue[size_t(channel - 1)][index]->setToolTip(tip);
    // Where the columns are narrowest the label is all of a cell that shows.
    label->setToolTip(tip);
}

void frmMain::EnsureValueCells()
{
    if (!m_valueCellsPending)
        return;
    m_valueCellsPending = false;
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
        ShowCellToolTip(g, 0);
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
            ShowCellToolTip(g, i);
            box->show();
            label->show();
        }
    }
}
