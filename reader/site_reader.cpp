#include "site_reader.h"

#include "reader_texts.h"

#include "acquisition/all_channels_pass.h"
#include "port/line_address.h"
#include "port/line_settings.h"

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
    line.setLineAddress(port::looksLikeLineAddress(device) ? device : QString());
    line.setSettings(port::lineSettingsText(baud));
    return openForReplies(line);
}

SiteReader::SiteReader(requests::RequestCore& core, const ReaderOptions& options, QObject* parent)
    : QObject(parent), m_core(core), m_options(options), m_pass(core)
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &SiteReader::runRound);
    connect(core.port(), &port::MSComm::connectionLost, this, [this] {
        // The device went away: opening it again fails as missing, which says nothing new.
        if (m_portProblemSaid != port::OpenFailure::Missing) {
            m_portProblemSaid = port::OpenFailure::Missing;
            emit portProblem(portLostText(m_options.port));
        }
    });
    // A network line opens in the background: how it went is told here.
    connect(core.port(), &port::MSComm::openFailed, this, &SiteReader::sayOpenFailure);
    connect(core.port(), &port::MSComm::opened, this, [this] {
        if (m_portProblemSaid) {
            m_portProblemSaid.reset();
            emit portBack();
        }
    });
    connect(&m_pass, &acquisition::AllChannelsPass::channelAnswered, this,
            [this](int, const requests::Exchange& exchange) { onChannelAnswered(exchange); });
    connect(&m_pass, &acquisition::AllChannelsPass::finished, this, &SiteReader::onPassFinished);
}

void SiteReader::start()
{
    m_next.start(0);
}

void SiteReader::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_next.stop();
    if (!m_inRound) {
        QTimer::singleShot(0, this, &SiteReader::finished);
        return;
    }
    m_pass.cancel();
    QTimer::singleShot(0, this, &SiteReader::endRound);
}

bool SiteReader::portReady()
{
    port::MSComm* port = m_core.port();
    if (port->PortOpen())
        return true;
    // Lost since the last round (an unplugged adapter): try it again each round.
    if (openForReplies(*port)) {
        if (!port->openPending()) {
            m_portProblemSaid.reset();
            emit portBack();
        }
        return true;
    }
    sayOpenFailure();
    return false;
}

void SiteReader::sayOpenFailure()
{
    // Said when it differs from what was said last: a port lost and then taken by
    // another program is in use, not lost.
    const port::MSComm* port = m_core.port();
    if (m_portProblemSaid != port->lastFailure()) {
        m_portProblemSaid = port->lastFailure();
        emit portProblem(portOpenFailureText(port->lastFailure(), m_options.port, port->systemName()));
    }
}

void SiteReader::runRound()
{
    m_inRound = true;
    m_roundClock.start();
    m_portReady = portReady();
    m_nextStation = 0;
    readNextStation();
}

void SiteReader::readNextStation()
{
    while (!m_stopping && m_nextStation < int(m_options.stations.size())) {
        const int station = m_options.stations[size_t(m_nextStation++)];
        if (!m_portReady) {
            reportStationAway(station);
            continue;
        }
        acquisition::TemperatureRequestFields fields;
        fields.station = quint8(station);
        fields.function = kReadFunction;
        fields.start = kFirstPosition;
        fields.count = quint8(m_options.sensors);
        if (m_pass.start(fields, m_options.channels))
            return; // onPassFinished goes on
        m_portReady = false; // gone since the round began
        reportStationAway(station);
    }
    if (!m_stopping)
        endRound();
}

void SiteReader::onChannelAnswered(const requests::Exchange& exchange)
{
    report(site::channelRecords(exchange.reply, exchange.request, m_options.sensors,
                                QDateTime::currentMSecsSinceEpoch()));
}

void SiteReader::onPassFinished(bool complete)
{
    if (m_stopping)
        return;
    if (!complete) {
        // The port went away during the pass: the rest of the round is not read
        // (nothing is said for it); the next round reports the line away.
        m_nextStation = int(m_options.stations.size());
        m_portReady = m_core.port()->PortOpen();
    }
    readNextStation();
}

void SiteReader::reportStationAway(int station)
{
    for (int channel = 1; channel <= m_options.channels; ++channel) {
        site::ChannelRecords records;
        records.failure = site::ChannelFailure{QDateTime::currentMSecsSinceEpoch(), station, channel,
                                               site::ReplyFailure::NoReply};
        report(records);
    }
}

void SiteReader::endRound()
{
    if (!m_inRound)
        return;
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
        (m_portReady ? intervalMs : qMax<qint64>(intervalMs, kReopenWaitMs)) - m_roundClock.elapsed();
    m_next.start(int(qMax<qint64>(0, left)));
}

void SiteReader::report(const site::ChannelRecords& records)
{
    for (const auto& listener : m_channelListeners)
        listener(records);
}

} // namespace reader
