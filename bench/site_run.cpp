// site_run: the headless reader as a site runs it, for a given time: two
// simulated modules (stations 1 and 2, 10 channels x 40 sensors, 9600 baud) on
// one pseudo-terminal, tq5900k-reader reading them round after round and
// publishing to a real mosquitto broker, which is stopped for a while halfway and
// started again. A subscriber keeps what the broker delivers; at the end every
// line the reader printed must have arrived (lost, duplicated and unexpected
// messages are counted), and the reader's CPU time and memory are sampled as it
// runs.
//
//   site_run [--minutes M] [--outage-seconds S] [--interval SECONDS]
//
// Needs /usr/sbin/mosquitto (Debian package mosquitto). Not a test: it prints figures.

#include "../tests/common/mosquitto_broker.h"
#include "../tests/common/mqtt_subscriber.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kChannels = 10;
constexpr int kSensors = 40;
const QByteArray kSite = "bench";

struct Sample
{
    double atSeconds = 0; // since the reader started
    double cpuSeconds = 0;
    qint64 rssKiB = 0;
};

// The reader's CPU time so far and resident memory, from /proc.
Sample sampleOf(qint64 pid)
{
    Sample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th of them.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            s.cpuSeconds =
                double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                s.rssKiB = line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return s;
}

void say(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs tq5900k-reader against two simulated modules and a "
                       "mosquitto broker that restarts halfway; counts what arrives."));
    parser.addHelpOption();
    const QCommandLineOption minutesOption(QStringLiteral("minutes"),
                                           QStringLiteral("Run time (default 10)."), QStringLiteral("M"),
                                           QStringLiteral("10"));
    const QCommandLineOption outageOption(
        QStringLiteral("outage-seconds"),
        QStringLiteral("How long the broker is away, halfway (default 10)."), QStringLiteral("S"),
        QStringLiteral("10"));
    const QCommandLineOption intervalOption(
        QStringLiteral("interval"), QStringLiteral("The reader's --interval (default 0: back to back)."),
        QStringLiteral("SECONDS"), QStringLiteral("0"));
    parser.addOptions({minutesOption, outageOption, intervalOption});
    parser.process(app);
    const double minutes = parser.value(minutesOption).toDouble();
    const int outageSeconds = parser.value(outageOption).toInt();
    if (minutes <= 0 || outageSeconds < 0) {
        std::fprintf(stderr, "--minutes must be above 0, --outage-seconds 0 or more\n");
        return 2;
    }
    if (!MosquittoBroker::available()) {
        std::fprintf(stderr, "needs %s (Debian package mosquitto)\n", qPrintable(MosquittoBroker::program()));
        return 2;
    }

    // The broker keeps the subscriber's session across its restart, as a site's broker does.
    MosquittoBroker broker(true);
    if (!broker.start()) {
        std::fprintf(stderr, "the broker did not start:\n%s\n", qPrintable(broker.log()));
        return 1;
    }
    MqttSubscriber subscriber(broker.port(), "tq5900k/" + kSite + "/#", "site_run-subscriber");

    QTemporaryDir folder;
    QProcess sim;
    sim.setStandardInputFile(QProcess::nullDevice());
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(TQ_SIM_PROGRAM),
              {QStringLiteral("--folder"), folder.path(), QStringLiteral("--port"), QStringLiteral("COM4"),
               QStringLiteral("--more-station"), QStringLiteral("2"), QStringLiteral("--swing"),
               QStringLiteral("3"), QStringLiteral("--noise"), QStringLiteral("0.2")});
    if (!sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the simulated modules did not start\n");
        return 1;
    }

    QProcess reader;
    QByteArray printed;
    QObject::connect(&reader, &QProcess::readyReadStandardOutput, &app,
                     [&] { printed += reader.readAllStandardOutput(); });
    QObject::connect(&reader, &QProcess::readyReadStandardError, &app, [&] {
        for (const QByteArray& line : reader.readAllStandardError().trimmed().split('\n'))
            say(QStringLiteral("  reader says: %1").arg(QString::fromLocal8Bit(line)));
    });
    reader.start(QStringLiteral(TQ_READER_PROGRAM),
                 {QStringLiteral("--port"),      QDir(folder.path()).filePath(QStringLiteral("ports/COM4")),
                  QStringLiteral("--stations"),  QStringLiteral("1,2"),
                  QStringLiteral("--channels"),  QString::number(kChannels),
                  QStringLiteral("--sensors"),   QString::number(kSensors),
                  QStringLiteral("--interval"),  parser.value(intervalOption),
                  QStringLiteral("--format"),    QStringLiteral("jsonl"),
                  QStringLiteral("--mqtt-host"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("--mqtt-port"), QString::number(broker.port()),
                  QStringLiteral("--site"),      QString::fromLatin1(kSite),
                  QStringLiteral("--name"),      QStringLiteral("bench")});
    if (!reader.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", TQ_READER_PROGRAM);
        return 1;
    }
    const qint64 pid = reader.processId();
    say(QStringLiteral("reader %1 runs; broker on 127.0.0.1:%2; %3 minutes, the broker away %4 s halfway")
            .arg(pid)
            .arg(broker.port())
            .arg(minutes)
            .arg(outageSeconds));

    const qint64 runMs = qint64(minutes * 60000);
    QElapsedTimer clock;
    clock.start();
    std::vector<Sample> samples;
    QTimer sampler;
    const auto sample = [&] {
        samples.push_back(sampleOf(pid));
        samples.back().atSeconds = double(clock.elapsed()) / 1000;
    };
    QObject::connect(&sampler, &QTimer::timeout, &app, sample);
    sampler.start(5000); // the first sample after the reader has settled (connected, first rounds)

    QTimer::singleShot(int(runMs / 2), &app, [&] {
        say(QStringLiteral("%1 s: broker stopped").arg(clock.elapsed() / 1000));
        broker.stop();
        QTimer::singleShot(outageSeconds * 1000, &app, [&] {
            const bool started = broker.start();
            say(QStringLiteral("%1 s: broker started again%2")
                    .arg(clock.elapsed() / 1000)
                    .arg(started ? QString() : QStringLiteral(" -- FAILED")));
        });
    });
    QTimer::singleShot(int(runMs), &app, [&] {
        sampler.stop();
        sample();
        reader.terminate();
    });
    QObject::connect(&reader, &QProcess::finished, &app, &QCoreApplication::quit);
    app.exec();
    const double runSeconds = double(clock.elapsed()) / 1000;
    printed += reader.readAllStandardOutput();

    // What the reader printed is what it handed to the publisher; wait until it has all come.
    QHash<QByteArray, int> expected;
    int lines = 0;
    for (const QByteArray& line : printed.split('\n'))
        if (!line.isEmpty()) {
            ++expected[line];
            ++lines;
        }
    const auto arrived = [&] {
        QHash<QByteArray, int> got;
        for (const MqttSubscriber::Message& m : subscriber.messages())
            if (!m.topic.contains("/readers/"))
                ++got[m.payload];
        return got;
    };
    QHash<QByteArray, int> got = arrived();
    QElapsedTimer settle;
    settle.start();
    qint64 gotCount = 0;
    while (settle.elapsed() < 30000) {
        got = arrived();
        int missing = 0;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            missing += got.value(it.key()) < it.value();
        if (missing == 0)
            break;
        QThread::msleep(200);
    }
    int lost = 0, duplicates = 0, unexpected = 0, failures = 0;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        lost += std::max(0, it.value() - got.value(it.key()));
        duplicates += std::max(0, got.value(it.key()) - it.value());
        failures +=
            it.key().contains("\"state\":\"no_reply\"") || it.key().contains("\"state\":\"crc_error\"");
    }
    for (auto it = got.cbegin(); it != got.cend(); ++it) {
        gotCount += it.value();
        if (!expected.contains(it.key()))
            unexpected += it.value();
    }
    QByteArray status;
    for (const MqttSubscriber::Message& m : subscriber.messages())
        if (m.topic.endsWith("/readers/bench/status"))
            status = m.payload;

    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const auto [lo, hi] = std::minmax_element(
        samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.rssKiB < b.rssKiB; });
    say(QStringLiteral("\nsite_run: %1 s, stations 1 and 2, %2 channels x %3 sensors, 9600 baud")
            .arg(runSeconds, 0, 'f', 1)
            .arg(kChannels)
            .arg(kSensors));
    say(QStringLiteral("  lines printed      %1 (%2 rounds of 800 values; %3 failed-channel lines)")
            .arg(lines)
            .arg(double(lines - failures) / (2 * kChannels * kSensors), 0, 'f', 1)
            .arg(failures));
    say(QStringLiteral("  messages received  %1").arg(gotCount));
    say(QStringLiteral("  lost               %1").arg(lost));
    say(QStringLiteral("  duplicates         %1 (QoS 1 may send again what was in flight at the restart)")
            .arg(duplicates));
    say(QStringLiteral("  unexpected         %1").arg(unexpected));
    say(QStringLiteral("  status topic       %1").arg(QString::fromUtf8(status)));
    const double sampledSeconds = last.atSeconds - first.atSeconds;
    say(QStringLiteral("  reader CPU         %1 % of one core (%2 s in %3 s)")
            .arg(100.0 * (last.cpuSeconds - first.cpuSeconds) / sampledSeconds, 0, 'f', 2)
            .arg(last.cpuSeconds - first.cpuSeconds, 0, 'f', 2)
            .arg(sampledSeconds, 0, 'f', 1));
    say(QStringLiteral("  reader RSS         start %1 KiB, end %2 KiB, min %3, max %4 (%5 samples)")
            .arg(first.rssKiB)
            .arg(last.rssKiB)
            .arg(lo->rssKiB)
            .arg(hi->rssKiB)
            .arg(samples.size()));

    sim.terminate();
    sim.waitForFinished(5000);
    return lost == 0 && unexpected == 0 ? 0 : 1;
}
