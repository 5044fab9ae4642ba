#include "all_channels_pass.h"

#include "temperature_reading.h"

namespace acquisition {

AllChannelsPass::AllChannelsPass(requests::RequestCore& core, QObject* parent) : QObject(parent), m_core(core)
{
}

bool AllChannelsPass::start(const TemperatureRequestFields& fields, int channelCount)
{
    if (m_running || !m_core.port()->PortOpen())
        return false;
    m_fields = fields;
    m_channelCount = channelCount;
    m_channel = 0;
    m_previousUnfinished = false;
    m_running = true;
    askNext();
    return true;
}

void AllChannelsPass::cancel()
{
    m_core.cancel(this);
    m_running = false;
}

void AllChannelsPass::askNext()
{
    if (m_channel >= m_channelCount) {
        finish(true);
        return;
    }
    const int channel = ++m_channel;
    const requests::Request request =
        passChannelRequest(m_fields, quint8(channel), m_core.port()->baudRate(), m_previousUnfinished);
    const auto submitted = m_core.submit(
        request, this, [this](const requests::Exchange& exchange) { onAnswer(exchange); },
        [this, channel] { Q_EMIT channelStarting(channel); });
    if (submitted != requests::RequestCore::Submitted::Queued)
        finish(false);
}

void AllChannelsPass::onAnswer(const requests::Exchange& exchange)
{
    if (!m_running)
        return;
    if (exchange.ending != requests::Exchange::Ending::Answered) {
        finish(false);
        return;
    }
    const protocol::ReplyStatus status = exchange.reply.status;
    m_previousUnfinished = status != protocol::ReplyStatus::NoReply && status != protocol::ReplyStatus::Usable &&
                           status != protocol::ReplyStatus::Exception;
    Q_EMIT channelAnswered(m_channel, exchange);
    if (m_running)
        askNext();
}

void AllChannelsPass::finish(bool complete)
{
    m_running = false;
    Q_EMIT finished(complete);
}

} // namespace acquisition
