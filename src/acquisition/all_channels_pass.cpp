#include "all_channels_pass.h"

#include "temperature_reading.h"

#include <algorithm>

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
    m_previousSilent = false;
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
    ++m_channel;
    m_retry = 0;
    ask();
}

void AllChannelsPass::ask()
{
    const int channel = m_channel;
    const requests::LineTuning& tuning = m_core.lineTuning();
    requests::Request request = passChannelRequest(m_fields, quint8(channel), m_core.port()->baudRate(),
                                                   m_previousUnfinished, tuning.replyTimeoutMs);
    request.retry = m_retry;
    if (m_previousSilent && m_retry == 0) {
        // The channel before got no reply in its time; a module slower than the
        // time-out may still send it. Whatever comes until the line has been
        // quiet as long again is that late reply, never this channel's.
        request.quietGapUs = std::max(request.quietGapUs, request.deadlineMs * 1000);
        request.quietFromTurn = true;
    }
    std::function<void()> starting;
    if (m_retry == 0)
        starting = [this, channel] { Q_EMIT channelStarting(channel); };
    const auto submitted = m_core.submit(
        request, this, [this](const requests::Exchange& exchange) { onAnswer(exchange); }, std::move(starting));
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
    // A module that refused the request would refuse it again; anything else
    // unusable may have been the line's fault.
    const bool unusable = status != protocol::ReplyStatus::Usable && status != protocol::ReplyStatus::Exception;
    m_previousSilent = status == protocol::ReplyStatus::NoReply;
    m_previousUnfinished = unusable && !m_previousSilent;
    if (unusable && m_retry < m_core.lineTuning().retries) {
        ++m_retry;
        ask();
        return;
    }
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
