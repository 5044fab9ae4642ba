// soak: the window reads the simulated module around the clock while random
// faults hit the line, and counts what it shows. Both reading loops and the
// automatic serial-number write take turns; every value a cell shows is
// checked against what the module holds, and every write reported done against
// the module's table. Memory is sampled as it goes.
//
//   soak --seconds N [--baud 9600] [--seed S] [--phase-seconds P]
//
// Not part of the test suite: it runs as long as it is told (at least ten
// minutes for a meaningful figure). It exits with status 1 when any wrong value
// was shown.

#include "window_rig.h"

#include "sim/simulated_module.h"

#include "protocol/temperature.h"
#include "serials/serial_file.h"
#include "serials/serial_numbers.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/program_folder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kChannels = 10;
constexpr int kSensors = 40;
constexpr int kWriteChannel = 9;
constexpr int kWriteEntries = 40;

// Resident memory of this process in KiB (Linux).
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Counts
{
    int requests = 0;
    int replies = 0;
    int faultsInjected = 0;
    int faultsShown = 0;
    int valuesChecked = 0;
    int wrongValues = 0;
    int writesDone = 0;
    int writesFailed = 0;
    int wrongWrites = 0;
};

// A fault for the next request, of a kind and size the program must survive
// without a wrong value: late replies start before the channel's deadline (a
// reply that starts after it cannot be told from the next channel's).
sim::Fault randomFault(QRandomGenerator& random)
{
    sim::Fault fault;
    fault.remaining = 1;
    switch (random.bounded(6)) {
    case 0:
        fault.kind = sim::Fault::NoReply;
        break;
    case 1:
        fault.kind = sim::Fault::Delay;
        fault.argument = 50 + random.bounded(400);
        break;
    case 2:
        fault.kind = sim::Fault::Truncate;
        fault.argument = 1 + random.bounded(80);
        break;
    case 3:
        fault.kind = sim::Fault::CorruptCrc;
        break;
    case 4:
        fault.kind = sim::Fault::ExtraBytes;
        fault.argument = 1 + random.bounded(20);
        break;
    default:
        fault.kind = sim::Fault::Garbage;
        break;
    }
    return fault;
}

class Soak : public QObject
{
public:
    Soak(const QString& folder, int baud, quint32 seed, int phaseSeconds)
        : m_folder(folder), m_random(seed), m_phaseMs(phaseSeconds * 1000),
          m_module(folder, rig::kPort, sim::ModuleModel::demo())
    {
        m_baud = baud;
    }

    bool start()
    {
        QString error;
        if (!m_module.start(&error, true)) {
            std::fprintf(stderr, "the simulated module did not start: %s\n", qPrintable(error));
            return false;
        }
        connect(&m_module, &sim::SimulatedModule::frameReceived, this, [this] {
            ++m_counts.requests;
            m_module.clearHistory(); // the soak keeps counts, not frames
        });
        connect(&m_module, &sim::SimulatedModule::replySent, this, [this] { ++m_counts.replies; });
        m_window.startUp();
        if (!m_window.MSComm1->PortOpen()) {
            std::fprintf(stderr, "the program did not open COM4\n");
            return false;
        }
        connect(m_window.txtState, &QPlainTextEdit::textChanged, this, [this] { noteStatus(); });
        // The cells start with their designed "0": only what a reading writes is checked.
        for (int c = 1; c <= kChannels; ++c)
            for (QLineEdit* cell : m_window.valueCells(c))
                cell->clear();
        writeImportFile();
        return true;
    }

