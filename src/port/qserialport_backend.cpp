#include "qserialport_backend.h"

#include <QFile>
#include <QFileInfo>

#include "device_access.h"

namespace port {

QSerialPortBackend::QSerialPortBackend(QObject* parent) : SerialBackend(parent), m_port(this)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        if (!m_inputHeld)
            Q_EMIT readyRead();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialPortBackend::onErrorOccurred);
}

QSerialPortBackend::~QSerialPortBackend()
{
    // Closing must not report a loss to whoever listens while we go away.
    m_port.disconnect(this);
    if (m_port.isOpen())
        m_port.close();
}

OpenFailure QSerialPortBackend::open(const QString& systemName, int baud)
{
    if (m_port.isOpen())
        m_port.close();
    m_errorText.clear();
    m_port.setPortName(systemName);
    // Set while closed, these only record the values that open() applies. A
    // pseudo-terminal ignores speed and parity, so their outcome is not checked.
    m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (m_port.open(QIODevice::ReadWrite))
        return OpenFailure::None;
    m_errorText = m_port.errorString();
    return classifyOpenError(systemName);
}

OpenFailure QSerialPortBackend::classifyOpenError(const QString& systemName) const
{
    const bool exists = QFileInfo::exists(systemName);
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::Missing;
    case QSerialPort::PermissionError:
        // Qt reports both a refused device and its own lock file (another handle
        // holds the port) as a permission error; tell them apart here.
        if (!exists)
            return OpenFailure::Missing;
        return mayReadAndWrite(systemName) ? OpenFailure::Busy : OpenFailure::Denied;
    case QSerialPort::UnsupportedOperationError:
        return exists ? OpenFailure::Settings : OpenFailure::Missing;
    default:
        return exists ? OpenFailure::Other : OpenFailure::Missing;
    }
}

void QSerialPortBackend::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool QSerialPortBackend::isOpen() const
{
    return m_port.isOpen();
}

void QSerialPortBackend::setBaudRate(int baud)
{
    // A pseudo-terminal may refuse; the line keeps working, so the result is not used.
    m_port.setBaudRate(baud);
}

QByteArray QSerialPortBackend::readAll()
{
    return m_port.readAll();
}

bool QSerialPortBackend::write(const QByteArray& bytes)
{
    // Queued in QSerialPort's buffer and sent from the event loop: never block the window.
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) == bytes.size())
        return true;
    m_errorText = m_port.errorString();
    return false;
}

void QSerialPortBackend::clearInput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Input);
}

void QSerialPortBackend::clearOutput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

void QSerialPortBackend::setInputHeld(bool held)
{
    m_inputHeld = held;
    if (held) {
        // With its buffer limited to one byte, QSerialPort stops reading from the
        // device once that byte is in, until it is read: the rest waits in the
        // driver's buffer and the event loop sleeps.
        m_port.setReadBufferSize(1);
        return;
    }
    // Reading what was held lets QSerialPort read the device again; then the
    // buffer is unlimited once more, and the bytes waiting in the driver arrive
    // in one go.
    if (m_port.isOpen() && m_port.bytesAvailable() > 0)
        Q_EMIT readyRead();
    m_port.setReadBufferSize(0);
}

QString QSerialPortBackend::errorText() const
{
    return m_errorText;
}

void QSerialPortBackend::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    if (!m_port.isOpen())
        return; // open failures are reported by open()
    m_errorText = m_port.errorString();
    // An unplugged USB adapter reports ResourceError; a closed pseudo-terminal
    // an endless stream of ReadError with the port still open. Either way the
    // device is gone: close on the first, which also ends the stream.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        m_port.close();
        Q_EMIT deviceLost();
    }
}

} // namespace port
