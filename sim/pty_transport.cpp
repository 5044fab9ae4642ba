#include "pty_transport.h"

#include "line_speed.h"
#include "module_model.h"
#include "protocol/crc16.h"
#include "protocol/frame_log.h"
#include "protocol/line_timing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

QString systemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// Target of a symlink, relative targets taken from the link's folder; empty if
// `path` is not a symlink.
QString linkTarget(const QString& path)
{
    char buffer[PATH_MAX];
    const QByteArray native = QFile::encodeName(path);
    const ssize_t n = ::readlink(native.constData(), buffer, sizeof buffer - 1);
    if (n < 0)
        return {};
    const QString target = QFile::decodeName(QByteArray(buffer, int(n)));
    return QDir::isAbsolutePath(target) ? target : QFileInfo(path).absolutePath() + QLatin1Char('/') + target;
}

bool setNonBlockingCloseOnExec(int fd)
{
    const int fl = ::fcntl(fd, F_GETFL);
    const int fdfl = ::fcntl(fd, F_GETFD);
    return fl >= 0 && fdfl >= 0 && ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, fdfl | FD_CLOEXEC) == 0;
}

// After the last byte a vanishing device sent, the line dies a moment later, so
// that the program has read those bytes when its port fails.
constexpr int VanishPauseMs = 20;

} // namespace

PtyTransport::PtyTransport(ModuleModel* model, QObject* parent) : QObject(parent), m_model(model)
{
    m_pumpTimer.setSingleShot(true);
    m_pumpTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pumpTimer, &QTimer::timeout, this, &PtyTransport::pump);
    m_vanishTimer.setSingleShot(true);
    connect(&m_vanishTimer, &QTimer::timeout, this, &PtyTransport::vanish);
    m_clock.start();
}

PtyTransport::~PtyTransport()
{
    close();
}

QString PtyTransport::linkPathFor(const QString& programFolder, int portNumber)
{
    return QDir(programFolder).filePath(QStringLiteral("ports/COM%1").arg(portNumber));
}

bool PtyTransport::open(const QString& linkPath, bool force, QString* error)
{
    close();
    const auto failWith = [&](const QString& message) {
        if (error)
            *error = message;
        close();
        return false;
    };

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return failWith(systemError(QStringLiteral("posix_openpt")));
    if (!setNonBlockingCloseOnExec(m_master) || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return failWith(systemError(QStringLiteral("preparing the pseudo-terminal")));
    char name[PATH_MAX];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return failWith(systemError(QStringLiteral("ptsname")));
    m_slavePath = QFile::decodeName(name);

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0)
        return failWith(systemError(QStringLiteral("opening %1").arg(m_slavePath)));
    // Raw bytes both ways: no echo, no line editing, no CR/LF translation.
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0)
        return failWith(systemError(QStringLiteral("tcgetattr")));
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return failWith(systemError(QStringLiteral("tcsetattr")));

    if (!makeLink(linkPath, force, error)) {
        close();
        return false;
    }

    m_splitter.clear();
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyTransport::onReadable);
    return true;
}

