#pragma once
// A bus scan as a small state machine on the request core: for each baud rate
// the line is set to it, each station gets a probe (its reply or its deadline,
// then the next station), and a station that answers gets a probe of each of
// its channels. The line's own rate is set back when the scan ends.

#include "bus_scan.h"

#include <QObject>

namespace acquisition {

class BusScanner : public QObject
{
    Q_OBJECT
public:
    explicit BusScanner(requests::RequestCore& core, QObject* parent = nullptr);

    // Probes stations `stations` at each of `bauds`. False, and nothing starts,
    // while a scan runs, the port is closed or there is nothing to probe.
    bool start(const QList<int>& stations, const QList<int>& bauds);
    bool running() const { return m_running; }
    // Ends the scan after nothing more than the probe on the line; the rate is
    // set back and finished(false) follows.
    void cancel();

    // Probes a whole scan takes, and those done.
    int probesTotal() const { return int(m_stations.size() * m_bauds.size()); }
    int probesDone() const { return m_baudIndex * int(m_stations.size()) + m_stationIndex; }

Q_SIGNALS:
    void progress(int done, int total);
    void moduleFound(const acquisition::ScanFinding& finding);
    // Every station was probed at every rate (`complete`), or the scan was
    // cancelled or the port closed.
    void finished(bool complete);

private:
    void probeStation();
    void probeChannel();
    void onStationAnswer(const requests::Exchange& exchange);
    void onChannelAnswer(const requests::Exchange& exchange);
    void nextStation();
    bool setLineRate(int baud);
    void finish(bool complete);
    bool submit(const requests::Request& request, void (BusScanner::*handler)(const requests::Exchange&));

    requests::RequestCore& m_core;
    QList<int> m_stations;
    QList<int> m_bauds;
    int m_baudIndex = 0;
    int m_stationIndex = 0;
    ScanFinding m_finding; // the module whose channels are probed
    int m_channel = 0;
    int m_lineBaud = 0; // the rate to set back
    bool m_running = false;
};

} // namespace acquisition
