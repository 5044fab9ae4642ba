// MSComm over QSerialPort on real pseudo-terminals, reached as ports/COMn in a
// program folder: the request goes out, a reply in two chunks raises one receive
// event at the threshold, a busy port, the pty vanishing, and opening again.

#include "port/mscomm.h"
#include "port/port_names.h"
#include "port/qserialport_backend.h"
#include "port_tests.h"

#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

using namespace port;

namespace {

constexpr int kLongWait = 15000; // generous: the machine may be loaded

// The device side of a pseudo-terminal: the test plays the module on the master.
class Pty : public QObject
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // Hold the slave open (raw, so nothing echoes back) while the program's
        // port is closed; otherwise the master reports a hang-up.
        m_slave = ::open(QFile::encodeName(m_slavePath).constData(), O_RDWR | O_NOCTTY);
        if (m_slave < 0)
            return;
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
    }
    ~Pty() override { vanish(); }

    bool isValid() const { return m_notifier != nullptr; }
    QString slavePath() const { return m_slavePath; }

    bool send(const QByteArray& bytes)
    {
        return ::write(m_master, bytes.constData(), bytes.size()) == bytes.size();
    }
    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }

    // The device goes away: both ends closed.
    void vanish()
    {
        delete m_notifier;
        m_notifier = nullptr;
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

private:
    void readMaster()
    {
        char buffer[256];
        for (;;) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                m_received.append(buffer, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || errno != EAGAIN)
                m_notifier->setEnabled(false); // hang-up: stop a busy loop of notifications
            return;
        }
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_received;
};

// A program folder whose ports/COMn links point at pseudo-terminals.
class ProgramFolder
{
public:
    ProgramFolder() { m_ok = m_dir.isValid() && QDir(m_dir.path()).mkdir("ports"); }
    bool isValid() const { return m_ok; }
    QString path() const { return m_dir.path(); }
    bool link(int number, const QString& target)
    {
        const QString name = m_dir.path() + QStringLiteral("/ports/COM%1").arg(number);
        QFile::remove(name);
        return QFile::link(target, name);
    }
    std::unique_ptr<MSComm> makePort(int number) const
    {
        auto comm = std::make_unique<MSComm>(std::make_unique<QSerialPortBackend>());
        const QString folder = m_dir.path();
        comm->setPortNameResolver([folder](int n) { return resolvePortName(n, folder); });
        comm->setCommPort(number);
        return comm;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

} // namespace

class TestPty : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestAndReplyOverAPty()
    {
        ProgramFolder folder;
        QVERIFY(folder.isValid());
        Pty pty;
        if (!pty.isValid())
            QSKIP("no pseudo-terminals here");
        QVERIFY(folder.link(5, pty.slavePath()));

        // Written while nobody had the port open: must not show up as a reply.
        QVERIFY(pty.send("stale bytes"));

        auto comm = folder.makePort(5);
        QVERIFY(comm->setSettings("9600,N,8,1"));
        QCOMPARE(comm->systemName(), pty.slavePath());
        QVERIFY2(comm->setPortOpen(true), qPrintable(comm->backend()->errorText()));
        QVERIFY(comm->PortOpen());

        const QByteArray request = QByteArray::fromHex("020304010002 94C8");
        comm->Output(request);
        QTRY_COMPARE_WITH_TIMEOUT(pty.received(), request, kLongWait);

        // Two values: 2n + 5 = 9 bytes, followed by 3 that do not belong.
        const QByteArray reply = QByteArray::fromHex("020304 09C4 FF38 CB70");
        comm->setRThreshold(9);
        comm->setInputLen(9);
        QList<QByteArray> taken;
        int receiveEvents = 0;
        connect(comm.get(), &MSComm::OnComm, comm.get(), [&] {
            if (comm->CommEvent() != MSComm::comEvReceive)
                return;
            ++receiveEvents;
            taken << comm->Input();
            comm->setInBufferCount(0);
        });

        QVERIFY(pty.send(reply.left(5)));
        QTRY_COMPARE_WITH_TIMEOUT(comm->InBufferCount(), 5, kLongWait);
        QCOMPARE(receiveEvents, 0); // not before the threshold
        QVERIFY(pty.send(reply.mid(5) + QByteArray::fromHex("AABBCC")));
        QTRY_COMPARE_WITH_TIMEOUT(receiveEvents, 1, kLongWait);
        QCOMPARE(taken.value(0), reply);
        QTest::qWait(200);
        QCOMPARE(receiveEvents, 1);
        QCOMPARE(comm->InBufferCount(), 0); // the extra bytes were flushed

        // A speed change on the open pty must not hurt the line.
        QVERIFY(comm->setSettings("14400,N,8,1"));
        comm->Output("\x01");
        QTRY_COMPARE_WITH_TIMEOUT(pty.received(), request + "\x01", kLongWait);

