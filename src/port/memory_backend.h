#pragma once
// A serial device in memory, for tests and the built-in simulator: the test
// (or the simulator) delivers the bytes the device sends and takes what the
// program wrote.

#include "serial_backend.h"

#include <functional>

namespace port {

class MemoryBackend : public SerialBackend
{
    Q_OBJECT
public:
    using Responder = std::function<QByteArray(const QByteArray&)>;

    using SerialBackend::SerialBackend;

    OpenFailure open(const QString& systemName, int baud) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void setBaudRate(int baud) override { m_baud = baud; }
    QByteArray readAll() override;
    bool write(const QByteArray& bytes) override;
    void clearInput() override { m_pending.clear(); }
    void clearOutput() override {}
    void setInputHeld(bool held) override;
    QString errorText() const override { return m_errorText; }

    // Bytes arrive from the device. While open, readyRead is emitted at once;
    // while closed they wait, like a pseudo-terminal's, and show up on the next open.
    void inject(const QByteArray& bytes);
    // Everything written since the last call.
    QByteArray written();
    // Every following write is refused (false, nothing written) until set back.
    void setWriteRefused(bool refused) { m_writeRefused = refused; }
    // Every following open fails this way, until set back to OpenFailure::None.
    void setOpenFailure(OpenFailure failure) { m_openFailure = failure; }
    // The device is unplugged: closed, and deviceLost emitted (each call emits again,
    // like a device that keeps reporting errors).
    void vanish();
    // Answers every write with the responder's bytes, delivered from the event loop
    // after write() returned (as a device would). An empty answer sends nothing.
    void setResponder(Responder responder) { m_responder = std::move(responder); }

    QString openedName() const { return m_openedName; }
    int baudRate() const { return m_baud; }
    int openCount() const { return m_openCount; }

private:
    bool m_open = false;
    bool m_held = false;
    bool m_writeRefused = false;
    int m_baud = 0;
    int m_openCount = 0;
    QString m_openedName;
    QString m_errorText;
    OpenFailure m_openFailure = OpenFailure::None;
    QByteArray m_pending;
    QByteArray m_written;
    Responder m_responder;
};

} // namespace port
