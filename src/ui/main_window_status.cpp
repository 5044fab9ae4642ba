// What the window shows of the line: the echo of each request, the lamps and
// the status text; the reply dump and what is wrong with a reply that must not
// be used; the no-reply warning, a lost line, a refused write, a full queue;
// and the start that the commands to the module share. The exchange itself is
// the request core's.

#include "main_window.h"

#include "dialogs.h"

#include "port/port_messages.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/reply_notes.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include <cmath>

namespace {
// The seconds after which a request counts as overdue: "3", or "4.5" when not whole.
QString overdueSeconds(int ms)
{
    return ms % 1000 == 0 ? QString::number(ms / 1000) : QString::number(ms / 1000.0, 'f', 1);
}
QString waitingText(int overdueMs)
{
    return QStringLiteral("等待响应中...(如果%1秒内未响应，请检查命令或硬件！)").arg(overdueSeconds(overdueMs));
}
QString overdueText(int overdueMs)
{
    return QStringLiteral("%1秒内未收到响应").arg(overdueSeconds(overdueMs));
}
const QString BadChannelText = QStringLiteral("请指定正确的模块及通道编号");

QString queueFullText(int bound)
{
    return QStringLiteral("等待发送的命令已达 %1 条，本条命令未发送，请稍后再试").arg(bound);
}

bool isTemperatureRead(const requests::Request& request)
{
    return request.context.kind == protocol::ModeTemperature;
}

// The pass takes its replies itself; its lamp stays yellow until it ends.
bool isPassRead(const requests::Request& request)
{
    return isTemperatureRead(request) && request.threshold == 0;
}

// The status box shows `text` from its first line. QPlainTextEdit::setPlainText
// also selects the whole text to format it and keeps its cursor in view, each
// of which lays the text out once more: replaced through the document it costs
// about a third less (twice a channel in the all-channels loop). The box is
// read-only, so its cursor shows nowhere.
void showStatusText(QPlainTextEdit* box, const QString& text)
{
    box->document()->setPlainText(text);
    box->verticalScrollBar()->setValue(0);
}
} // namespace

void MainWindow::showUnusableReply(const QByteArray& bytes, const QString& note)
{
    showStatusText(txtState, protocol::replyDump(bytes) + note);
    imgNotConnected->raise();
}

void MainWindow::showSent(const requests::Request& request)
{
    (isTemperatureRead(request) ? ImgYellow : imgConnected)->raise();
    showWaiting();
    txtCommand->setText(protocol::requestEcho(request.frame, request.echoLastIndex));
}

void MainWindow::showWaiting()
{
    const int overdueMs = m_requests->overdueAfterMs();
    showStatusText(txtState, waitingText(overdueMs));
    if (m_requests->isOverdue()) {
        txtState->appendPlainText(overdueText(overdueMs));
        imgNotConnected->raise();
    }
}

void MainWindow::showExchangeEnded(const requests::Exchange& exchange)
{
    using Ending = requests::Exchange::Ending;
    using protocol::ReplyStatus;
    if (exchange.ending == Ending::NotWritten) {
        showStatusText(txtState, port::writeFailedText(exchange.writeError));
        imgNotConnected->raise();
        return;
    }
    if (exchange.ending == Ending::Cancelled)
        return; // the port closed: that says enough
    const protocol::JudgedReply& reply = exchange.reply;
    switch (reply.status) {
    case ReplyStatus::NoReply:
        return; // the waiting text stays (the watchdog adds its line)
    case ReplyStatus::CrcError:
    case ReplyStatus::Mismatch:
    case ReplyStatus::Exception:
        showUnusableReply(reply.bytes, protocol::replyNote(reply));
        return;
    case ReplyStatus::CutShort:
        // Decoded as far as it goes; fewer than 6 bytes hold no value and leave the waiting text.
        if (reply.bytes.size() >= 6)
            showStatusText(txtState, protocol::replyDump(reply.bytes));
        return;
    case ReplyStatus::Usable:
        showStatusText(txtState, protocol::replyDump(reply.bytes));
        if (!isPassRead(exchange.request))
            imgConnected->raise();
        return;
    }
}

void MainWindow::showNotSubmitted(const requests::Request& request, requests::RequestCore::Submitted why)
{
    txtState->clear();
    if (why == requests::RequestCore::Submitted::QueueFull) {
        showStatusText(txtState, queueFullText(m_requests->queueBound()));
        imgNotConnected->raise();
        return;
    }
    // The port is closed: the request is echoed, and nothing goes out.
    if (!request.frame.isEmpty())
        txtCommand->setText(protocol::requestEcho(request.frame, request.echoLastIndex));
    showPortNotOpen();
}

void MainWindow::showPortNotOpen()
{
    showStatusText(txtState, port::portNotOpenText());
    imgNotConnected->raise();
}

bool MainWindow::startModuleCommand(QLineEdit* channelBox)
{
    stopReadingLoops();
    txtState->clear();
    const QVector<QLineEdit*>& cells = valueCells(1);
    for (int k = 0; k < m_sensorsPerChannel && k < cells.size(); ++k) {
        QPalette palette = cells[k]->palette();
        palette.setColor(QPalette::Text, QColor(255, 0, 0));
        cells[k]->setPalette(palette);
    }
    // Channel 0 names no channel; a text that is no number is named when its boxes are read.
    const std::optional<double> channel = protocol::parseDecimal(channelBox->text());
    if (channel && std::floor(*channel) == 0) {
        dialogs::MsgBox(this, BadChannelText);
        return false;
    }
    return true;
}

void MainWindow::stopReadingLoops()
{
    Timer7->setEnabled(false);
    Timer2->setEnabled(false);
}

std::optional<QVector<quint8>> MainWindow::readByteBoxes(std::initializer_list<QLineEdit*> boxes,
                                                         protocol::Rounding rounding)
{
    QVector<quint8> values;
    for (QLineEdit* box : boxes) {
        const std::optional<int> value = protocol::byteValue(box->text(), rounding);
        if (!value) {
            dialogs::MsgBox(this, protocol::rangeMessage(captionOf(box), 0, 255), QString(),
                            dialogs::Icon::Warning);
            return std::nullopt;
        }
        values.append(quint8(*value));
    }
    return values;
}

QString MainWindow::captionOf(const QWidget* box) const
{
    // Every box is named by the label whose buddy it is.
    for (const QLabel* label : findChildren<QLabel*>())
        if (label->buddy() == box)
            return label->text();
    return box->objectName();
}

void MainWindow::onReplyOverdue()
{
    const QString overdue = overdueText(m_requests->overdueAfterMs());
    if (!txtState->toPlainText().endsWith(overdue))
        txtState->appendPlainText(overdue);
    imgNotConnected->raise();
}

void MainWindow::stopLoopsWithTheLine()
{
    Timer2->setEnabled(false);
    Timer7->setEnabled(false);
    Timer5->setInterval(0); // nor can the automatic write go on
}

void MainWindow::onConnectionLost()
{
    stopLoopsWithTheLine();
    m_portIsOpen = false;
    imgNotConnected->raise();
    showStatusText(txtState, port::connectionLostText());
    showPortState();
    markValuesStale();
}
