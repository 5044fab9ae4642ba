#pragma once
// The Python servers the delivery's tests send to (smtp_sink.py over
// python3-aiosmtpd, http_sink.py over http.server), each on a free port of
// 127.0.0.1, writing what it receives to a folder of its own, a file a message.
// TQ_PYTHON_SINK_DIR names the folder of the scripts.

#include "../common/child_process.h"
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtDebug>

#include "../common/local_tcp.h"

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// One of the Python servers beside this test: what it receives lands in a folder, a file a message.
class Sink
{
public:
    Sink(const char* script, const QStringList& options = {}) : m_script(script), m_options(options), m_port(freePort()) {}
    ~Sink() { stop(); }

    static QString unavailable(const char* script)
    {
        QProcess check;
        check.start(kPython, {QStringLiteral("-c"), QString::fromLatin1(script)});
        if (!check.waitForFinished(20000) || check.exitCode() != 0)
            return QStringLiteral("%1 cannot run: %2").arg(kPython, QString::fromUtf8(check.readAllStandardError()));
        return QString();
    }

    quint16 port() const { return m_port; }
    bool start()
    {
        m_process.start(kPython, QStringList{QStringLiteral(TQ_PYTHON_SINK_DIR "/") + QLatin1String(m_script),
                                             QString::number(m_port), m_folder.path()}
                                     << m_options);
        QElapsedTimer clock;
        clock.start();
        while (!m_out.contains("ready") && clock.elapsed() < 20000 && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(1000);
            m_out += m_process.readAllStandardOutput();
        }
        if (!m_out.contains("ready"))
            qWarning() << m_script << m_process.readAllStandardError();
        return m_out.contains("ready");
    }
    void stop()
    {
        endChildProcess(m_process);
    }
    // The files written so far, oldest first.
    QStringList files() const
    {
        QStringList names = QDir(m_folder.path()).entryList({QStringLiteral("*.eml"), QStringLiteral("*.json")},
                                                            QDir::Files, QDir::Name);
        for (QString& name : names)
            name = m_folder.filePath(name);
        return names;
    }

private:
    const char* m_script;
    QStringList m_options;
    quint16 m_port;
    QTemporaryDir m_folder;
    QProcess m_process;
    QByteArray m_out;
};

} // namespace
