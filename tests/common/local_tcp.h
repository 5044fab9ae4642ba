#pragma once
// TCP ports on this machine for tests that start servers (ser2net, pymodbus).

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A TCP port nothing listens on now (another program may take it before we do).
inline quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// Whether something accepts connections at the port (a blocking probe, in the test only).
inline bool listening(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return probe.waitForConnected(200);
}
