// bench_startup: start-up of tq5900k, from exec to its first painted window,
// against an empty Qt window of the same size (bench_empty_window). Each run is
// a whole process; wall time is taken around fork/exec/wait4, CPU time and peak
// memory (ru_maxrss) come from wait4's rusage of the child.
//
// tq5900k runs from a copy in a temporary program folder: ten channels of 160
// sensors (1600 value cells plus their labels) and a saved port, COM30, that is
// not in the port list, so start-up opens nothing and shows no message box.
//
//   bench_startup [--runs R] [--sensors S]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr double kTargetRatio = 2.0;
constexpr unsigned kRunLimitSeconds = 60; // a program that never quits is killed by SIGALRM

struct Run
{
    double wallMs = 0;
    double cpuMs = 0;
    long maxRssKiB = 0;
};

struct Subject
{
    const char* name;
    QString program;
    QString folder; // working directory
    QString stderrPath;
    std::vector<Run> runs;
};

double ms(const timeval& t)
{
    return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0;
}

// Environment of the child: ours, with the offscreen platform and the quit-after-paint switch.
std::vector<std::string> childEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("TQ_EXIT_AFTER_SHOW=", 0) == 0 ||
            entry.rfind("TQ_SCREENSHOT=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    env.emplace_back("TQ_EXIT_AFTER_SHOW=1");
    return env;
}

bool runOnce(Subject& subject, const std::vector<std::string>& env)
{
    const QByteArray program = QFile::encodeName(subject.program);
    const QByteArray folder = QFile::encodeName(subject.folder);
    const QByteArray errPath = QFile::encodeName(subject.stderrPath);
    // Everything the child needs is prepared before fork: it only execs.
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.constData()), nullptr};

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::fprintf(stderr, "fork: %s\n", std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        const int err = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (devnull >= 0) {
            ::dup2(devnull, STDIN_FILENO);
            ::dup2(devnull, STDOUT_FILENO);
        }
        if (err >= 0)
            ::dup2(err, STDERR_FILENO);
        if (::chdir(folder.constData()) != 0)
            ::_exit(126);
        ::alarm(kRunLimitSeconds);
        ::execve(program.constData(), argv, envp.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t done;
    do
        done = ::wait4(pid, &status, 0, &usage);
    while (done < 0 && errno == EINTR);
    const auto end = std::chrono::steady_clock::now();
    if (done != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: %s %d; its messages are in %s\n", subject.name,
                     WIFSIGNALED(status) ? "killed by signal" : "exit status",
                     WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status),
                     qPrintable(subject.stderrPath));
        return false;
    }
    Run run;
    run.wallMs = std::chrono::duration<double, std::milli>(end - start).count();
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    run.maxRssKiB = usage.ru_maxrss;
    subject.runs.push_back(run);
    return true;
}

