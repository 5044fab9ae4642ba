#include "window_rig.h"

#include "ui/main_window.h"
#include "ui/program_folder.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace rig {

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool startSimulator(QProcess& sim, const QString& folder, int baud, const QStringList& extraArgs)
{
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.setStandardInputFile(QProcess::nullDevice()); // no console
    sim.setStandardOutputFile(QProcess::nullDevice());
    const QStringList args = QStringList{QStringLiteral("--folder"), folder,
                                         QStringLiteral("--port"),   QStringLiteral("COM%1").arg(kPort),
                                         QStringLiteral("--baud"),   QString::number(baud)} +
                             extraArgs;
    sim.start(QStringLiteral(TQ_SIM_PROGRAM), args);
    if (!sim.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s: %s\n", TQ_SIM_PROGRAM, qPrintable(sim.errorString()));
        return false;
    }
    const QString link = QDir(folder).filePath(QStringLiteral("ports/COM%1").arg(kPort));
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo(link).isSymLink()) {
        if (sim.state() != QProcess::Running || waited.elapsed() > 10000) {
            std::fprintf(stderr, "the simulated module did not provide %s\n", qPrintable(link));
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

void stopSimulator(QProcess& sim)
{
    sim.terminate();
    if (!sim.waitForFinished(5000)) {
        sim.kill();
        sim.waitForFinished(2000);
    }
}

} // namespace

bool writeSettings(const QString& folder, int baud, int channels, int sensors)
{
    const QDir dir(folder);
    return writeFile(dir.filePath(QStringLiteral("comm.set")),
                     QByteArray::number(kPort) + ',' + QByteArray::number(baud) + "\r\n") &&
           writeFile(dir.filePath(QStringLiteral("ModSet.set")),
                     "1," + QByteArray::number(channels) + ',' + QByteArray::number(sensors) + ",1\r\n");
}

Installation::~Installation()
{
    if (sim.state() != QProcess::NotRunning)
        stopSimulator(sim);
    setProgramFolderForTests(QString());
}

bool Installation::start(int baud, int channels, int sensors,
                         const QList<std::pair<QString, QByteArray>>& files, const QStringList& simArgs)
{
    bool written = folder.isValid() && writeSettings(folder.path(), baud, channels, sensors);
    for (const auto& [name, content] : files)
        written = written && writeFile(folder.filePath(name), content);
    if (!written) {
        std::fprintf(stderr, "cannot prepare a program folder\n");
        return false;
    }
    setProgramFolderForTests(folder.path());
    return startSimulator(sim, folder.path(), baud, simArgs);
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::pair<qint64, qint64> PassSpan::readingTimes(int channel) const
{
    const qint64 from = replyMs.value(channel - 1, -1);
    const qint64 next = replyMs.value(channel, -1);
    return {from >= 0 ? from : startMs, next >= 0 ? next : endMs};
}

PassWatch::PassWatch(MainWindow& window, std::function<void(const PassSpan&)> passEnded)
    : m_passEnded(std::move(passEnded))
{
    requests::RequestCore* core = &window.requestCore();
    connect(core, &requests::RequestCore::requestWritten, this, [this] {
        if (m_span.startMs < 0)
            m_span.startMs = nowMs();
    });
    connect(core, &requests::RequestCore::replyTaken, this, [this](const requests::Reply& reply) {
        const int channel = reply.request.context.channel;
        if (channel < 1)
            return;
        if (m_span.replyMs.size() < channel)
            m_span.replyMs.resize(channel, -1);
        m_span.replyMs[channel - 1] = nowMs();
    });
    // Connected after the window's own handler, which hands the pass's batch to
    // the history's writer: by now it has.
    connect(&window.reading(), &acquisition::ReadingController::passFinished, this, [this] {
        if (m_span.startMs < 0)
            return;
        m_span.endMs = nowMs();
        m_passEnded(std::exchange(m_span, PassSpan{}));
    });
}

ReadOnlyDb::ReadOnlyDb(const QString& path) : m_connection(QStringLiteral("read-only %1").arg(path))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(db.lastError().text()));
}

ReadOnlyDb::~ReadOnlyDb()
{
    QSqlDatabase::removeDatabase(m_connection);
}

void ReadOnlyDb::forEach(const QString& statement, const QVariantList& values,
                         const std::function<void(const QSqlQuery&)>& row) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(query.lastError().text()));
    while (query.next())
        row(query);
}

QVariant ReadOnlyDb::value(const QString& statement, const QVariantList& values) const
{
    QVariant first;
    forEach(statement, values, [&first](const QSqlQuery& q) {
        if (!first.isValid())
            first = q.value(0);
    });
    return first;
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitForQuietLine(MainWindow& window, int ms)
{
    const auto quiet = [&window] { return !window.readingBusy() && window.requestCore().idle(); };
    if (quiet())
        return true;
    QEventLoop loop;
    const auto check = [&] {
        if (quiet())
            loop.quit();
    };
    // A reading's end and the core's last exchange: whichever comes last finds the line quiet.
    QObject::connect(&window.reading(), &acquisition::ReadingController::passFinished, &loop, check);
    QObject::connect(&window.reading(), &acquisition::ReadingController::temperatureAnswered, &loop, check,
                     Qt::QueuedConnection);
    QObject::connect(&window.requestCore(), &requests::RequestCore::becameIdle, &loop, check,
                     Qt::QueuedConnection);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return quiet();
}

bool runPass(MainWindow& window, int ms)
{
    QEventLoop loop;
    bool ended = false;
    bool complete = false;
    QObject::connect(&window.reading(), &acquisition::ReadingController::passFinished, &loop,
                     [&](bool whole) {
                         ended = true;
                         complete = whole;
                         loop.quit();
                     });
    window.readAllChannelsOnce();
    if (!window.reading().passRunning())
        return false; // refused, or the port is closed
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!ended)
        loop.exec();
    return ended && complete;
}

void runLoop(MainWindow& window, qint64 ms)
{
    window.txtTimerSet[1]->setText(QStringLiteral("1")); // shorter than a pass: back to back
    window.startAllChannelsLoop();
    waitMs(int(std::min<qint64>(ms, INT_MAX)));
    window.stopAllChannelsLoop();
    waitForQuietLine(window, 60000);
}

} // namespace rig
