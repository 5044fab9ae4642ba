#include "simulated_module.h"

namespace sim {

SimulatedModule::SimulatedModule(const QString& programFolder, int portNumber, const ModuleModel& model,
                                 QObject* parent)
    : QObject(parent), m_programFolder(programFolder), m_portNumber(portNumber), m_model(model),
      m_transport(&m_model)
{
    connect(&m_transport, &PtyTransport::requestReceived, this, [this](const QByteArray& request) {
        m_frames.append(request);
        emit frameReceived(request);
    });
    connect(&m_transport, &PtyTransport::replySent, this, [this](const QByteArray& reply) {
        m_replies.append(reply);
        emit replySent(reply);
    });
}

SimulatedModule::~SimulatedModule() = default;

bool SimulatedModule::start(QString* error, bool force)
{
    clearHistory();
    return m_transport.open(linkPath(), force, error);
}

ModuleModel& SimulatedModule::addModule(const ModuleModel& model, int station)
{
    ModuleModel& added = m_moreModels.emplace_back(model);
    added.setStation(station);
    m_transport.addModel(&added);
    return added;
}

void SimulatedModule::stop()
{
    m_transport.close();
}

bool SimulatedModule::applyLine(const QString& line, QString* error)
{
    QList<Fault> faults = m_transport.faults();
    if (!applyScenarioLine(line, m_model, faults, error))
        return false;
    m_transport.setFaults(faults);
    return true;
}

QByteArray SimulatedModule::answer(const QByteArray& request)
{
    QByteArray reply = m_model.reply(request);
    for (ModuleModel& other : m_moreModels) {
        if (!reply.isEmpty())
            break;
        reply = other.reply(request);
    }
    m_frames.append(request);
    emit frameReceived(request);
    if (!reply.isEmpty()) {
        m_replies.append(reply);
        emit replySent(reply);
    }
    return reply;
}

void SimulatedModule::clearHistory()
{
    m_frames.clear();
    m_replies.clear();
}

} // namespace sim
