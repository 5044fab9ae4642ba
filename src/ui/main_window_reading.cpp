// Reading temperatures: one channel or all channels, once or in a loop. The
// reading controller owns the requests and their waits; these handlers read the
// boxes, pace the loops and show what comes back.

#include "main_window.h"

#include "alarms_panel.h"
#include "bins_tab.h"

#include "dialogs.h"

#include "acquisition/read_timing.h"
#include "protocol/frames.h"
#include "protocol/reply_notes.h"
#include "traffic/verdict.h"

#include <QDateTime>
#include <QTime>

namespace {
// While a pass outlasts the all-channels loop's interval, the loop's timer rests
// and the pass's end wakes it (allChannelsLoopTick). Stopping or starting the
// loop with its buttons ends such a rest: what they set holds from now.
void forgetRestingLoop(acquisition::ReadingController* reading, IntervalTimer* loop)
{
    QObject::disconnect(reading, &acquisition::ReadingController::passFinished, loop, nullptr);
}
} // namespace

std::optional<acquisition::TemperatureRequestFields>
MainWindow::readRequestBoxes(protocol::Rounding rounding, bool withChannel, IntervalTimer* loopToStop)
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

void MainWindow::showReadingRefused(acquisition::ReadingController::Refusal refusal)
{
    using Refusal = acquisition::ReadingController::Refusal;
    if (refusal == Refusal::QueueFull)
        showNotSubmitted({}, requests::RequestCore::Submitted::QueueFull);
    else if (refusal == Refusal::PortClosed)
        showPortNotOpen();
    // A reading that waits already makes this one needless.
}

void MainWindow::onPassChannelStarting(int channel)
{
    if (channel == 1)
        m_passSummary = PassSummary{};
    txtChannel->setText(QString::number(channel));
    txtCommand->clear();
    clearGroup(channel);
    ImgYellow->raise();
}

void MainWindow::onTemperatureAnswered(const requests::Exchange& exchange, bool inPass)
{
    const protocol::JudgedReply& reply = exchange.reply;
    const int channel = exchange.request.context.channel;
    // Read with the request it answers, whatever the boxes hold now.
    if (reply.status == protocol::ReplyStatus::Usable || reply.status == protocol::ReplyStatus::CutShort)
        showTemperatures(reply.bytes, channel, m_sensorsPerChannel);
    const site::ChannelRecords records =
        m_outlet->take(exchange, m_sensorsPerChannel, inPass, QDateTime::currentMSecsSinceEpoch());
    watchReadings(channel, records.readings);
    m_binsTab->take(records.readings);
    // A group left empty says why, in its cells' tool tips; the pass keeps count.
    const QString failure = failureReason(reply);
    if (!failure.isEmpty())
        noteGroupFailure(channel, failure);
    // A pass's channel without a reading counts towards its station's silence.
    if (inPass && records.readings.isEmpty())
        alarmsPanel()->channelUnanswered(exchange.request.context.station,
                                         QDateTime::currentMSecsSinceEpoch());
    if (inPass) {
        ++m_passSummary.asked;
        if (failure.isEmpty())
            ++m_passSummary.read;
        else
            m_passSummary.failures << QStringLiteral("通道%1 %2").arg(channel).arg(failure);
    }
}

QString MainWindow::failureReason(const protocol::JudgedReply& reply)
{
    switch (reply.status) {
    case protocol::ReplyStatus::Usable:
        return {};
    case protocol::ReplyStatus::NoReply:
        return traffic::verdictText(traffic::Verdict::NoReply);
    case protocol::ReplyStatus::CutShort:
        return traffic::verdictText(traffic::Verdict::CutShort);
    case protocol::ReplyStatus::CrcError:
    case protocol::ReplyStatus::Mismatch:
    case protocol::ReplyStatus::Exception:
        break;
    }
    return protocol::replyNote(reply).trimmed();
}