template <typename Field> double medianOf(const std::vector<Run>& runs, Field field)
{
    std::vector<double> values;
    for (const Run& r : runs)
        values.push_back(double(field(r)));
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Summary
{
    double wall, wallMin, wallMax, cpu, rssMaxMiB;
};

Summary summarise(const Subject& s)
{
    Summary m{};
    m.wall = medianOf(s.runs, [](const Run& r) { return r.wallMs; });
    m.cpu = medianOf(s.runs, [](const Run& r) { return r.cpuMs; });
    const auto [lo, hi] = std::minmax_element(s.runs.begin(), s.runs.end(),
                                              [](const Run& a, const Run& b) { return a.wallMs < b.wallMs; });
    m.wallMin = lo->wallMs;
    m.wallMax = hi->wallMs;
    m.rssMaxMiB =
        double(std::max_element(s.runs.begin(), s.runs.end(),
                                [](const Run& a, const Run& b) { return a.maxRssKiB < b.maxRssKiB; })
                   ->maxRssKiB) /
        1024.0;
    return m;
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times start-up of tq5900k (10 x 160 cells) against an empty Qt window."));
    parser.addHelpOption();
    const QCommandLineOption runsOption({QStringLiteral("r"), QStringLiteral("runs")},
                                        QStringLiteral("Timed runs of each program (default 10)."),
                                        QStringLiteral("R"), QStringLiteral("10"));
    const QCommandLineOption sensorsOption(QStringLiteral("sensors"),
                                           QStringLiteral("Sensors per channel, 1-160 (default 160)."),
                                           QStringLiteral("S"), QStringLiteral("160"));
    parser.addOptions({runsOption, sensorsOption});
    parser.process(app);
    bool ok = false;
    const int runs = parser.value(runsOption).toInt(&ok);
    if (!ok || runs < 1) {
        std::fprintf(stderr, "--runs: expected a positive number\n");
        return 2;
    }
    const int sensors = parser.value(sensorsOption).toInt(&ok);
    if (!ok || sensors < 1 || sensors > 160) {
        std::fprintf(stderr, "--sensors: expected 1 to 160\n");
        return 2;
    }

    // The program's folder is its own directory, so it runs from a copy in a
    // folder that holds the settings of this benchmark and nothing else.
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("tq5900k"));
    if (!folder.isValid() || !QFile::copy(QStringLiteral(TQ_PROGRAM), copy) ||
        !QFile::setPermissions(copy, QFile::permissions(QStringLiteral(TQ_PROGRAM))) ||
        !writeFile(folder.filePath(QStringLiteral("ModSet.set")),
                   "1,10," + QByteArray::number(sensors) + ",1\r\n") ||
        !writeFile(folder.filePath(QStringLiteral("comm.set")), "30,9600\r\n")) {
        std::fprintf(stderr, "cannot prepare the program folder %s\n", qPrintable(folder.path()));
        return 1;
    }

    Subject full{"tq5900k", copy, folder.path(), folder.filePath(QStringLiteral("tq5900k.err")), {}};
    Subject empty{"bench_empty_window",
                  QStringLiteral(TQ_EMPTY_WINDOW),
                  folder.path(),
                  folder.filePath(QStringLiteral("empty.err")),
                  {}};

    const std::vector<std::string> env = childEnvironment();
    // One untimed run each fills the page cache; then the two alternate, so
    // that load from other users of the machine falls on both alike.
    if (!runOnce(full, env) || !runOnce(empty, env)) {
        folder.setAutoRemove(false);
        return 1;
    }
    full.runs.clear();
    empty.runs.clear();
    for (int i = 0; i < runs; ++i) {
        if (!runOnce(full, env) || !runOnce(empty, env)) {
            folder.setAutoRemove(false);
            return 1;
        }
    }

    const Summary f = summarise(full);
    const Summary e = summarise(empty);
    std::printf("Start-up to the first painted window and exit (offscreen), %d runs each\n", runs);
    std::printf("  %-20s %10s %10s %10s %10s %12s\n", "", "median ms", "min ms", "max ms", "CPU ms",
                "peak RSS MiB");
    const std::string fullName = "tq5900k (10x" + std::to_string(sensors) + ")";
    for (const auto& [name, s] : {std::pair{fullName.c_str(), f}, std::pair{"empty window", e}})
        std::printf("  %-20s %10.1f %10.1f %10.1f %10.1f %12.1f\n", name, s.wall, s.wallMin, s.wallMax, s.cpu,
                    s.rssMaxMiB);
    const double ratio = f.wall / e.wall;
    std::printf("  full / empty (median wall) %.2f   target <= %.1f: %s\n", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "met" : "MISSED");
    std::printf("  full / empty (median CPU)  %.2f\n", f.cpu / e.cpu);
    std::printf("  peak RSS: tq5900k %.1f MiB, empty window %.1f MiB (+%.1f MiB)\n", f.rssMaxMiB, e.rssMaxMiB,
                f.rssMaxMiB - e.rssMaxMiB);
    return 0;
}