        comm->setPortOpen(false);
        QVERIFY(!comm->PortOpen());
    }

    // Held input stays with the device: no arrival is reported, none is lost, and
    // on release every byte comes in the order it was sent, held or not.
    void heldInputArrivesWholeOnRelease()
    {
        ProgramFolder folder;
        QVERIFY(folder.isValid());
        Pty pty;
        if (!pty.isValid())
            QSKIP("no pseudo-terminals here");
        QVERIFY(folder.link(6, pty.slavePath()));
        auto comm = folder.makePort(6);
        QVERIFY2(comm->setPortOpen(true), qPrintable(comm->backend()->errorText()));
        QSignalSpy arrivals(comm.get(), &MSComm::bytesArrived);

        comm->setInputHeld(true);
        QByteArray sent;
        for (int i = 0; i < 40; ++i) {
            const QByteArray chunk(1, char(i));
            QVERIFY(pty.send(chunk));
            sent += chunk;
            QTest::qWait(2);
        }
        QTest::qWait(100);
        QCOMPARE(arrivals.size(), 0);
        comm->setInputHeld(false);
        QVERIFY(pty.send("\xAA"));
        sent += "\xAA";
        QTRY_COMPARE_WITH_TIMEOUT(comm->peekInput(), sent, kLongWait);
        QVERIFY(arrivals.size() <= 3); // in one go, not byte by byte

        // Released, bytes arrive as they come again.
        QVERIFY(pty.send("\xBB"));
        QTRY_COMPARE_WITH_TIMEOUT(comm->peekInput(), sent + "\xBB", kLongWait);
    }

    void secondOpenOfTheSamePortIsBusy()
    {
        ProgramFolder folder;
        QVERIFY(folder.isValid());
        Pty pty;
        if (!pty.isValid())
            QSKIP("no pseudo-terminals here");
        QVERIFY(folder.link(5, pty.slavePath()));
        QVERIFY(folder.link(6, pty.slavePath())); // the same device under another number

        auto first = folder.makePort(5);
        QVERIFY2(first->setPortOpen(true), qPrintable(first->backend()->errorText()));
        auto second = folder.makePort(5);
        QVERIFY(!second->setPortOpen(true));
        QCOMPARE(second->lastFailure(), OpenFailure::Busy);
        auto third = folder.makePort(6);
        QVERIFY(!third->setPortOpen(true));
        QCOMPARE(third->lastFailure(), OpenFailure::Busy);

        // Free again once the first lets go.
        first->setPortOpen(false);
        QVERIFY2(second->setPortOpen(true), qPrintable(second->backend()->errorText()));
    }

    void missingDevices()
    {
        ProgramFolder folder;
        QVERIFY(folder.isValid());
        QVERIFY(folder.link(8, folder.path() + "/no-such-device")); // dangling link
        auto comm = folder.makePort(8);
        QVERIFY(!comm->setPortOpen(true));
        QCOMPARE(comm->lastFailure(), OpenFailure::Missing);
    }

    void vanishingPtyIsOneLossAndCanBeReopened()
    {
        ProgramFolder folder;
        QVERIFY(folder.isValid());
        auto pty = std::make_unique<Pty>();
        if (!pty->isValid())
            QSKIP("no pseudo-terminals here");
        QVERIFY(folder.link(5, pty->slavePath()));
        auto comm = folder.makePort(5);
        QSignalSpy lost(comm.get(), &MSComm::connectionLost);
        QVERIFY2(comm->setPortOpen(true), qPrintable(comm->backend()->errorText()));

        pty->vanish();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kLongWait);
        QVERIFY(!comm->PortOpen());
        QTest::qWait(500); // a closed pty keeps reporting errors: none may get through
        QCOMPARE(lost.count(), 1);
        pty.reset();

        // The adapter comes back as another device: the link is updated, the port opens.
        Pty replacement;
        QVERIFY(replacement.isValid());
        QVERIFY(folder.link(5, replacement.slavePath()));
        QVERIFY2(comm->setPortOpen(true), qPrintable(comm->backend()->errorText()));
        comm->setRThreshold(2);
        QSignalSpy events(comm.get(), &MSComm::OnComm);
        comm->Output("hi");
        QTRY_COMPARE_WITH_TIMEOUT(replacement.received(), QByteArray("hi"), kLongWait);
        QVERIFY(replacement.send("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, kLongWait);
        QCOMPARE(comm->Input(), QByteArray("ok"));
        QCOMPARE(lost.count(), 1);
    }
};

std::unique_ptr<QObject> makePtyTest()
{
    return std::make_unique<TestPty>();
}

#include "test_pty.moc"