    void run(qint64 totalMs)
    {
        QElapsedTimer clock;
        clock.start();
        QTimer faults;
        connect(&faults, &QTimer::timeout, this, [this] {
            if (m_random.bounded(3) == 0) {
                m_module.addFault(randomFault(m_random));
                ++m_counts.faultsInjected;
            }
        });
        faults.start(250);
        QTimer cells;
        connect(&cells, &QTimer::timeout, this, [this] { checkCells(); });
        cells.start(200);

        const long startKiB = residentKiB();
        long peakKiB = startKiB;
        std::printf("%8s %9s %9s %9s %9s %9s %9s\n", "seconds", "requests", "replies", "faults", "shown",
                    "wrong", "RSS KiB");
        int phase = 0;
        qint64 nextReport = 0;
        while (clock.elapsed() < totalMs) {
            runPhase(phase++ % 3);
            const long now = residentKiB();
            peakKiB = std::max(peakKiB, now);
            if (clock.elapsed() >= nextReport) {
                std::printf("%8lld %9d %9d %9d %9d %9d %9ld\n", clock.elapsed() / 1000, m_counts.requests,
                            m_counts.replies, m_counts.faultsInjected, m_counts.faultsShown,
                            m_counts.wrongValues, now);
                std::fflush(stdout);
                nextReport += 60000;
            }
        }
        const long endKiB = residentKiB();
        std::printf("\nSoak of %.1f minutes at %d baud\n", clock.elapsed() / 60000.0, m_baud);
        std::printf("  requests          %9d\n  replies           %9d\n", m_counts.requests,
                    m_counts.replies);
        std::printf("  faults injected   %9d\n  faults shown      %9d\n", m_counts.faultsInjected,
                    m_counts.faultsShown);
        std::printf("  values checked    %9d\n  wrong values      %9d   (must be 0)\n",
                    m_counts.valuesChecked, m_counts.wrongValues);
        std::printf("  writes reported   %9d done, %d failed; wrong: %d   (must be 0)\n", m_counts.writesDone,
                    m_counts.writesFailed, m_counts.wrongWrites);
        std::printf("  memory (RSS)      %9ld KiB at the start, %ld at the end, %ld at the peak\n", startKiB,
                    endKiB, peakKiB);
    }

    bool clean() const { return m_counts.wrongValues == 0 && m_counts.wrongWrites == 0; }

private:
    void runPhase(int which)
    {
        switch (which) {
        case 0: // the all-channels loop, passes back to back
            m_window.txtTimerSet[1]->setText(QStringLiteral("1"));
            m_window.startAllChannelsLoop();
            rig::waitMs(m_phaseMs);
            m_window.stopAllChannelsLoop();
            break;
        case 1: // the single-channel loop on one channel
            m_window.txtChannel->setText(QString::number(1 + m_random.bounded(kChannels)));
            m_window.txtTimerSet[0]->setText(QStringLiteral("50"));
            m_window.startChannelLoop();
            rig::waitMs(m_phaseMs);
            m_window.stopChannelLoop();
            break;
        default: // the automatic serial-number write
            writePhase();
            break;
        }
        // Let a reading still on the line finish before the next phase.
        if (!rig::waitForQuietLine(m_window, 60000))
            std::fprintf(stderr, "the line did not settle within a minute after a phase\n");
    }

