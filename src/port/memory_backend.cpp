#include "memory_backend.h"

#include <QMetaObject>

namespace port {

OpenFailure MemoryBackend::open(const QString& systemName, int baud)
{
    if (m_openFailure != OpenFailure::None) {
        m_errorText = QStringLiteral("simulated open failure on %1").arg(systemName);
        return m_openFailure;
    }
    m_open = true;
    m_openedName = systemName;
    m_baud = baud;
    m_errorText.clear();
    ++m_openCount;
    return OpenFailure::None;
}

void MemoryBackend::close()
{
    m_open = false;
}

QByteArray MemoryBackend::readAll()
{
    QByteArray bytes;
    bytes.swap(m_pending);
    return bytes;
}

bool MemoryBackend::write(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    if (m_writeRefused) {
        m_errorText = QStringLiteral("write refused");
        return false;
    }
    m_written += bytes;
    if (!m_responder)
        return true;
    const QByteArray answer = m_responder(bytes);
    if (answer.isEmpty())
        return true;
    // `this` as context: the answer is dropped if the backend is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, answer] {
            if (m_open)
                inject(answer);
        },
        Qt::QueuedConnection);
    return true;
}

void MemoryBackend::inject(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    m_pending += bytes;
    if (m_open && !m_held)
        Q_EMIT readyRead();
}

void MemoryBackend::setInputHeld(bool held)
{
    m_held = held;
    if (!held && m_open && !m_pending.isEmpty())
        Q_EMIT readyRead();
}

QByteArray MemoryBackend::written()
{
    QByteArray bytes;
    bytes.swap(m_written);
    return bytes;
}

void MemoryBackend::vanish()
{
    m_open = false;
    m_pending.clear();
    m_errorText = QStringLiteral("device removed");
    Q_EMIT deviceLost();
}

} // namespace port
