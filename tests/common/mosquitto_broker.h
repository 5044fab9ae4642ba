#pragma once
// A mosquitto broker for tests: on 127.0.0.1 only, anonymous clients allowed
// (or one user with a password, over TLS or not), its configuration in a
// folder of its own, on a free port that it keeps when stopped and started again.

#include "child_process.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

class MosquittoBroker
{
public:
    static QString program() { return QStringLiteral("/usr/sbin/mosquitto"); }
    static bool available() { return QFileInfo(program()).isExecutable(); }
    // The program that makes the certificates of a TLS broker.
    static QString openssl() { return QStandardPaths::findExecutable(QStringLiteral("openssl")); }

    // Who the broker lets in: with a user, only that user with that password
    // (a password file, no anonymous clients); with TLS, over TLS only, its
    // certificate (for 127.0.0.1) signed by caFile().
    struct Access
    {
        QByteArray user;
        QByteArray password;
        bool tls = false;
    };

    // A persistent broker keeps its clients' sessions, and the messages queued
    // for them, across a stop and a start; otherwise a start is a fresh broker.
    explicit MosquittoBroker(bool persistent = false) : m_port(freePort())
    {
        configure(persistent, Access());
    }
    // A broker for `access`; an empty setupProblem() when it could be made.
    explicit MosquittoBroker(const Access& access) : m_port(freePort()) { configure(false, access); }
    ~MosquittoBroker() { stop(); }

    QString setupProblem() const { return m_setupProblem; }
    // The CA that signed the TLS broker's certificate, and one that signed nothing it has.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString otherCaFile() const { return m_dir.filePath(QStringLiteral("other-ca.pem")); }

    quint16 port() const { return m_port; }
    // What the broker wrote since it was last started.
    QString log()
    {
        m_log += m_process.readAll();
        return QString::fromUtf8(m_log);
    }

    // Starts the broker and waits until it says it runs (its listener is open);
    // false when it ends or stays silent for 5 s first.
    bool start()
    {
        m_log.clear();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(), {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf"))});
        return waitForLog(" running");
    }

    // Ends the broker as a service stop does (a persistent one writes what it keeps) and waits for it.
    void stop()
    {
        endChildProcess(m_process);
        m_log += m_process.readAll();
    }

    // Writes what a persistent broker keeps, as it would when stopped; false
    // when it does not say so within 5 s.
    bool save()
    {
        const qsizetype from = m_log.size();
        ::kill(pid_t(m_process.processId()), SIGUSR1);
        return waitForLog("Saving in-memory database", from);
    }
    // Stops the broker where it is: it reads nothing and answers nothing until
    // thawed or killed.
    void freeze() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void thaw() { ::kill(pid_t(m_process.processId()), SIGCONT); }
    // Ends the broker at once: what it had not read is lost, and a persistent
    // broker starts again with what it last saved.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    void configure(bool persistent, const Access& access)
    {
        QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly)) {
            m_setupProblem = config.errorString();
            return;
        }
        QByteArray text = "listener " + QByteArray::number(m_port) +
                          " 127.0.0.1\n"
                          "log_dest stderr\n" // unbuffered: the line that says it runs comes at once
                          "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
                          // What it takes it sends on at once, never keeping it back for a slow subscriber.
                          "max_inflight_messages 0\n";
        // Run as root, mosquitto would become the user "mosquitto", who cannot write here.
        if (const passwd* user = ::getpwuid(::geteuid()))
            text += "user " + QByteArray(user->pw_name) + '\n';
        if (persistent)
            text += "persistence true\npersistence_location " + QDir(m_dir.path()).path().toUtf8() +
                    "/\nmax_queued_messages 0\n";
        else
            text += "persistence false\n";
        if (access.user.isEmpty()) {
            text += "allow_anonymous true\n";
        } else {
            const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
            if (!run(QStringLiteral("mosquitto_passwd"),
                     {QStringLiteral("-c"), QStringLiteral("-b"), passwords, QString::fromUtf8(access.user),
                      QString::fromUtf8(access.password)}))
                return;
            text += "allow_anonymous false\npassword_file " + passwords.toUtf8() + '\n';
        }
        if (access.tls) {
            if (!makeCertificates())
                return;
            text += "cafile " + caFile().toUtf8() + "\ncertfile " +
                    m_dir.filePath(QStringLiteral("broker.pem")).toUtf8() + "\nkeyfile " +
                    m_dir.filePath(QStringLiteral("broker.key")).toUtf8() + '\n';
        }
        config.write(text);
    }

    // A CA, the broker's certificate for 127.0.0.1 signed by it, and another CA.
    bool makeCertificates()
    {
        const auto path = [this](const char* name) { return m_dir.filePath(QString::fromLatin1(name)); };
        const QStringList key = {QStringLiteral("-newkey"),  QStringLiteral("ec"),
                                 QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                                 QStringLiteral("-nodes"),   QStringLiteral("-days"),
                                 QStringLiteral("2")};
        const auto ca = [&](const char* name, const char* subject) {
            return run(openssl(), QStringList{QStringLiteral("req"), QStringLiteral("-x509")}
                                      << key << QStringLiteral("-subj") << QString::fromLatin1(subject)
                                      << QStringLiteral("-keyout") << path(name) + QStringLiteral(".key")
                                      << QStringLiteral("-out") << path(name) + QStringLiteral(".pem"));
        };
        return ca("ca", "/CN=tq5900k test CA") && ca("other-ca", "/CN=another CA") &&
               run(openssl(), QStringList{QStringLiteral("req"), QStringLiteral("-x509")}
                                  << key << QStringLiteral("-subj") << QStringLiteral("/CN=127.0.0.1")
                                  << QStringLiteral("-addext")
                                  << QStringLiteral("subjectAltName=IP:127.0.0.1") << QStringLiteral("-CA")
                                  << path("ca.pem") << QStringLiteral("-CAkey") << path("ca.key")
                                  << QStringLiteral("-keyout") << path("broker.key") << QStringLiteral("-out")
                                  << path("broker.pem"));
    }

    // Runs a helper program to its end; false, with the problem noted, when it fails.
    bool run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return true;
        m_setupProblem = QStringLiteral("%1 %2: %3 %4")
                             .arg(program, arguments.join(u' '), process.errorString(),
                                  QString::fromLocal8Bit(process.readAll()));
        return false;
    }

    // Whether the broker's log says `text` after `from` within 5 s.
    bool waitForLog(const char* text, qsizetype from = 0)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_log.indexOf(text, from) < 0 && m_process.state() != QProcess::NotRunning) {
            const qint64 left = 5000 - clock.elapsed();
            if (left <= 0 || !m_process.waitForReadyRead(int(left)))
                break;
            m_log += m_process.readAll();
        }
        return m_log.indexOf(text, from) >= 0;
    }

    // A port no one listens on now: the system's choice for a socket bound to port 0.
    static quint16 freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        quint16 port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    QTemporaryDir m_dir;
    quint16 m_port;
    QString m_setupProblem;
    QProcess m_process;
    QByteArray m_log;
};
