// The simulated module over a real pseudo-terminal: the link in the program
// folder, requests and replies through the slave, line pacing (lower bounds
// only), each fault as the program would see it, and the link's lifecycle.

#include "protocol/baud_codes.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/line_timing.h"
#include "sim/pty_transport.h"
#include "sim/simulated_module.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace sim;

namespace {

QString spaced(const QByteArray& bytes)
{
    return protocol::spacedHex(bytes);
}

// The program's end of the line, with plain POSIX calls. The simulator runs on
// this thread, so every wait keeps the event loop going.
class LineEnd
{
public:
    ~LineEnd() { close(); }
    bool open(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
        ::tcflush(m_fd, TCIFLUSH);
        return true;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool write(const QByteArray& bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Reads until `count` bytes are in or `timeoutMs` passed.
    QByteArray read(int count, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < count && clock.elapsed() < timeoutMs && !m_hungUp) {
            got += take();
            if (got.size() < count)
                QTest::qWait(1);
        }
        return got;
    }
    // Everything that arrives within `ms`.
    QByteArray readFor(int ms) { return read(INT_MAX, ms); }
    // Until `count` bytes are in: each piece as the line handed it over.
    QByteArrayList readPieces(int count, int timeoutMs)
    {
        QByteArrayList pieces;
        int got = 0;
        QElapsedTimer clock;
        clock.start();
        while (got < count && clock.elapsed() < timeoutMs && !m_hungUp) {
            const QByteArray piece = take();
            if (!piece.isEmpty()) {
                pieces << piece;
                got += int(piece.size());
            } else {
                QTest::qWait(1);
            }
        }
        return pieces;
    }
    bool hungUp() const { return m_hungUp; }

private:
    QByteArray take()
    {
        char buffer[1024];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            return QByteArray(buffer, int(n));
        if (n == 0 || errno == EIO)
            m_hungUp = true; // the master side is gone
        return {};
    }

    int m_fd = -1;
    bool m_hungUp = false;
};

// Generous: the machine is shared, so waits for what must come are long.
constexpr int ReplyTimeoutMs = 5000;

} // namespace

class TestSimTransport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void replyThroughTheLink()
    {
        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        const QString link = m_dir->filePath(QStringLiteral("ports/COM4"));
        QCOMPARE(module.linkPath(), link);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), module.slavePath());
        QVERIFY(module.slavePath().startsWith(QLatin1String("/dev/pts/")));

        LineEnd line;
        QVERIFY(line.open(link));
        const QByteArray request = protocol::temperatureRequest(1, 3, 4, 1, 2);
        const QByteArray expected = ModuleModel::demo().reply(request);
        QVERIFY(line.write(request));
        QCOMPARE(spaced(line.read(int(expected.size()), ReplyTimeoutMs)), spaced(expected));
        QCOMPARE(module.framesReceived(), QByteArrayList{request});
        QTRY_COMPARE(module.repliesSent(), QByteArrayList{expected});

        // Garbage ahead of a request costs nothing but the garbage.
        const QByteArray address = protocol::readAddressRequest();
        QVERIFY(line.write(QByteArray::fromHex("FF0013") + address));
        QCOMPARE(spaced(line.read(7, ReplyTimeoutMs)), spaced(ModuleModel::demo().reply(address)));

        module.stop();
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(link));
    }

    // The program's own way in: QSerialPort on the link, closed and opened again.
    void serialPortReopens()
    {
        SimulatedModule module(m_dir->path(), 7);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        const QByteArray request = protocol::readSerialsRequest(1, 2, 3);
        const QByteArray expected = ModuleModel::demo().reply(request);
        for (int round = 0; round < 2; ++round) {
            QSerialPort port;
            port.setPortName(module.linkPath());
            port.setBaudRate(9600);
            QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
            port.clear();
            port.write(request);
            QTRY_VERIFY_WITH_TIMEOUT(port.bytesAvailable() >= expected.size(), ReplyTimeoutMs);
            QCOMPARE(spaced(port.readAll()), spaced(expected));
            port.close();
        }
        QCOMPARE(module.framesReceived().size(), 2);
    }

    void pacing_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::newRow("9600") << 9600;
        QTest::newRow("4800") << 4800;
    }
    // A 40-register reply (85 bytes) takes its line time; only the lower bound
    // is checked, an upper bound would depend on the machine's load.
    void pacing()
    {
        QFETCH(int, baudRate);
        ModuleModel model = ModuleModel::demo();
        model.setBaudCode(protocol::baudCodeForRate(baudRate));
        SimulatedModule module(m_dir->path(), 4, model);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));

        const QByteArray request = protocol::temperatureRequest(1, 3, 2, 1, 40);
        const int replyBytes = protocol::temperatureReplyLength(40);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(line.write(request));
        QCOMPARE(line.read(replyBytes, ReplyTimeoutMs).size(), replyBytes);
        const qint64 elapsedMicros = clock.nsecsElapsed() / 1000;
        const qint64 lineMicros = protocol::lineTimeUs(replyBytes, baudRate);
        QVERIFY2(
            elapsedMicros >= lineMicros * 9 / 10,
            qPrintable(QStringLiteral("%1 us for a line time of %2 us").arg(elapsedMicros).arg(lineMicros)));
    }

    // The baud change is answered at the old rate; what follows goes at the new one.
    void baudChangeSlowsTheLine()
    {
        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));
        QVERIFY(line.write(protocol::changeBaudRequest(2, 1)));
        QCOMPARE(line.read(8, ReplyTimeoutMs).size(), 8);
        QCOMPARE(module.model().baudRate(), 4800);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(line.write(protocol::temperatureRequest(1, 3, 2, 1, 40)));
        QCOMPARE(line.read(85, ReplyTimeoutMs).size(), 85);
        QVERIFY(clock.nsecsElapsed() / 1000 >= protocol::lineTimeUs(85, 4800) * 9 / 10);
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("length");     // bytes that must arrive; 0: none
        QTest::addColumn<int>("samePrefix"); // leading bytes equal to the true reply
        QTest::addColumn<int>("crcValid");   // 1 valid, 0 broken, -1 not checked
        QTest::addColumn<int>("minDelayMs");
        // The true reply to the request below is 9 bytes.
        QTest::newRow("no reply") << "noreply" << 0 << 0 << -1 << 0;
        QTest::newRow("delay") << "delay:400" << 9 << 9 << 1 << 400;
        QTest::newRow("truncate") << "truncate:5" << 5 << 5 << -1 << 0;
        QTest::newRow("corrupt CRC") << "corruptcrc" << 9 << 7 << 0 << 0;
        QTest::newRow("extra bytes") << "extrabytes:3" << 12 << 9 << -1 << 0;
        QTest::newRow("garbage") << "garbage" << 9 << 0 << -1 << 0;
        QTest::newRow("garbage, 4 bytes") << "garbage:4" << 4 << 0 << -1 << 0;
        QTest::newRow("collision") << "collision" << 9 << 4 << 0 << 0;
        QTest::newRow("collision from byte 7") << "collision:7" << 9 << 7 << 0 << 0;
        QTest::newRow("wrong station") << "wrongstation" << 9 << 0 << 1 << 0;
        // How the line carries the reply: these act together (faults split by ';').
        QTest::newRow("turnaround") << "turnaround:300" << 9 << 9 << 1 << 300;
        QTest::newRow("jitter") << "jitter:40" << 9 << 9 << 1 << 0;
        QTest::newRow("echo") << "echo" << 17 << 0 << -1 << 0;
        QTest::newRow("lead zeros") << "leadzero:3" << 12 << 0 << -1 << 0;
        QTest::newRow("echo, lead zeros, turnaround, corrupt CRC")
            << "echo;leadzero:2;turnaround:200;corruptcrc" << 19 << 0 << -1 << 200;
    }
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(int, length);
        QFETCH(int, samePrefix);
        QFETCH(int, crcValid);
        QFETCH(int, minDelayMs);
        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        QList<Fault> all;
        for (const QString& text : fault.split(QLatin1Char(';'))) {
            const std::optional<Fault> one = Fault::parse(text, &error);
            QVERIFY2(one, qPrintable(error));
            all << *one;
        }
        const std::optional<Fault> parsed = all.constLast();
        module.transport().setFaults(all);
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));

        const QByteArray request = protocol::temperatureRequest(1, 3, 4, 1, 2);
        const QByteArray truth = ModuleModel::demo().reply(request);
        QCOMPARE(truth.size(), 9);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(line.write(request));
        QByteArray got;
        if (length == 0) {
            got = line.readFor(800);
        } else {
            got = line.read(length, ReplyTimeoutMs);
            QVERIFY(clock.elapsed() >= minDelayMs);
            got += line.readFor(300); // nothing more may follow
        }
        QCOMPARE(got.size(), length);
        QCOMPARE(spaced(got.left(samePrefix)), spaced(truth.left(samePrefix)));
        if (crcValid >= 0)
            QCOMPARE(protocol::hasValidCrc(got), crcValid == 1);
        if (parsed->kind == Fault::Garbage && length == truth.size())
            QVERIFY(got != truth);
        if (parsed->kind == Fault::Collision) {
            for (int i = samePrefix; i < length; ++i)
                QVERIFY2(got[i] != truth[i], qPrintable(spaced(got))); // garbled, every byte
            QCOMPARE(module.transport().collisions(), 1);
        }
        if (parsed->kind == Fault::WrongStation) // another station's intact reply with the same data
            QCOMPARE(spaced(got), spaced(protocol::appendCrc(char(2) + truth.mid(1, 6))));
        // The request's own bytes, then zeros, then the reply (its CRC damaged where asked).
        QByteArray expected = truth;
        if (fault.contains(QLatin1String("corruptcrc")))
            expected[7] = char(expected.at(7) ^ 0x5A);
        if (fault.contains(QLatin1String("leadzero")))
            expected.prepend(QByteArray(length - 9 - (fault.contains(QLatin1String("echo")) ? 8 : 0), '\0'));
        if (fault.contains(QLatin1String("echo")))
            expected.prepend(request);
        if (fault.contains(QLatin1String("echo")) || fault.contains(QLatin1String("leadzero")))
            QCOMPARE(spaced(got), spaced(expected));
        QCOMPARE(module.framesReceived(), QByteArrayList{request});
    }

    // A USB adapter's latency timer: the reply comes whole, in a few bursts
    // rather than byte by byte (a loaded machine may merge bursts, never split them).
    void burstsHandTheReplyOverInPieces()
    {
        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        QVERIFY(module.applyLine(QStringLiteral("fault burst 30")));
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));
        const QByteArray request = protocol::temperatureRequest(1, 3, 4, 1, 40);
        const QByteArray truth = ModuleModel::demo().reply(request); // 85 bytes: 89 ms at 9600
        QVERIFY(line.write(request));
        const QByteArrayList pieces = line.readPieces(int(truth.size()), ReplyTimeoutMs);
        QCOMPARE(pieces.join(), truth);
        QVERIFY2(pieces.size() <= 4, qPrintable(QString::number(pieces.size())));
    }

    // The line is half duplex: a request sent while a reply goes out garbles the
    // rest of that reply and goes unanswered itself. Without collisions it waits
    // for the reply and is answered after it.
    void requestDuringAReply_data()
    {
        QTest::addColumn<bool>("collisions");
        QTest::newRow("collisions") << true;
        QTest::newRow("no collisions") << false;
    }
    void requestDuringAReply()
    {
        QFETCH(bool, collisions);
        ModuleModel model = ModuleModel::demo();
        model.setBaudCode(protocol::baudCodeForRate(4800)); // 85 bytes take 177 ms
        SimulatedModule module(m_dir->path(), 4, model);
        module.transport().setCollisionsEnabled(collisions);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        QSignalSpy collided(&module.transport(), &PtyTransport::requestCollided);
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));

        const QByteArray first = protocol::temperatureRequest(1, 3, 2, 1, 40);
        const QByteArray second = protocol::temperatureRequest(1, 3, 5, 1, 40);
        const QByteArray firstReply = model.reply(first);
        const QByteArray secondReply = model.reply(second);
        QVERIFY(line.write(first));
        const QByteArray before = line.read(10, ReplyTimeoutMs); // the reply is under way
        QVERIFY(line.write(second));
        const QByteArray read = before + line.read(int(firstReply.size() - before.size()), ReplyTimeoutMs);
        // One read may bring the end of the first reply and the start of the next.
        const QByteArray got = read.left(firstReply.size());
        const QByteArray after = read.mid(firstReply.size()) + line.readFor(400);
        QCOMPARE(spaced(got.left(before.size())), spaced(firstReply.left(before.size())));
        if (collisions) {
            QCOMPARE(got.size(), firstReply.size()); // garbled, not cut short
            QCOMPARE(got.back() == firstReply.back(), false);
            QCOMPARE(spaced(after), QString());
            QCOMPARE(module.framesReceived(), QByteArrayList{first});
            QCOMPARE(collided.size(), 1);
            QCOMPARE(collided[0][0].toByteArray(), second);
            QCOMPARE(module.transport().collisions(), 1);
            // Once the line is quiet, the module hears requests again.
            QVERIFY(line.write(second));
            QCOMPARE(spaced(line.read(int(secondReply.size()), ReplyTimeoutMs)), spaced(secondReply));
        } else {
            QCOMPARE(spaced(got), spaced(firstReply));
            QCOMPARE(spaced(after), spaced(secondReply));
            QCOMPARE(module.transport().collisions(), 0);
            QCOMPARE(collided.size(), 0);
        }
    }

    // A fault for the next request of one channel leaves the others alone and wears off.
    void faultForTheNextRequest()
    {
        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        QVERIFY2(module.applyLine(QStringLiteral("fault noreply next=1 channel=4"), &error),
                 qPrintable(error));
        QVERIFY(module.applyLine(QStringLiteral("temp 4 1 -2.00")));
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));

        QVERIFY(line.write(protocol::temperatureRequest(1, 3, 3, 1, 1)));
        QCOMPARE(line.read(7, ReplyTimeoutMs).size(), 7);
        QVERIFY(line.write(protocol::temperatureRequest(1, 3, 4, 1, 1)));
        QCOMPARE(line.readFor(600).size(), 0);
        QVERIFY(module.transport().faults().isEmpty());
        QVERIFY(line.write(protocol::temperatureRequest(1, 3, 4, 1, 1)));
        QCOMPARE(spaced(line.read(7, ReplyTimeoutMs)),
                 spaced(protocol::appendCrc(QByteArray::fromHex("010302FF38"))));
        // "Drop the next reply", said when a request is heard, means the next one.
        bool added = false;
        connect(&module.transport(), &PtyTransport::requestReceived, this, [&] {
            if (!added)
                module.setFault(*Fault::parse(QStringLiteral("noreply,next=1"), &error));
            added = true;
        });
        QVERIFY(line.write(protocol::temperatureRequest(1, 3, 3, 1, 1)));
        QCOMPARE(line.read(7, ReplyTimeoutMs).size(), 7);
        QVERIFY(line.write(protocol::temperatureRequest(1, 3, 3, 1, 1)));
        QCOMPARE(line.readFor(600).size(), 0);
        // Requests for another station are not answered and use up no fault.
        module.setFault(*Fault::parse(QStringLiteral("corruptcrc,next=1"), &error));
        QVERIFY(line.write(protocol::temperatureRequest(9, 3, 4, 1, 1)));
        QCOMPARE(line.readFor(300).size(), 0);
        QCOMPARE(module.transport().faults().size(), 1);
    }

    void vanish_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("bytesFirst"); // of the reply, before the device is gone
        QTest::newRow("at once") << "vanish" << 0;
        QTest::newRow("mid-reply") << "vanish:4" << 4;
    }
    void vanish()
    {
        QFETCH(QString, fault);
        QFETCH(int, bytesFirst);
        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QVERIFY2(module.start(&error), qPrintable(error));
        QSignalSpy vanished(&module.transport(), &PtyTransport::vanished);
        module.setFault(*Fault::parse(fault, &error));
        LineEnd line;
        QVERIFY(line.open(module.linkPath()));
        QVERIFY(line.write(protocol::readAddressRequest()));
        const QByteArray got = line.read(INT_MAX, ReplyTimeoutMs); // until the line dies
        QCOMPARE(spaced(got),
                 spaced(ModuleModel::demo().reply(protocol::readAddressRequest()).left(bytesFirst)));
        QVERIFY(line.hungUp());
        QCOMPARE(vanished.size(), 1);
        QVERIFY(!module.isRunning());
        QVERIFY(!QFileInfo(module.linkPath()).isSymLink());

        // It can come back, on a new pseudo-terminal under the same name.
        module.clearFaults();
        QVERIFY2(module.start(&error), qPrintable(error));
        LineEnd again;
        QVERIFY(again.open(module.linkPath()));
        QVERIFY(again.write(protocol::readAddressRequest()));
        QCOMPARE(again.read(7, ReplyTimeoutMs).size(), 7);
    }

    void existingEntry_data()
    {
        QTest::addColumn<QString>("entry"); // what is at ports/COM4 before the start
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("message");
        QTest::newRow("regular file") << "file" << false << false << "not a link";
        QTest::newRow("regular file, forced") << "file" << true << true << "";
        QTest::newRow("link to another device") << "/dev/null" << false << false << "not a pseudo-terminal";
        QTest::newRow("link to another device, forced") << "/dev/null" << true << true << "";
        QTest::newRow("dangling link") << "missing-target" << false << true << "";
        QTest::newRow("stale pty link") << "/dev/pts/4000" << false << true << "";
        QTest::newRow("folder, even forced") << "folder" << true << false << "folder";
    }
    void existingEntry()
    {
        QFETCH(QString, entry);
        QFETCH(bool, force);
        QFETCH(bool, started);
        QFETCH(QString, message);
        const QString link = m_dir->filePath(QStringLiteral("ports/COM4"));
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("ports"))));
        if (entry == QLatin1String("file")) {
            QFile file(link);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep me");
        } else if (entry == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(link));
        } else {
            QVERIFY(QFile::link(entry.startsWith(QLatin1Char('/')) ? entry : m_dir->filePath(entry), link));
        }

        SimulatedModule module(m_dir->path(), 4);
        QString error;
        QCOMPARE(module.start(&error, force), started);
        if (started) {
            QCOMPARE(QFileInfo(link).symLinkTarget(), module.slavePath());
        } else {
            QVERIFY2(error.contains(message) && error.contains(link), qPrintable(error));
            QVERIFY(QFileInfo::exists(link)); // left as it was
            if (entry == QLatin1String("/dev/null"))
                QCOMPARE(QFileInfo(link).symLinkTarget(), entry);
        }
    }

    // A second simulator takes the name over; the first must not remove its link.
    void stopRemovesOnlyItsOwnLink()
    {
        SimulatedModule first(m_dir->path(), 4);
        SimulatedModule second(m_dir->path(), 4);
        QString error;
        QVERIFY2(first.start(&error), qPrintable(error));
        QVERIFY2(second.start(&error), qPrintable(error));
        QCOMPARE(QFileInfo(second.linkPath()).symLinkTarget(), second.slavePath());
        first.stop();
        QCOMPARE(QFileInfo(second.linkPath()).symLinkTarget(), second.slavePath());
        second.stop();
        QVERIFY(!QFileInfo(second.linkPath()).isSymLink());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestSimTransport)
#include "test_sim_transport.moc"