bool PtyTransport::makeLink(const QString& linkPath, bool force, QString* error)
{
    const QFileInfo info(linkPath);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    if (info.isSymLink() || info.exists()) {
        const QString target = linkTarget(linkPath);
        const bool replaceable =
            info.isSymLink() && (target.startsWith(QLatin1String("/dev/pts/")) || !QFileInfo::exists(target));
        if (info.isDir() && !info.isSymLink()) {
            if (error)
                *error = QStringLiteral("%1 is a folder; not replacing it").arg(linkPath);
            return false;
        }
        if (!replaceable && !force) {
            if (error) {
                *error = info.isSymLink()
                             ? QStringLiteral("%1 already links to %2, which is not a pseudo-terminal; "
                                              "not replacing it (use --force)")
                                   .arg(linkPath, target)
                             : QStringLiteral(
                                   "%1 already exists and is not a link; not replacing it (use --force)")
                                   .arg(linkPath);
            }
            return false;
        }
    }
    // Link under a temporary name, then rename over: the entry is never missing.
    const QString temporary = linkPath + QStringLiteral(".new%1").arg(::getpid());
    const QByteArray tmp = QFile::encodeName(temporary);
    ::unlink(tmp.constData());
    if (::symlink(QFile::encodeName(m_slavePath).constData(), tmp.constData()) != 0 ||
        ::rename(tmp.constData(), QFile::encodeName(linkPath).constData()) != 0) {
        if (error)
            *error = systemError(QStringLiteral("linking %1 to %2").arg(linkPath, m_slavePath));
        ::unlink(tmp.constData());
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PtyTransport::removeLink()
{
    // Only our own link: another simulator may have taken the name over since.
    if (!m_linkPath.isEmpty() && !m_slavePath.isEmpty() && linkTarget(m_linkPath) == m_slavePath)
        ::unlink(QFile::encodeName(m_linkPath).constData());
    m_linkPath.clear();
}

void PtyTransport::close()
{
    m_pumpTimer.stop();
    m_vanishTimer.stop();
    m_outgoing.clear();
    if (m_notifier) {
        // close() may run inside the notifier's own handler (a Vanish fault).
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    removeLink();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
    m_slavePath.clear();
}

void PtyTransport::setFault(const Fault& fault)
{
    m_faults.clear();
    if (fault.kind != Fault::None)
        m_faults.append(fault);
}

void PtyTransport::onReadable()
{
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read; EIO cannot happen while we hold the slave open
    }
    if (bytes.isEmpty())
        return;
    if (m_collisionsEnabled && collide(int(bytes.size()), nowMicros())) {
        m_splitter.clear(); // whatever of a request came before is garbled with it
        emit requestCollided(bytes);
        return;
    }
    m_splitter.setSilenceGapMicros(protocol::interFrameGapUs(lineRate()));
    const QList<QByteArray> frames = m_splitter.push(bytes, nowMicros());
    const QByteArray dropped = m_splitter.takeDiscarded();
    if (!dropped.isEmpty())
        emit garbageDiscarded(dropped);
    for (const QByteArray& frame : frames) {
        handleRequest(frame);
        if (!isOpen())
            return; // vanished
    }
}

bool PtyTransport::collide(int count, qint64 nowMicros)
{
    // The program's bytes take their own time on the line from the moment they arrive.
    const qint64 endMicros = nowMicros + protocol::lineTimeUs(count, lineRate());
    bool met = false;
    for (Outgoing& out : m_outgoing) {
        const qint64 outEnd = out.startMicros + protocol::lineTimeUs(int(out.bytes.size()), out.baudRate);
        if (endMicros <= out.startMicros || nowMicros >= outEnd)
            continue;
        // Bytes wholly on the line before the collision arrive intact.
        const qint64 carried = protocol::bytesCarriedInUs(nowMicros - out.startMicros, out.baudRate);
        garble(out.bytes, int(qMax<qint64>(out.written, carried)));
        met = true;
    }
    if (met)
        ++m_collisions;
    return met;
}

void PtyTransport::garble(QByteArray& bytes, int from)
{
    // Every byte changes, so a garbled reply never passes for the true one.
    for (int i = qMax(0, from); i < bytes.size(); ++i)
        bytes[i] = char(quint8(bytes.at(i)) ^ quint8(1 + m_random.bounded(255)));
}

QByteArray PtyTransport::randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(m_random.bounded(256));
    return bytes;
}

int PtyTransport::filteringRate() const
{
    const int first = m_model->baudRate();
    for (const ModuleModel* other : m_moreModels)
        if (other->baudRate() != first)
            return terminalBaudRate(m_master);
    return 0;
}

int PtyTransport::lineRate() const
{
    const int rate = filteringRate();
    return rate > 0 ? rate : m_model->baudRate();
}

void PtyTransport::handleRequest(const QByteArray& request)
{
    // The first module that hears the request and answers it replies, at the
    // rate the request came in, even if the request changes its rate.
    const int heardAt = filteringRate();
    int baud = m_model->baudRate();
    QByteArray reply;
    for (ModuleModel* module : QList<ModuleModel*>{m_model} + m_moreModels) {
        const int moduleRate = module->baudRate();
        if (heardAt > 0 && moduleRate != heardAt)
            continue;
        reply = module->reply(request);
        if (!reply.isEmpty()) {
            baud = moduleRate;
            break;
        }
    }
    // The first fault that matches is used up before anyone hears of the request,
    // so a fault added in reaction to it applies to the next request, not this one.
    // Faults that shape how the line carries the reply all apply besides it.
    std::optional<Fault> used;
    QList<Fault> lineFaults;
    for (int i = 0; i < m_faults.size() && !reply.isEmpty();) {
        Fault& fault = m_faults[i];
        const bool shapesLine = Fault::shapesLine(fault.kind);
        if (!fault.matches(request) || (used && !shapesLine)) {
            ++i;
            continue;
        }
        if (shapesLine)
            lineFaults.append(fault);
        else
            used = fault;
        if (fault.remaining > 0 && --fault.remaining == 0)
            m_faults.removeAt(i);
        else
            ++i;
    }
    emit requestReceived(request);
    if (reply.isEmpty())
        return;

    qint64 delayMicros = 0;
    bool vanishAfter = false;
    for (const Fault& fault : lineFaults)
        emit faultApplied(fault, request);
    if (used && !Fault::shapesLine(used->kind)) {
        qCDebug(lcFrames) << "fault" << used->toString();
        emit faultApplied(*used, request);
        switch (used->kind) {
        case Fault::None:
            break;
        case Fault::NoReply:
            return;
        case Fault::Vanish:
            if (used->argument == 0) {
                vanish();
                return;
            }
            reply.truncate(used->argument);
            vanishAfter = true;
            break;
        case Fault::Delay:
            delayMicros = qint64(used->argument) * 1000;
            break;
        case Fault::Truncate:
            reply.truncate(used->argument);
            break;
        case Fault::CorruptCrc:
            reply[reply.size() - 2] = char(reply.at(reply.size() - 2) ^ 0x5A);
            break;
        case Fault::ExtraBytes:
            reply += randomBytes(used->argument);
            break;
        case Fault::Garbage:
            reply = randomBytes(used->argument > 0 ? used->argument : int(reply.size()));
            break;
        case Fault::Collision:
            garble(reply, used->argument > 0 ? used->argument : int(reply.size() / 2));
            ++m_collisions;
            break;
        case Fault::WrongStation:
            reply[0] = char(used->argument > 0 ? used->argument : quint8(reply.at(0)) % 249 + 1);
            reply = protocol::appendCrc(reply.left(reply.size() - 2));
            break;
        case Fault::Echo:
        case Fault::LeadZero:
        case Fault::Jitter:
        case Fault::Turnaround:
        case Fault::Burst:
            break;
        }
    }
    if (reply.isEmpty())
        return;

    // On the real line the request itself takes its time to arrive, and the
    // module keeps 3.5 characters of silence before it answers.
    qint64 turnaroundMicros = protocol::interFrameGapUs(baud);
    bool echo = false;
    qint64 burstMicros = 0;
    for (const Fault& fault : lineFaults) {
        switch (fault.kind) {
        case Fault::Echo:
            echo = true;
            break;
        case Fault::LeadZero:
            reply.prepend(QByteArray(fault.argument, '\0'));
            break;
        case Fault::Jitter:
            delayMicros += qint64(m_random.bounded(fault.argument + 1)) * 1000;
            break;
        case Fault::Turnaround:
            turnaroundMicros = qint64(fault.argument) * 1000;
            break;
        case Fault::Burst:
            burstMicros = qint64(fault.argument) * 1000;
            break;
        default:
            break;
        }
    }
    const qint64 now = nowMicros();
    qint64 ready = now + protocol::lineTimeUs(int(request.size()), baud) + turnaroundMicros + delayMicros;
    if (echo) {
        // The adapter hears the request as it goes out: its bytes come back at
        // once, and the reply follows after the module's turnaround.
        ready -= protocol::lineTimeUs(int(request.size()), baud);
        reply.prepend(request);
    }
    Outgoing out;
    out.bytes = reply;
    out.baudRate = baud;
    out.startMicros = qMax(ready, m_lineFreeMicros);
    out.vanishAfter = vanishAfter;
    out.burstMicros = burstMicros;
    m_lineFreeMicros = out.startMicros + protocol::lineTimeUs(int(reply.size()), baud);
    m_outgoing.push_back(out);
    pump();
}

void PtyTransport::pump()
{
    while (!m_outgoing.empty() && m_master >= 0) {
        Outgoing& head = m_outgoing.front();
        const qint64 now = nowMicros();
        // Byte i is handed over once its ten bits have passed on the line; in
        // bursts, at the first burst's end after that.
        const qint64 elapsed = now - head.startMicros;
        const qint64 handedOver =
            head.burstMicros > 0 && elapsed > 0 ? elapsed / head.burstMicros * head.burstMicros : elapsed;
        const int due =
            int(qMin<qint64>(head.bytes.size(), protocol::bytesCarriedInUs(handedOver, head.baudRate)));
        if (due > head.written) {
            const ssize_t n =
                ::write(m_master, head.bytes.constData() + head.written, size_t(due - head.written));
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                qCWarning(lcFrames) << "simulator: write to the pseudo-terminal failed:"
                                    << std::strerror(errno);
                m_outgoing.clear();
                return;
            }
            if (n > 0)
                head.written += int(n);
            if (n < 0 || head.written < due) {
                m_pumpTimer.start(1); // the program is not reading; try again shortly
                return;
            }
        }
        if (head.written == head.bytes.size()) {
            const QByteArray sent = head.bytes;
            const bool vanishing = head.vanishAfter;
            m_outgoing.pop_front();
            emit replySent(sent);
            if (vanishing) {
                m_outgoing.clear(); // nothing more leaves a device that is gone
                m_vanishTimer.start(VanishPauseMs);
                return;
            }
            continue;
        }
        qint64 nextDue = head.startMicros + protocol::lineTimeUs(head.written + 1, head.baudRate);
        if (head.burstMicros > 0) // the burst that carries that byte
            nextDue = head.startMicros + ((nextDue - head.startMicros + head.burstMicros - 1) / head.burstMicros) *
                                             head.burstMicros;
        m_pumpTimer.start(int(qMax<qint64>(1, (nextDue - now + 999) / 1000)));
        return;
    }
}

void PtyTransport::vanish()
{
    close();
    emit vanished();
}

} // namespace sim
