#pragma once
// What the benchmarks that drive the main window share: a program folder with
// its settings files, the simulated module tq5900k-sim serving COM4 there in a
// process of its own (so its byte pacing does not share the window's event
// loop), the window's all-channels loop seen pass by pass, and history.db
// read as another program reads it.

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QVector>
#include <functional>
#include <utility>

class MainWindow;
class QSqlQuery;

namespace rig {

inline constexpr int kPort = 4;

// comm.set (COM4 at `baud`) and ModSet.set (station 1, `channels` of `sensors` each) in `folder`.
bool writeSettings(const QString& folder, int baud, int channels, int sensors);

// A temporary program folder with its settings files, tq5900k-sim serving COM4
// there, and the program pointed at it; all undone when it goes.
struct Installation
{
    QTemporaryDir folder;
    QProcess sim;

    // writeSettings, then each of `files` (name and content), then the module
    // started with `simArgs`. False (with a message) when anything failed.
    bool start(int baud, int channels, int sensors, const QList<std::pair<QString, QByteArray>>& files = {},
               const QStringList& simArgs = {});
    ~Installation();
};

// UTC milliseconds, the clock the window stamps its readings with.
qint64 nowMs();

// An all-channels pass, from its first request written to its end (UTC ms).
struct PassSpan
{
    qint64 startMs = -1;
    qint64 endMs = -1;
    // When each channel's reply was taken, by channel - 1 (-1: none). Its
    // readings are stamped after that and before the next channel's reply.
    QVector<qint64> replyMs;

    // The times between which the readings of `channel` were stamped.
    std::pair<qint64, qint64> readingTimes(int channel) const;
};

// Tells `passEnded` of each pass of the window's all-channels loop as it ends
// (ReadingController::passFinished), while the cells still show what it read
// and its batch has just been handed to the history's writer.
class PassWatch : public QObject
{
public:
    PassWatch(MainWindow& window, std::function<void(const PassSpan&)> passEnded);

private:
    std::function<void(const PassSpan&)> m_passEnded;
    PassSpan m_span; // of the pass on the line
};

// A database opened read-only, as another program reads history.db.
class ReadOnlyDb
{
public:
    explicit ReadOnlyDb(const QString& path);
    ~ReadOnlyDb();
    ReadOnlyDb(const ReadOnlyDb&) = delete;
    ReadOnlyDb& operator=(const ReadOnlyDb&) = delete;

    // Hands each row of the statement, with `values` bound in order, to `row`.
    void forEach(const QString& statement, const QVariantList& values,
                 const std::function<void(const QSqlQuery&)>& row) const;
    // The first column of the first row.
    QVariant value(const QString& statement, const QVariantList& values = {}) const;
    QString integrity() const { return value(QStringLiteral("PRAGMA integrity_check")).toString(); }

private:
    QString m_connection;
};

// The window's reading runs on timers and signals: these run the event loop
// (a local QEventLoop, which a benchmark may) until what they wait for comes.

// Runs the event loop for `ms`.
void waitMs(int ms);

// Runs the event loop until no reading waits and the request core has nothing
// on the line or queued, at most `ms`; false when the line did not settle.
bool waitForQuietLine(MainWindow& window, int ms);

// Reads all channels once (readAllChannelsOnce, the "单次" button) and runs the
// event loop until the pass ends, at most `ms`; true when it ended having asked
// every channel.
bool runPass(MainWindow& window, int ms);

// Runs the all-channels loop ("循 坏", passes back to back) for `ms`, then
// stops it and waits for the pass on the line to end.
void runLoop(MainWindow& window, qint64 ms);

} // namespace rig
