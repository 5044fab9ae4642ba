#include "bus_scanner.h"

#include "port/mscomm.h"
#include "protocol/module_limits.h"

namespace acquisition {

BusScanner::BusScanner(requests::RequestCore& core, QObject* parent) : QObject(parent), m_core(core) {}

bool BusScanner::start(const QList<int>& stations, const QList<int>& bauds)
{
    port::MSComm* line = m_core.port();
    if (m_running || stations.isEmpty() || bauds.isEmpty() || !line || !line->PortOpen())
        return false;
    m_stations = stations;
    m_bauds = bauds;
    m_baudIndex = 0;
    m_stationIndex = 0;
    m_lineBaud = line->baudRate();
    m_running = true;
    if (!setLineRate(m_bauds.first())) {
        finish(false);
        return true;
    }
    Q_EMIT progress(0, probesTotal());
    probeStation();
    return true;
}

void BusScanner::cancel()
{
    if (!m_running)
        return;
    m_core.cancel(this);
    finish(false);
}

bool BusScanner::setLineRate(int baud)
{
    port::MSComm* line = m_core.port();
    return line && line->PortOpen() && line->setSettings(QStringLiteral("%1,N,8,1").arg(baud));
}

bool BusScanner::submit(const requests::Request& request,
                        void (BusScanner::*handler)(const requests::Exchange&))
{
    const auto submitted =
        m_core.submit(request, this, [this, handler](const requests::Exchange& exchange) {
            if (!exchange.late)
                (this->*handler)(exchange);
        });
    return submitted == requests::RequestCore::Submitted::Queued;
}

void BusScanner::probeStation()
{
    const int baud = m_bauds.at(m_baudIndex);
    if (!submit(scanProbeRequest(quint8(m_stations.at(m_stationIndex)), 1, baud), &BusScanner::onStationAnswer))
        finish(false);
}

void BusScanner::onStationAnswer(const requests::Exchange& exchange)
{
    if (exchange.ending != requests::Exchange::Ending::Answered) {
        finish(false); // the port closed or refused the probe
        return;
    }
    if (!probeFoundModule(exchange)) {
        nextStation();
        return;
    }
    m_finding = {m_stations.at(m_stationIndex), m_bauds.at(m_baudIndex), probeChannelAnswered(exchange) ? 1 : 0};
    m_channel = 2;
    probeChannel();
}

void BusScanner::probeChannel()
{
    if (!submit(scanProbeRequest(quint8(m_finding.station), quint8(m_channel), m_finding.baud),
                &BusScanner::onChannelAnswer))
        finish(false);
}

void BusScanner::onChannelAnswer(const requests::Exchange& exchange)
{
    if (exchange.ending != requests::Exchange::Ending::Answered) {
        finish(false);
        return;
    }
    if (probeChannelAnswered(exchange))
        ++m_finding.channels;
    if (++m_channel <= protocol::MaxChannelsPerModule) {
        probeChannel();
        return;
    }
    Q_EMIT moduleFound(m_finding);
    nextStation();
}

void BusScanner::nextStation()
{
    if (++m_stationIndex == m_stations.size()) {
        m_stationIndex = 0;
        if (++m_baudIndex == m_bauds.size()) {
            m_baudIndex = int(m_bauds.size());
            Q_EMIT progress(probesTotal(), probesTotal());
            finish(true);
            return;
        }
        if (!setLineRate(m_bauds.at(m_baudIndex))) {
            finish(false);
            return;
        }
    }
    Q_EMIT progress(probesDone(), probesTotal());
    probeStation();
}

void BusScanner::finish(bool complete)
{
    if (!m_running)
        return;
    m_running = false;
    if (m_lineBaud > 0)
        setLineRate(m_lineBaud);
    Q_EMIT finished(complete);
}

} // namespace acquisition
