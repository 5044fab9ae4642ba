#pragma once
// What MSComm needs of a serial device. Backends implement it for the real
// line (QSerialPort), a line reached over the network (QTcpSocket) and in
// memory for tests.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace port {

// Why an open failed; the UI turns each into one operator message.
enum class OpenFailure {
    None,
    Busy,     // another program (or another handle of ours) holds the port
    Missing,  // no such device
    Denied,   // no permission
    Settings, // the device refused the line settings
    // A network line (see line_address.h) that could not be reached:
    Refused,      // nothing listens at the address
    Unreachable,  // no route to the host
    HostNotFound, // the host's name is not known
    TimedOut,     // no answer to the connection within the connect time-out
    Other,
};

class SerialBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialBackend() override = default;

    // Opens `systemName` (a device path) at `baud`, 8 data bits, no parity, 1 stop bit.
    // A backend that cannot tell at once (a network connection) returns None
    // with openPending() true; opened() or openFailed() follows from the event loop.
    virtual OpenFailure open(const QString& systemName, int baud) = 0;
    virtual bool openPending() const { return false; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Changes the speed of an open device; a pseudo-terminal may ignore it.
    virtual void setBaudRate(int baud) = 0;
    virtual QByteArray readAll() = 0;
    // Hands the bytes to the device to send; false when it refused them (they will not go out).
    virtual bool write(const QByteArray& bytes) = 0;
    // Discard what the device holds but has not delivered / not yet sent.
    virtual void clearInput() = 0;
    virtual void clearOutput() = 0;
    // Held, arriving bytes stay with the device and readyRead stays quiet, so a
    // slow line does not wake the program for every byte while nothing it waits
    // for can be complete; released, they are delivered (readyRead follows).
    virtual void setInputHeld(bool held) = 0;
    // Human-readable text of the last failure, for logs.
    virtual QString errorText() const = 0;

Q_SIGNALS:
    void readyRead();
    // The device went away while open (USB adapter unplugged, pty closed).
    void deviceLost();
    // A pending open completed, or failed (the backend is closed again).
    void opened();
    void openFailed(port::OpenFailure failure);
};

} // namespace port
