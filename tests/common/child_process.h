#pragma once
// A server a test started (mosquitto, the Python sinks): ended as a service stop
// ends it (SIGTERM, so it can write what it keeps), killed if it does not go.

#include <QProcess>

inline void endChildProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
