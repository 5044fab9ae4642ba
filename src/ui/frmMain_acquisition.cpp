// Reading temperatures: one channel or all channels, once or in a loop, and
// the value grid they fill.

#include "frmMain.h"

#include "dialogs.h"

#include "acquisition/grid_geometry.h"
#include "acquisition/read_timing.h"
#include "acquisition/request_fields.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/module1.h"
#include "protocol/temperature.h"

#include <QElapsedTimer>

namespace {
const QString WaitingText = QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");
const QString CrcErrorSuffix = QStringLiteral(" CRC校验错误");

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
        cells[k]->clear();
    }
}

bool frmMain::StoreRequestBoxes(protocol::Rounding rounding, IntervalTimer* loopToStop)
{
    const acquisition::FieldsResult result =
        acquisition::readRequestFields(txtStationID->text(), txtFunID->text(), txtStartID->text(),
                                       txtDataLength->text(), txtChannel->text(), rounding);
    if (!result.fields) {
        if (loopToStop)
            loopToStop->setEnabled(false);
        // One box about the same boxes is enough, whichever handler comes next.
        if (!m_fieldMessageOpen) {
            m_fieldMessageOpen = true;
            dialogs::MsgBox(this, result.message, QString(), dialogs::Icon::Warning);
            m_fieldMessageOpen = false;
        }
        return false;
    }
    ReadStation = result.fields->station;
    ReadFunction = result.fields->function;
    ReadStart = result.fields->start;
    ReadCount = result.fields->count;
    ReadChannel = result.fields->channel;
    return true;
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
        cells[k]->setText(texts[k]);
        setCellColour(cells[k], Qt::black);
    }
}

// Bytes that hold no valid reply are shown with what is wrong, flagged and never decoded.
static void flagBadReply(frmMain* window, const QByteArray& bytes, const QString& note)
{
    window->txtState->setPlainText(protocol::replyDump(bytes) + note);
    window->imgNotConnected->raise();
}

bool frmMain::temperatureReply(const QByteArray& reply)
{
    // The reply belongs to the request that was sent, whatever the boxes hold now.
    const int expected = protocol::temperatureReplyLength(Pending.count);
    if (reply.size() >= expected && !protocol::hasValidCrc(reply.left(expected))) {
        flagBadReply(this, reply, CrcErrorSuffix);
        return false;
    }
    DoData(reply, Pending.channel, SensorsPerChannel);
    return true;
}

void frmMain::ReadModule(quint8 station, quint8 function, quint8 start, quint8 count, quint8 channel)
{
    CommandText.clear();
    txtState->clear();
    txtCommand->clear();
    if (!MSComm1->PortOpen() || readingBusy())
        return;
    ImgYellow->raise();
    PreparePort();
    const QByteArray frame = protocol::temperatureRequest(station, function, channel, start, count);
    ReplyLength = protocol::temperatureReplyLength(count);
    MSComm1->setRThreshold(ReplyLength);
    m_requestThreshold = ReplyLength;
    CommandMode = protocol::ModeTemperature;
    Pending = PendingRequest{protocol::ModeTemperature, station, channel, count, start, channel};
    MSComm1->Output(frame);
    ShowWaiting();
    CommandText = protocol::requestEcho(frame);
    txtCommand->setText(CommandText);
    NoteRequestSent();

    // Wait for the reply, but no longer than the line needs for it.
    m_readBusy = true;
    m_replyHandledFlag = false;
    Module1::WaitUntil(acquisition::temperatureReadWaitMs(count, MSComm1->baudRate()), this,
                       SIGNAL(replyHandled()), [this] { return m_replyHandledFlag; });
    m_readBusy = false;
    if (MSComm1->PortOpen()) {
        MSComm1->setInputLen(0);
        MSComm1->Input(); // bytes still arriving belong to nobody now
    }
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
    if (!StoreRequestBoxes(protocol::Rounding::CutOff))
        return;
    ClearGroup(ReadChannel);
    ReadModule(ReadStation, ReadFunction, ReadStart, ReadCount, ReadChannel);
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
    if (!StoreRequestBoxes(protocol::Rounding::CutOff, Timer2)) // one message, not one per tick
        return;
    lblCounter->setText(acquisition::wrappedCounterText(lblCounter->text()));
    if (!PortIsOpen)
        return;
    lblCounter->setText(acquisition::nextCounterText(lblCounter->text()));
    ReadModule(ReadStation, ReadFunction, ReadStart, ReadCount, ReadChannel);
}

