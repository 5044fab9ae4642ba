#include "serial_numbers_controller.h"

#include "serial_replies.h"
#include "serial_requests.h"

#include "protocol/frames.h"

namespace serials {

SerialNumbersController::SerialNumbersController(requests::RequestCore& core, QObject* parent)
    : QObject(parent), m_core(core)
{
}

SerialNumbersController::Submitted SerialNumbersController::submit(const requests::Request& request)
{
    const bool isWrite = request.context.kind == protocol::ModeWriteSerial;
    if (isWrite)
        ++m_writesWaiting;
    const Submitted submitted =
        m_core.submit(request, this, [this](const requests::Exchange& exchange) { onExchange(exchange); });
    if (isWrite && submitted != Submitted::Queued)
        --m_writesWaiting;
    return submitted;
}

SerialNumbersController::Submitted SerialNumbersController::readList(quint8 station, quint8 channel, quint8 count)
{
    return submit(readListRequest(station, channel, count));
}

SerialNumbersController::Submitted SerialNumbersController::search(quint8 station, quint8 firstChannel,
                                                                   quint8 channelCount)
{
    return submit(searchRequest(station, firstChannel, channelCount));
}

SerialNumbersController::Submitted SerialNumbersController::readIn(quint8 station, quint8 channel, quint8 position)
{
    return submit(readInRequest(station, channel, position));
}

SerialNumbersController::Submitted SerialNumbersController::write(quint8 station, quint8 channel, quint8 position,
                                                                  const SerialNumber& serial)
{
    return submit(writeRequest(station, channel, position, serial));
}

void SerialNumbersController::cancel()
{
    m_core.cancel(this);
    m_writesWaiting = 0;
}

void SerialNumbersController::onExchange(const requests::Exchange& exchange)
{
    const requests::Context& asked = exchange.request.context;
    const bool isWrite = asked.kind == protocol::ModeWriteSerial;
    if (isWrite && !exchange.late)
        --m_writesWaiting;
    if (exchange.ending != requests::Exchange::Ending::Answered)
        return;
    const protocol::JudgedReply& reply = exchange.reply;
    if (isWrite && reply.status != protocol::ReplyStatus::Usable) {
        // No reply, or none that can be trusted: the write is not confirmed (the
        // window shows what was wrong with the reply), and its line says so.
        Q_EMIT writeAnswered(asked.channel, asked.position, false);
        return;
    }
    if (reply.status != protocol::ReplyStatus::Usable)
        return; // nothing of it is used; the window shows what is wrong
    switch (asked.kind) {
    case protocol::ModeReadSerials:
        Q_EMIT listRead(asked, serialsInListReply(reply.bytes, asked.count));
        break;
    case protocol::ModeAutoSearch:
        Q_EMIT searchAnswered(asked, sensorsFoundInSearchReply(reply.bytes, asked.count));
        break;
    case protocol::ModeManualReadIn: {
        const std::optional<SerialNumber> serial = serialInReply(reply.bytes);
        Q_EMIT readInAnswered(asked, serial, serial && passesReplyRule(*serial));
        break;
    }
    case protocol::ModeWriteSerial: {
        // Taken as written only when the module now holds the serial number that was sent.
        const std::optional<SerialNumber> held = serialInReply(reply.bytes);
        Q_EMIT writeAnswered(asked.channel, asked.position,
                             held && passesReplyRule(*held) && *held == serialWritten(exchange.request));
        break;
    }
    default:
        break;
    }
}

} // namespace serials
