// The request/reply exchange shared by every request kind: the send steps,
// the lamps and status texts, the receive event and the dispatch.

#include "frmMain.h"

#include "port/port_messages.h"
#include "protocol/frame_log.h"
#include "protocol/hex_text.h"

namespace {
const QString WaitingText = QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");
const QString OverdueText = QStringLiteral("3秒内未收到响应");
} // namespace

void frmMain::registerReplyHandler(int commandMode, ReplyHandler handler)
{
    m_replyHandlers[commandMode] = std::move(handler);
}

void frmMain::PreparePort()
{
    MSComm1->setInBufferCount(0);
    MSComm1->setInputLen(0);
    MSComm1->setInputMode(port::MSComm::comInputModeBinary);
    MSComm1->setRThreshold(0);
}

bool frmMain::SendRequest(const OutgoingRequest& request)
{
    txtState->clear();
    CommandText.clear();
    CommandMode = request.commandMode;
    PreparePort();
    ReplyLength = request.replyLength;
    Pending = request.context;
    Pending.mode = request.commandMode;
    CommandText = protocol::requestEcho(request.frame, request.echoLastIndex);
    txtCommand->setText(CommandText);
    MSComm1->setRThreshold(request.threshold);
    m_requestThreshold = request.threshold;
    if (request.inputLen > 0)
        MSComm1->setInputLen(request.inputLen);
    if (!MSComm1->PortOpen()) {
        imgNotConnected->raise();
        return false;
    }
    imgConnected->raise();
    MSComm1->Output(request.frame);
    ShowWaiting();
    NoteRequestSent();
    return true;
}

void frmMain::ShowWaiting()
{
    txtState->setPlainText(WaitingText);
    if (m_replyOverdue) {
        txtState->appendPlainText(OverdueText);
        imgNotConnected->raise();
    }
}

void frmMain::NoteRequestSent()
{
    // The clock runs from the oldest request still unanswered, so a loop that
    // keeps sending cannot hide a module that stopped answering.
    if (!m_awaitingReply) {
        m_awaitingReply = true;
        m_replyWatchdog.start();
    }
}

void frmMain::NoteReplyArrived()
{
    m_awaitingReply = false;
    m_replyOverdue = false;
    m_replyWatchdog.stop();
}

void frmMain::onReplyOverdue()
{
    if (!m_awaitingReply)
        return;
    m_replyOverdue = true;
    if (!txtState->toPlainText().endsWith(OverdueText))
        txtState->appendPlainText(OverdueText);
    imgNotConnected->raise();
}

void frmMain::MSComm1_OnComm()
{
    if (MSComm1->CommEvent() != port::MSComm::comEvReceive)
        return;
    // The pass takes its replies from the input itself; a receive event during it
    // (a port reopened inside its waits sets a threshold again) must not take them.
    if (m_passBusy)
        return;
    // A handler never sees fewer bytes than its request waits for, even when a
    // reopened port has lowered the threshold since.
    if (MSComm1->InBufferCount() < m_requestThreshold)
        return;
    MSComm1->setInputLen(ReplyLength);
    const QByteArray reply = MSComm1->Input();
    MSComm1->setInBufferCount(0); // anything beyond the expected length is discarded
    if (!reply.isEmpty())
        NoteReplyArrived();
    txtState->setPlainText(protocol::replyDump(reply));
    qCDebug(lcFrames, "reply for mode %d:%s", CommandMode, qPrintable(protocol::replyDump(reply)));

    bool finished = true;
    const auto handler = m_replyHandlers.find(CommandMode);
    if (handler != m_replyHandlers.end())
        finished = handler->second(reply);
    if (finished)
        imgConnected->raise();
    m_replyHandledFlag = true;
    Q_EMIT replyHandled();
}

void frmMain::onConnectionLost()
{
    // The loops stop with the line: their ticks would only wipe the message below.
    Timer2->setEnabled(false);
    Timer7->setEnabled(false);
    PortIsOpen = false;
    imgNotConnected->raise();
    txtState->setPlainText(port::connectionLostText());
    m_awaitingReply = false;
    m_replyOverdue = false;
    m_replyWatchdog.stop();
}