void frmMain::cmdOnceDo1_Click()
{
    Timer2->setEnabled(false);
    if (m_passBusy)
        return; // a pass is already on the line
    if (m_readBusy) {
        m_passQueued = true; // runs as soon as the single reading's wait ends
        return;
    }
    CommandText.clear();
    txtCommand->clear();
    txtState->clear();
    if (!MSComm1->PortOpen())
        return;
    if (!StoreRequestBoxes(protocol::Rounding::HalfToEven, Timer7))
        return;
    const quint8 station = ReadStation, function = ReadFunction, start = ReadStart, count = ReadCount;
    PreparePort();

    m_passBusy = true;
    bool previousCutShort = false; // the last channel's bytes were not a whole reply: more may follow
    for (int c = 1; c <= ChannelCount && MSComm1->PortOpen(); ++c) {
        ReadChannel = quint8(c);
        txtChannel->setText(QString::number(c));
        CommandText.clear();
        ClearGroup(c);
        ImgYellow->raise();

        const int baud = MSComm1->baudRate();
        const int deadline = acquisition::passChannelDeadlineMs(count, baud);
        // Let a reply still arriving for the previous channel finish, then drop
        // it, so it is neither decoded here nor collides with this request.
        QElapsedTimer waited;
        waited.start();
        while (acquisition::quietWaitState(MSComm1->msSinceLastByte() * 1000, waited.nsecsElapsed() / 1000,
                                           count, baud, previousCutShort) == acquisition::QuietWait::Waiting)
            Module1::WaitMilliseconds(1);
        MSComm1->setInBufferCount(0);

        const QByteArray frame = protocol::temperatureRequest(station, function, quint8(c), start, count);
        ReplyLength = protocol::temperatureReplyLength(count);
        MSComm1->Output(frame);
        ShowWaiting();
        CommandText = protocol::requestEcho(frame);
        txtCommand->setText(CommandText);
        NoteRequestSent();

        // Done as soon as a whole reply with a valid CRC (or the module's refusal) is
        // in; bytes before it are skipped.
        const auto locate = [&](const QByteArray& bytes) {
            return protocol::locateTemperatureReply(bytes, station, function, count);
        };
        Module1::WaitUntil(deadline, MSComm1, SIGNAL(bytesArrived()), [&] {
            const protocol::LocatedReply::Kind kind = locate(MSComm1->peekInput()).kind;
            return kind == protocol::LocatedReply::Complete || kind == protocol::LocatedReply::Refused;
        });
        MSComm1->setInputLen(0);
        const QByteArray received = MSComm1->Input();
        const protocol::LocatedReply located = locate(received);
        previousCutShort = located.kind == protocol::LocatedReply::CutShort ||
                           located.kind == protocol::LocatedReply::Invalid;
        if (located.kind != protocol::LocatedReply::Nothing)
            NoteReplyArrived();
        if (located.kind == protocol::LocatedReply::Invalid) {
            flagBadReply(this, received, CrcErrorSuffix); // noise, or a reply whose CRC fails
            continue;
        }
        if (located.kind == protocol::LocatedReply::Refused) {
            flagBadReply(this, located.bytes, protocol::refusedReplyNote(quint8(located.bytes.at(2))));
            continue;
        }
        // A reply cut short by the deadline cannot be checked: decoded as far as it goes.
        DoData(located.bytes, c, SensorsPerChannel);
    }
    m_passBusy = false;
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

void frmMain::EnsureValueCells()
{
    if (!m_valueCellsPending)
        return;
    m_valueCellsPending = false;
    using form::twipsToPixels;
    // Every group gets its cells, shown or not, so a reading never lacks one.
    for (int g = 1; g <= ValueGroupCount; ++g) {
        QVector<QLineEdit*>& boxes = txtValue[size_t(g - 1)];
        QVector<QLabel*>& labels = lblValue[size_t(g - 1)];
        QLineEdit* box0 = boxes[0];
        QLabel* label0 = labels[0];
        QWidget* parentGroup = box0->parentWidget();
        const int count = int(m_gridLayout.elements.size());
        boxes.reserve(count);
        labels.reserve(count);
        for (int i = 1; i < count; ++i) {
            const acquisition::GridElement e = m_gridLayout.element(g, i);
            auto* box = new QLineEdit(parentGroup);
            box->setObjectName(QStringLiteral("txtValue%1_%2").arg(g).arg(i));
            box->setFont(box0->font());
            box->setPalette(box0->palette());
            box->setAlignment(box0->alignment());
            box->setText(box0->text());
            box->setGeometry(twipsToPixels(e.boxLeft), twipsToPixels(e.boxTop), box0->width(),
                             box0->height());
            box->show();
            boxes.append(box);

            auto* label = new QLabel(e.caption, parentGroup);
            label->setObjectName(QStringLiteral("lblValue%1_%2").arg(g).arg(i));
            label->setFont(label0->font());
            label->setAlignment(label0->alignment());
            label->setGeometry(twipsToPixels(e.labelLeft), twipsToPixels(e.labelTop), label0->width(),
                               label0->height());
            label->setBuddy(box);
            label->show();
            labels.append(label);
        }
    }
}