    void writePhase()
    {
        m_messages.clear();
        m_window.importSerialFile();
        m_window.txtInputAddid->setText(QStringLiteral("1"));
        m_window.txtObjChannelID->setText(QString::number(kWriteChannel));
        m_window.txtTimer5->setText(QStringLiteral("20"));
        for (int p = 1; p <= kWriteEntries; ++p)
            m_module.model().setTableEntry(kWriteChannel, p, sim::blankRom());
        m_window.startAutomaticWrite();
        // Its end is a message box (the handler quits this loop), or the phase's time runs out.
        if (m_window.Timer5->isTicking()) {
            QEventLoop loop;
            m_writeEnded = &loop;
            QTimer::singleShot(4 * m_phaseMs, &loop, &QEventLoop::quit);
            loop.exec();
            m_writeEnded = nullptr;
        }
        m_window.stopAutomaticWrite();
        // The last write's reply, or its deadline.
        rig::waitForQuietLine(m_window, 10000);
        // Every position reported written must hold what was sent.
        const QStringList lines = m_window.txtSn->toPlainText().split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (!line.startsWith(QStringLiteral("导入到")))
                continue;
            const int position = line.section(QLatin1Char(' '), 2, 2).section(QLatin1Char('#'), 0, 0).toInt();
            if (!line.endsWith(QStringLiteral("[成功]"))) {
                ++m_counts.writesFailed;
                continue;
            }
            ++m_counts.writesDone;
            const sim::Rom held = m_module.model().tableEntry(kWriteChannel, position);
            if (position < 1 || position > kWriteEntries ||
                serials::serialText(QByteArray(reinterpret_cast<const char*>(held.data()), 8)) !=
                    m_entries.value(position - 1)) {
                ++m_counts.wrongWrites;
                std::fprintf(stderr, "wrong write reported done: %s\n", qPrintable(line));
            }
        }
    }

    void writeImportFile()
    {
        for (int i = 0; i < kWriteEntries; ++i) {
            const sim::Rom rom = sim::makeRom(quint8(0x10 + i), 0x5A, quint8(i), 0x01);
            m_entries << serials::serialText(QByteArray(reinterpret_cast<const char*>(rom.data()), 8));
        }
        const QString path = QDir(m_folder).filePath(QStringLiteral("soak.txt"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(serials::formatSerialFile(m_entries));
        dialogs::setFileDialogHandler([path](const dialogs::FileDialogRequest&) { return path; });
        dialogs::setMessageBoxHandler([this](const dialogs::MessageBoxRequest& request) {
            m_messages << request.text;
            if (m_writeEnded)
                m_writeEnded->quit();
            return int(dialogs::AnswerOk);
        });
    }

    // A status that names a fault: a flagged reply, an overdue one, a failed write.
    void noteStatus()
    {
        const QString text = m_window.txtState->toPlainText();
        for (const char16_t* mark :
             {u"CRC校验错误", u"应答与请求不符", u"模块异常响应", u"3秒内未收到响应"}) {
            if (text.contains(QString::fromUtf16(mark)) && text != m_lastFaultShown) {
                m_lastFaultShown = text;
                ++m_counts.faultsShown;
                return;
            }
        }
    }

    // Every value a cell shows must be what the module holds there.
    void checkCells()
    {
        for (int c = 1; c <= kChannels; ++c) {
            const QVector<QLineEdit*>& cells = m_window.valueCells(c);
            for (int k = 0; k < kSensors && k < cells.size(); ++k) {
                const QString shown = cells[k]->text();
                if (shown.isEmpty() || cells[k]->palette().color(QPalette::Text) != QColor(Qt::black))
                    continue;
                ++m_counts.valuesChecked;
                const QString held = protocol::temperatureText(m_module.model().registerAt(c, k + 1));
                if (shown != held && !m_reported.contains(c * 1000 + k)) {
                    m_reported.insert(c * 1000 + k);
                    ++m_counts.wrongValues;
                    std::fprintf(stderr,
                                 "wrong value: channel %d position %d shows %s, the module holds %s\n", c,
                                 k + 1, qPrintable(shown), qPrintable(held));
                }
            }
        }
    }

    QString m_folder;
    QRandomGenerator m_random;
    int m_phaseMs;
    int m_baud = 9600;
    sim::SimulatedModule m_module;
    MainWindow m_window;
    Counts m_counts;
    QStringList m_entries;
    QStringList m_messages;
    QEventLoop* m_writeEnded = nullptr; // runs while the automatic write goes on
    QString m_lastFaultShown;
    QSet<int> m_reported;
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads the simulated module for a given time with random faults on the line."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"), QStringLiteral("How long to run (10 to 86400)."), QStringLiteral("N"));
    const QCommandLineOption baudOption(QStringLiteral("baud"), QStringLiteral("Baud rate (default 9600)."),
                                        QStringLiteral("B"), QStringLiteral("9600"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the faults (default 1)."),
                                        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption phaseOption(
        QStringLiteral("phase-seconds"),
        QStringLiteral("Seconds each reading loop runs in turn (default 20)."), QStringLiteral("P"),
        QStringLiteral("20"));
    parser.addOptions({secondsOption, baudOption, seedOption, phaseOption});
    parser.process(app);

    bool ok = false;
    const int seconds = parser.value(secondsOption).toInt(&ok);
    if (!ok || seconds < 10 || seconds > 86400) {
        std::fprintf(stderr, "--seconds: a whole number of seconds from 10 to 86400 is needed\n");
        return 2;
    }
    const int baud = parser.value(baudOption).toInt(&ok);
    if (!ok || (baud != 4800 && baud != 9600 && baud != 14400 && baud != 19200)) {
        std::fprintf(stderr, "--baud: 4800, 9600, 14400 or 19200\n");
        return 2;
    }
    const quint32 seed = parser.value(seedOption).toUInt(&ok);
    const int phaseSeconds = parser.value(phaseOption).toInt(&ok);
    if (!ok || phaseSeconds < 1) {
        std::fprintf(stderr, "--phase-seconds: a whole number of seconds, 1 or more\n");
        return 2;
    }

    QTemporaryDir folder;
    if (!folder.isValid() || !rig::writeSettings(folder.path(), baud, kChannels, kSensors)) {
        std::fprintf(stderr, "cannot prepare a program folder\n");
        return 1;
    }
    setProgramFolderForTests(folder.path());

    int status = 1;
    {
        Soak soak(folder.path(), baud, seed, phaseSeconds);
        if (soak.start()) {
            soak.run(qint64(seconds) * 1000);
            status = soak.clean() ? 0 : 1;
        }
    }
    setProgramFolderForTests(QString());
    return status;
}
