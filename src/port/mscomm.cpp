#include "mscomm.h"

#include "line_address.h"
#include "line_settings.h"
#include "port_names.h"
#include "protocol/frame_log.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <limits>

namespace port {

namespace {
QByteArray hexBytes(const QByteArray& bytes)
{
    return bytes.toHex(' ').toUpper();
}

QString defaultPortName(int number)
{
    return resolvePortName(number, QCoreApplication::applicationDirPath());
}
} // namespace

MSComm::MSComm(std::unique_ptr<SerialBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)), m_resolver(defaultPortName)
{
    Q_ASSERT(m_backend);
    connect(m_backend.get(), &SerialBackend::readyRead, this, &MSComm::onReadyRead);
    connect(m_backend.get(), &SerialBackend::deviceLost, this, &MSComm::onDeviceLost);
    connect(m_backend.get(), &SerialBackend::opened, this, [this] {
        if (!m_openPending)
            return;
        m_openPending = false;
        Q_EMIT opened();
    });
    connect(m_backend.get(), &SerialBackend::openFailed, this, &MSComm::onOpenFailed);
}

MSComm::~MSComm()
{
    m_backend->disconnect(this);
    m_backend->close();
}

int MSComm::CommPort() const
{
    return m_commPort;
}

void MSComm::setCommPort(int number)
{
    if (!PortOpen())
        m_commPort = number;
}

void MSComm::setPortNameResolver(std::function<QString(int)> resolver)
{
    m_resolver = resolver ? std::move(resolver) : std::function<QString(int)>(defaultPortName);
}

QString MSComm::systemName() const
{
    return m_lineAddress.isEmpty() ? m_resolver(m_commPort) : m_lineAddress;
}

void MSComm::setLineAddress(const QString& address)
{
    if (!PortOpen())
        m_lineAddress = address;
}

QString MSComm::lineName() const
{
    return m_lineAddress.isEmpty() ? QStringLiteral("COM%1").arg(m_commPort) : m_lineAddress;
}

QString MSComm::wireFraming() const
{
    if (m_lineAddress.isEmpty())
        return {};
    const std::optional<LineAddress> address = parseLineAddress(m_lineAddress, nullptr);
    return address ? address->framingName() : QString();
}

QString MSComm::Settings() const
{
    return lineSettingsText(m_baud);
}

bool MSComm::setSettings(const QString& settings)
{
    const std::optional<int> baud = baudFromSettings(settings);
    if (!baud)
        return false;
    m_baud = *baud;
    if (PortOpen())
        m_backend->setBaudRate(m_baud);
    return true;
}

int MSComm::baudRate() const
{
    return m_baud;
}

bool MSComm::PortOpen() const
{
    return m_backend->isOpen();
}

bool MSComm::setPortOpen(bool open)
{
    if (open == PortOpen())
        return true;
    m_input.clear();
    if (!open) {
        m_watchingForLoss = false;
        m_openPending = false;
        m_backend->close();
        Q_EMIT closed();
        return true;
    }
    const QString name = systemName();
    const OpenFailure failure = name.isEmpty() ? OpenFailure::Missing : m_backend->open(name, m_baud);
    m_lastFailure = failure;
    if (failure != OpenFailure::None)
        return false;
    // A pseudo-terminal delivers what was written to it while it was closed;
    // the program expects an open port to start empty.
    m_backend->clearInput();
    m_backend->readAll();
    m_watchingForLoss = true;
    m_openPending = m_backend->openPending();
    m_lastByte.start();
    return true;
}

OpenFailure MSComm::lastFailure() const
{
    return m_lastFailure;
}

int MSComm::InputMode() const
{
    return m_inputMode;
}
void MSComm::setInputMode(int mode)
{
    m_inputMode = mode;
}
int MSComm::InputLen() const
{
    return m_inputLen;
}
void MSComm::setInputLen(int length)
{
    m_inputLen = qMax(0, length);
}
int MSComm::InBufferCount() const
{
    return int(m_input.size());
}

void MSComm::setInBufferCount(int count)
{
    // Only 0 means anything: discard everything received and not yet read.
    if (count != 0)
        return;
    m_input.clear();
    m_backend->clearInput();
}

int MSComm::OutBufferCount() const
{
    return 0;
} // written bytes go straight to the backend

void MSComm::setOutBufferCount(int count)
{
    if (count == 0)
        m_backend->clearOutput();
}

int MSComm::SThreshold() const
{
    return m_sThreshold;
}
void MSComm::setSThreshold(int threshold)
{
    m_sThreshold = qMax(0, threshold);
}
int MSComm::RThreshold() const
{
    return m_rThreshold;
}
void MSComm::setRThreshold(int threshold)
{
    m_rThreshold = qMax(0, threshold);
}

bool MSComm::Output(const QByteArray& bytes)
{
    if (!PortOpen())
        return false;
    if (bytes.isEmpty())
        return true;
    qCDebug(lcFrames).noquote() << "tx" << hexBytes(bytes);
    if (!m_backend->write(bytes))
        return false;
    if (m_sThreshold > 0) {
        // The bytes are handed on at once, so the output buffer is below any
        // threshold: raise the transmit event, from the event loop like any port event.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_sThreshold <= 0)
                    return;
                m_commEvent = comEvSend;
                Q_EMIT OnComm();
            },
            Qt::QueuedConnection);
    }
    return true;
}

QByteArray MSComm::Input()
{
    const qsizetype take = m_inputLen > 0 ? qMin<qsizetype>(m_inputLen, m_input.size()) : m_input.size();
    QByteArray bytes = m_input.left(take);
    m_input.remove(0, take);
    return bytes;
}

int MSComm::CommEvent() const
{
    return m_commEvent;
}

void MSComm::setInputHeld(bool held)
{
    m_backend->setInputHeld(held);
}

qint64 MSComm::usSinceLastByte() const
{
    return m_lastByte.isValid() ? m_lastByte.nsecsElapsed() / 1000 : std::numeric_limits<qint64>::max();
}

SerialBackend* MSComm::backend() const
{
    return m_backend.get();
}

void MSComm::onReadyRead()
{
    const QByteArray bytes = m_backend->readAll();
    if (bytes.isEmpty())
        return;
    qCDebug(lcFrames).noquote() << "rx" << hexBytes(bytes);
    m_input += bytes;
    m_lastByte.start();
    Q_EMIT bytesArrived();
    // A bytesArrived listener may have taken or discarded bytes: judge the threshold afterwards.
    if (m_rThreshold > 0 && m_input.size() >= m_rThreshold) {
        m_commEvent = comEvReceive;
        Q_EMIT OnComm();
    }
}

void MSComm::onDeviceLost()
{
    // Reported once per loss: a dying device may report many errors, and a
    // port the program closed itself has nothing to lose.
    if (!m_watchingForLoss)
        return;
    m_watchingForLoss = false;
    m_backend->close();
    m_input.clear();
    Q_EMIT closed();
    Q_EMIT connectionLost();
}

void MSComm::onOpenFailed(OpenFailure failure)
{
    if (!m_openPending)
        return;
    m_openPending = false;
    m_watchingForLoss = false;
    m_lastFailure = failure;
    m_backend->close();
    m_input.clear();
    Q_EMIT closed();
    Q_EMIT openFailed();
}

} // namespace port
