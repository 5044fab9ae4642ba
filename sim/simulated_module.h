#pragma once
// The simulated module in-process: a ModuleModel served on a pseudo-terminal
// linked as <programFolder>/ports/COM<n>, running on the caller's event loop.
// End-to-end tests start one, point the program at the same folder and port
// number, and look at the frames the module received.

#include "fault.h"
#include "module_model.h"
#include "pty_transport.h"
#include "scenario.h"

#include <QByteArrayList>
#include <QObject>
#include <QString>
#include <deque>

namespace sim {

class SimulatedModule : public QObject
{
    Q_OBJECT
public:
    SimulatedModule(const QString& programFolder, int portNumber,
                    const ModuleModel& model = ModuleModel::demo(), QObject* parent = nullptr);
    ~SimulatedModule() override;

    // Opens the pseudo-terminal and makes the link; `force` replaces any
    // existing entry at the link's place.
    bool start(QString* error = nullptr, bool force = false);
    void stop();
    bool isRunning() const { return m_transport.isOpen(); }

    QString slavePath() const { return m_transport.slavePath(); }
    QString linkPath() const { return PtyTransport::linkPathFor(m_programFolder, m_portNumber); }

    ModuleModel& model() { return m_model; }
    // Puts another module on the same line, a copy of `model`, at `station`.
    ModuleModel& addModule(const ModuleModel& model, int station);
    PtyTransport& transport() { return m_transport; }

    void setFault(const Fault& fault) { m_transport.setFault(fault); }
    void addFault(const Fault& fault) { m_transport.addFault(fault); }
    void clearFaults() { m_transport.clearFaults(); }
    // Applies one scenario line (see docs/simulator.md) to the running module:
    // "temp 3 5 -2.00", "fault noreply next=1", "fault none", ...
    bool applyLine(const QString& line, QString* error = nullptr);

    // The modules' answer to a request that came another way than the
    // pseudo-terminal (a network server), at once and without faults; recorded
    // like the pseudo-terminal's. Empty when no module answers.
    QByteArray answer(const QByteArray& request);

    // Every request frame received since start (or the last clear), answered or not.
    QByteArrayList framesReceived() const { return m_frames; }
    QByteArrayList repliesSent() const { return m_replies; }
    void clearHistory();

signals:
    void frameReceived(const QByteArray& request);
    void replySent(const QByteArray& reply);

private:
    QString m_programFolder;
    int m_portNumber;
    ModuleModel m_model;
    std::deque<ModuleModel> m_moreModels; // a deque keeps their addresses, which the transport holds
    PtyTransport m_transport;
    QByteArrayList m_frames;
    QByteArrayList m_replies;
};

} // namespace sim
