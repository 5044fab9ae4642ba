#pragma once
// The backend of the window's and the reader's port: a serial port, or a line
// reached over the network when the name opened is an address (tcp://, mbap://).

#include "network_backend.h"
#include "qserialport_backend.h"

namespace port {

class LineBackend : public SerialBackend
{
    Q_OBJECT
public:
    explicit LineBackend(QObject* parent = nullptr);

    OpenFailure open(const QString& systemName, int baud) override;
    bool openPending() const override { return m_active->openPending(); }
    void close() override { m_active->close(); }
    bool isOpen() const override { return m_active->isOpen(); }
    void setBaudRate(int baud) override { m_active->setBaudRate(baud); }
    QByteArray readAll() override { return m_active->readAll(); }
    bool write(const QByteArray& bytes) override { return m_active->write(bytes); }
    void clearInput() override { m_active->clearInput(); }
    void clearOutput() override { m_active->clearOutput(); }
    void setInputHeld(bool held) override { m_active->setInputHeld(held); }
    QString errorText() const override { return m_active->errorText(); }

    // The network line when one is in use, else null.
    const NetworkBackend* network() const;

private:
    void relay(SerialBackend* backend);

    QSerialPortBackend m_serial;
    NetworkBackend m_network;
    SerialBackend* m_active = &m_serial;
};

} // namespace port
