#pragma once
// The real serial line, over QSerialPort.

#include "serial_backend.h"

#include <QSerialPort>

namespace port {

class QSerialPortBackend : public SerialBackend
{
    Q_OBJECT
public:
    explicit QSerialPortBackend(QObject* parent = nullptr);
    ~QSerialPortBackend() override;

    OpenFailure open(const QString& systemName, int baud) override;
    void close() override;
    bool isOpen() const override;
    void setBaudRate(int baud) override;
    QByteArray readAll() override;
    bool write(const QByteArray& bytes) override;
    void clearInput() override;
    void clearOutput() override;
    void setInputHeld(bool held) override;
    QString errorText() const override;

private:
    void onErrorOccurred(QSerialPort::SerialPortError error);
    OpenFailure classifyOpenError(const QString& systemName) const;

    QSerialPort m_port;
    QString m_errorText;
    bool m_inputHeld = false;
};

} // namespace port
