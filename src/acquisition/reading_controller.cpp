#include "reading_controller.h"

#include "temperature_reading.h"

namespace acquisition {

ReadingController::ReadingController(requests::RequestCore& core, QObject* parent)
    : QObject(parent), m_core(core), m_pass(core)
{
    connect(&m_pass, &AllChannelsPass::channelStarting, this, &ReadingController::passChannelStarting);
    connect(&m_pass, &AllChannelsPass::channelAnswered, this,
            [this](int, const requests::Exchange& exchange) { Q_EMIT temperatureAnswered(exchange, true); });
    connect(&m_pass, &AllChannelsPass::finished, this, &ReadingController::passFinished);
}

ReadingController::Refusal ReadingController::refusalOf(requests::RequestCore::Submitted submitted) const
{
    switch (submitted) {
    case requests::RequestCore::Submitted::Queued:
        return Refusal::None;
    case requests::RequestCore::Submitted::PortClosed:
        return Refusal::PortClosed;
    case requests::RequestCore::Submitted::QueueFull:
        return Refusal::QueueFull;
    }
    return Refusal::None;
}

ReadingController::Refusal ReadingController::readOnce(const TemperatureRequestFields& fields)
{
    if (busy())
        return Refusal::Busy;
    const requests::Request request = singleReadingRequest(fields, m_core.port()->baudRate(), m_core.lineTuning().replyTimeoutMs);
    m_singleWaits = true;
    const Refusal refusal = refusalOf(m_core.submit(request, this, [this](const requests::Exchange& exchange) {
        if (!exchange.late)
            m_singleWaits = false;
        if (exchange.ending == requests::Exchange::Ending::Answered)
            Q_EMIT temperatureAnswered(exchange, false);
    }));
    if (refusal != Refusal::None)
        m_singleWaits = false;
    return refusal;
}

ReadingController::Refusal ReadingController::startPass(const TemperatureRequestFields& fields, int channelCount)
{
    if (m_pass.running())
        return Refusal::Busy;
    if (!m_core.port()->PortOpen())
        return Refusal::PortClosed;
    if (m_core.waiting() >= m_core.queueBound())
        return Refusal::QueueFull;
    m_pass.start(fields, channelCount);
    return Refusal::None;
}

void ReadingController::cancel()
{
    m_pass.cancel();
    m_core.cancel(this);
    m_singleWaits = false;
}

} // namespace acquisition
