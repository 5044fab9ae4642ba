#include "line_backend.h"

#include "line_address.h"

namespace port {

LineBackend::LineBackend(QObject* parent) : SerialBackend(parent), m_serial(this), m_network(this)
{
    relay(&m_serial);
    relay(&m_network);
}

void LineBackend::relay(SerialBackend* backend)
{
    // Only the backend in use speaks; the other is closed.
    connect(backend, &SerialBackend::readyRead, this, &SerialBackend::readyRead);
    connect(backend, &SerialBackend::deviceLost, this, &SerialBackend::deviceLost);
    connect(backend, &SerialBackend::opened, this, &SerialBackend::opened);
    connect(backend, &SerialBackend::openFailed, this, &SerialBackend::openFailed);
}

OpenFailure LineBackend::open(const QString& systemName, int baud)
{
    m_active->close();
    m_active = looksLikeLineAddress(systemName) ? static_cast<SerialBackend*>(&m_network) : &m_serial;
    return m_active->open(systemName, baud);
}

const NetworkBackend* LineBackend::network() const
{
    return m_active == &m_network ? &m_network : nullptr;
}

} // namespace port