void MainWindow::showPassSummary()
{
    QString summary = QStringLiteral("上次10通道读取（%1）：%2个通道中%3个读到")
                          .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")))
                          .arg(m_passSummary.asked)
                          .arg(m_passSummary.read);
    if (!m_passSummary.failures.isEmpty())
        summary += QStringLiteral("；") + m_passSummary.failures.join(QStringLiteral("，"));
    // Each lamp keeps what its colour means, with the last pass below it.
    for (QLabel* lamp : {imgConnected, ImgYellow, imgNotConnected}) {
        const QString meaning = lamp->toolTip().section(QLatin1Char('\n'), 0, 0);
        lamp->setToolTip(meaning + QLatin1Char('\n') + summary);
    }
}

void MainWindow::readChannelOnce()
{
    Timer7->setEnabled(false);
    if (readingBusy())
        return;
    const std::optional<acquisition::TemperatureRequestFields> fields =
        readRequestBoxes(protocol::Rounding::CutOff, true);
    if (!fields)
        return;
    clearGroup(fields->channel);
    txtState->clear();
    txtCommand->clear();
    showReadingRefused(m_reading->readOnce(*fields));
}

void MainWindow::startChannelLoop()
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

void MainWindow::stopChannelLoop()
{
    Timer2->setEnabled(false);
}

void MainWindow::channelLoopTick()
{
    if (readingBusy())
        return; // the previous reading is still waiting for its reply
    const std::optional<acquisition::TemperatureRequestFields> fields =
        readRequestBoxes(protocol::Rounding::CutOff, true, Timer2); // one message, not one per tick
    if (!fields)
        return;
    lblCounter->setText(acquisition::wrappedCounterText(lblCounter->text()));
    if (!m_portIsOpen) {
        showPortNotOpen();
        return;
    }
    lblCounter->setText(acquisition::nextCounterText(lblCounter->text()));
    txtState->clear();
    txtCommand->clear();
    showReadingRefused(m_reading->readOnce(*fields));
}

void MainWindow::readAllChannelsOnce()
{
    Timer2->setEnabled(false);
    if (m_reading->passRunning())
        return; // a pass is already on the line
    txtCommand->clear();
    txtState->clear();
    if (!MSComm1->PortOpen()) {
        showPortNotOpen();
        return;
    }
    // The pass writes each channel number into the channel box; it never reads it.
    const std::optional<acquisition::TemperatureRequestFields> fields =
        readRequestBoxes(protocol::Rounding::HalfToEven, false, Timer7);
    if (!fields)
        return;
    // Asked for during a single reading, it follows that reading on the line.
    showReadingRefused(m_reading->startPass(*fields, m_channelCount));
}

void MainWindow::startAllChannelsLoop()
{
    const std::optional<int> interval = acquisition::loopInterval(txtTimerSet[1]->text());
    if (!interval) {
        dialogs::MsgBox(this, acquisition::loopIntervalMessage(), QString(), dialogs::Icon::Warning);
        return;
    }
    Timer2->setEnabled(false);
    forgetRestingLoop(m_reading, Timer7); // the new interval counts from now
    Timer7->setInterval(*interval);
    Timer7->setEnabled(true);
}

void MainWindow::stopAllChannelsLoop()
{
    // Further passes stop; the one on the line reads its remaining channels.
    forgetRestingLoop(m_reading, Timer7);
    Timer7->setInterval(0);
}

void MainWindow::allChannelsLoopTick()
{
    if (!m_reading->passRunning()) {
        readAllChannelsOnce();
        return;
    }
    // The pass outlasts the loop's interval. Rather than wake every interval
    // (every millisecond, back to back) only to find it busy, the loop's timer
    // rests until the pass ends; then the next pass is overdue and starts at
    // once, and the interval counts from it. A loop stopped meanwhile by a
    // single reading or a lost line stays stopped.
    const int interval = Timer7->Interval();
    Timer7->setInterval(0);
    connect(
        m_reading, &acquisition::ReadingController::passFinished, Timer7,
        [this, interval] {
            Timer7->setInterval(interval);
            if (Timer7->isTicking())
                readAllChannelsOnce();
        },
        Qt::SingleShotConnection);
}
