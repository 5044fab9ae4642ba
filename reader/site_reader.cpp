#include "site_reader.h"

#include "acquisition/all_channels_pass.h"
#include "port/comm_settings.h"
#include "port/port_messages.h"

#include <QDateTime>

namespace reader {

namespace {

bool openForReplies(port::MSComm& line)
{
    if (!line.setPortOpen(true))
        return false;
    line.setInputMode(port::MSComm::comInputModeBinary);
    return true;
}

} // namespace

bool openLine(port::MSComm& line, const QString& device, int baud)
{
    line.setPortNameResolver([device](int) { return device; });
    line.setSettings(port::lineSettingsText(baud));
    return openForReplies(line);
}

SiteReader::SiteReader(requests::RequestCore& core, const ReaderOptions& options, QObject* parent)
    : QObject(parent), m_core(core), m_options(options)
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &SiteReader::runRound);
    connect(core.port(), &port::MSComm::connectionLost, this, [this] {
        if (!m_portProblemSaid) {
            m_portProblemSaid = true;
            emit portProblem(port::connectionLostText());
        }
    });
}

void SiteReader::start()
{
    m_next.start(0);
}

void SiteReader::stop()
{
    m_stopping = true;
    m_next.stop();
    if (!m_inRound)
        QTimer::singleShot(0, this, &SiteReader::finished);
}

bool SiteReader::portReady()
{
    port::MSComm* port = m_core.port();
    if (port->PortOpen())
        return true;
    // Lost since the last round (an unplugged adapter): try it again each round.
    if (openForReplies(*port)) {
        m_portProblemSaid = false;
        emit portBack();
        return true;
    }
    if (!m_portProblemSaid) {
        m_portProblemSaid = true;
        emit portProblem(port::openFailureText(port->lastFailure(), m_options.port, port->systemName()));
    }
    return false;
}

void SiteReader::runRound()
{
    m_inRound = true;
    m_roundClock.start();
    const bool ready = portReady();
    for (int station : m_options.stations) {
        if (m_stopping)
            break;
        readStation(station, ready);
    }
    ++m_rounds;
    for (const auto& listener : m_roundListeners)
        listener();
    m_inRound = false;
    if (m_stopping || m_options.once) {
        emit finished();
        return;
    }
    const qint64 intervalMs = qint64(m_options.intervalSeconds) * 1000;
    const qint64 left =
        (ready ? intervalMs : qMax<qint64>(intervalMs, kReopenWaitMs)) - m_roundClock.elapsed();
    m_next.start(int(qMax<qint64>(0, left)));
}

void SiteReader::readStation(int station, bool portOpen)
{
    acquisition::TemperatureRequestFields fields;
    fields.station = quint8(station);
    fields.function = kReadFunction;
    fields.start = kFirstPosition;
    fields.count = quint8(m_options.sensors);

    int answered = 0;
    if (portOpen) {
        requests::Request lastRequest;
        acquisition::PassHooks hooks;
        hooks.keepGoing = [this] { return !m_stopping; };
        hooks.requestSent = [&lastRequest](const requests::Request& request) { lastRequest = request; };
        hooks.channelAnswered = [&](int, const acquisition::TemperatureReplyOutcome& outcome) {
            ++answered;
            report(site::channelRecords(outcome, lastRequest, m_options.sensors,
                                        QDateTime::currentMSecsSinceEpoch()));
        };
        acquisition::runAllChannelsPass(m_core, fields, m_options.channels, hooks);
    }
    if (m_stopping)
        return; // the channels not asked for were not read, they did not fail
    // The port went away during the pass (or was away): the rest did not answer.
    for (int channel = answered + 1; channel <= m_options.channels; ++channel) {
        site::ChannelRecords records;
        records.failure = site::ChannelFailure{QDateTime::currentMSecsSinceEpoch(), fields.station, channel,
                                               site::ReplyFailure::NoReply};
        report(records);
    }
}

void SiteReader::report(const site::ChannelRecords& records)
{
    for (const auto& listener : m_channelListeners)
        listener(records);
}

} // namespace reader
