// What the window shows of the request/reply exchange: the send steps' echo,
// lamps and status texts, the reply dump, the no-reply warning and a lost line;
// and the start that the commands to the module itself share.
// The exchange itself is the request core's.

#include "frmMain.h"

#include "dialogs.h"

#include "port/port_messages.h"
#include "protocol/box_number.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "traffic/traffic_recorder.h"

#include <cmath>

namespace {
const QString WaitingText = QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");
const QString OverdueText = QStringLiteral("3秒内未收到响应");
const QString BadChannelText = QStringLiteral("请指定正确的模块及通道编号");
} // namespace

void frmMain::ShowUnusableReply(const QByteArray& bytes, const QString& note)
{
    txtState->setPlainText(protocol::replyDump(bytes) + note);
    imgNotConnected->raise();
}

bool frmMain::ReplyUsable(const requests::Reply& reply, const protocol::ReplyVerdict& verdict)
{
    m_traffic->noteVerdict(reply.request,
                           verdict.usable ? traffic::Verdict::Decoded : traffic::verdictOfNote(verdict.note));
    if (!verdict.usable)
        ShowUnusableReply(reply.bytes, verdict.note);
    return verdict.usable;
}

bool frmMain::SendRequest(const requests::Request& request, QLabel* lampWhenSent)
{
    const requests::RequestCore::SendResult result = m_requests->send(request);
    if (result == requests::RequestCore::SendResult::LineBusy) {
        // A reading has the line for a moment: this request follows as soon as it is free.
        m_deferredRequest.emplace(request, lampWhenSent);
        return false;
    }
    txtState->clear();
    if (result == requests::RequestCore::SendResult::PortClosed) {
        txtCommand->setText(protocol::requestEcho(request.frame, request.echoLastIndex));
        imgNotConnected->raise();
        return false;
    }
    ShowSent(request, lampWhenSent ? lampWhenSent : imgConnected);
    return true;
}

bool frmMain::StartModuleCommand(QLineEdit* channelBox)
{
    StopReadingLoops();
    txtState->clear();
    const QVector<QLineEdit*>& cells = valueCells(1);
    for (int k = 0; k < SensorsPerChannel && k < cells.size(); ++k) {
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

void frmMain::SendDeferredRequest()
{
    if (!m_deferredRequest)
        return;
    const auto [request, lamp] = *m_deferredRequest;
    m_deferredRequest.reset();
    SendRequest(request, lamp);
}

void frmMain::ShowSent(const requests::Request& request, QLabel* lamp)
{
    lamp->raise();
    ShowWaiting();
    txtCommand->setText(protocol::requestEcho(request.frame, request.echoLastIndex));
}

void frmMain::ShowWaiting()
{
    txtState->setPlainText(WaitingText);
    if (m_requests->isOverdue()) {
        txtState->appendPlainText(OverdueText);
        imgNotConnected->raise();
    }
}

void frmMain::onReplyOverdue()
{
    if (!txtState->toPlainText().endsWith(OverdueText))
        txtState->appendPlainText(OverdueText);
    imgNotConnected->raise();
    // A write that got no answer did not take: its position gets its failure line.
    const requests::Context& asked = m_requests->pending().context;
    if (asked.kind == protocol::ModeWriteSerial)
        ShowWriteResult(asked.channel, asked.position, false);
}

void frmMain::MSComm1_OnComm(const requests::Reply& reply)
{
    txtState->setPlainText(protocol::replyDump(reply.bytes));
}

void frmMain::onConnectionLost()
{
    // The loops stop with the line: their ticks would only wipe the message below.
    Timer2->setEnabled(false);
    Timer7->setEnabled(false);
    Timer5->setInterval(0); // nor can the automatic write go on
    PortIsOpen = false;
    imgNotConnected->raise();
    txtState->setPlainText(port::connectionLostText());
}
