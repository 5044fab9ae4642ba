#pragma once
// The serial port as the program uses it: the properties and receive event of
// a classic serial communications control, over an exchangeable backend.
//
// Received bytes are moved from the backend into an own input buffer as they
// arrive. When RThreshold is above 0 and the buffer holds at least that many
// bytes, OnComm is raised with CommEvent() == comEvReceive; never before.

#include "serial_backend.h"

#include <QElapsedTimer>
#include <functional>
#include <memory>

namespace port {

class MSComm : public QObject
{
    Q_OBJECT
public:
    enum CommEvents { comEvSend = 1, comEvReceive = 2 };
    enum InputModes { comInputModeText = 0, comInputModeBinary = 1 };

    explicit MSComm(std::unique_ptr<SerialBackend> backend, QObject* parent = nullptr);
    ~MSComm() override;

    // Port number n stands for "COMn"; the resolver maps it to a device path.
    int CommPort() const;
    void setCommPort(int number); // ignored while the port is open
    void setPortNameResolver(std::function<QString(int)> resolver);
    QString systemName() const; // device path for the current CommPort, or the line address
    // A network line address (tcp://, mbap://; see line_address.h) opened
    // instead of CommPort; empty: CommPort. Ignored while the port is open.
    void setLineAddress(const QString& address);
    QString lineAddress() const { return m_lineAddress; }
    // What the operator calls the line: "COM4" or the address.
    QString lineName() const;
    // How frames are framed on a network line: "TCP" or "MBAP"; empty for a serial port.
    QString wireFraming() const;

    // "9600,N,8,1". Only the baud rate varies; the rest is fixed 8N1.
    QString Settings() const;
    bool setSettings(const QString& settings); // false for a text it cannot use
    int baudRate() const;

    bool PortOpen() const;
    // Opens (true) or closes (false). Opening an open port or closing a closed
    // one is a no-op that succeeds. On failure lastFailure() tells why.
    // A network line opens in the background: PortOpen() and openPending() are
    // true until opened() or openFailed() (the port is closed again) says how it went.
    bool setPortOpen(bool open);
    bool openPending() const { return m_openPending; }
    OpenFailure lastFailure() const;

    int InputMode() const;
    void setInputMode(int mode);
    int InputLen() const;
    void setInputLen(int length); // bytes one Input() takes; 0 = all
    int InBufferCount() const;
    void setInBufferCount(int count); // 0 discards every received byte not yet read
    int OutBufferCount() const;
    void setOutBufferCount(int count); // 0 discards bytes not yet sent
    int SThreshold() const;
    void setSThreshold(int threshold);
    int RThreshold() const;
    void setRThreshold(int threshold); // 0: no receive events

    // Writes the bytes; false when nothing went out (the port is closed, or the
    // device refused them: backend()->errorText() says why).
    bool Output(const QByteArray& bytes);
    // Up to InputLen() buffered bytes, the ones that came first; removes them.
    QByteArray Input();
    int CommEvent() const;
    // The buffered bytes, left in the buffer (lets a wait look for a whole reply).
    QByteArray peekInput() const { return m_input; }

    // Leaves arriving bytes with the device until released, while the caller knows
    // nothing it waits for can be complete (see SerialBackend::setInputHeld).
    void setInputHeld(bool held);

    // Microseconds since the last byte arrived (since the port opened if none did).
    qint64 usSinceLastByte() const;
    SerialBackend* backend() const;

Q_SIGNALS:
    // Raised for every port event; CommEvent() tells its kind.
    void OnComm();
    // Any bytes arrived (whatever the threshold); lets waits end early.
    void bytesArrived();
    // The device went away while open. The port is closed already; raised once
    // per loss, however many errors the device reports (after closed()).
    void connectionLost();
    // The port closed, by the program or because the device went away.
    void closed();
    // A pending open completed; or failed (after closed(); lastFailure() says why).
    void opened();
    void openFailed();

private:
    void onReadyRead();
    void onDeviceLost();
    void onOpenFailed(OpenFailure failure);

    std::unique_ptr<SerialBackend> m_backend;
    std::function<QString(int)> m_resolver;
    int m_commPort = 1;
    QString m_lineAddress;
    bool m_openPending = false;
    int m_baud = 9600;
    OpenFailure m_lastFailure = OpenFailure::None;
    int m_inputMode = comInputModeText;
    int m_inputLen = 0;
    int m_sThreshold = 0;
    int m_rThreshold = 0;
    int m_commEvent = 0;
    QByteArray m_input;
    QElapsedTimer m_lastByte;
    bool m_watchingForLoss = false; // open, and no loss reported since
};

} // namespace port
