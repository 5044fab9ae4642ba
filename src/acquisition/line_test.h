#pragma once
// The line test: the same request sent to one station N times, one after
// another on the request core, and what the line did with them: reply times,
// failures, an echo of the request, bytes before the replies, and the reply
// time-out the figures suggest. The figures are a pure function of the
// exchanges; LineTest runs the requests.

#include "request_fields.h"

#include "protocol/reply_judge.h"
#include "requests/request_core.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>
#include <optional>

namespace acquisition {

inline constexpr int kLineTestDefaultRequests = 50;
inline constexpr int kLineTestMaxRequests = 10000;

// What one exchange of the test came to.
struct LineTestSample
{
    protocol::ReplyStatus status = protocol::ReplyStatus::NoReply;
    int replyMs = -1; // -1: nothing came
    int echoBytes = 0;
    int skippedBytes = 0; // before the reply's start
};
// `taken`: the bytes taken for the exchange's request (RequestCore::replyTaken),
// in which an echo the line's tuning does not drop still shows.
LineTestSample lineTestSample(const requests::Exchange& exchange, const QByteArray& taken);

struct LineTestFigures
{
    int requests = 0;
    int usable = 0;
    int crcErrors = 0; // also replies cut short
    int noReplies = 0;
    int mismatches = 0;
    int exceptions = 0;
    std::optional<int> medianMs; // of the replies that came, whatever their verdict
    std::optional<int> p95Ms;
    bool echoSeen = false;
    qint64 garbageBytes = 0;
    std::optional<int> suggestedTimeoutMs; // none without a reply
};

LineTestFigures lineTestFigures(const QVector<LineTestSample>& samples);

// The reply time-out the figures suggest, from the 95th percentile of the
// reply times: twice it, so that a module whose answer varies with its load
// still answers within it, and at least 100 ms above it for the bursts in
// which an operating system or a USB adapter hands bytes over; rounded up to
// 50 ms and kept within LineTuning's range.
int suggestedReplyTimeoutMs(int p95Ms);

// The figures for the operator, a few lines.
QString lineTestText(const LineTestFigures& figures, bool stopped = false);

class LineTest : public QObject
{
    Q_OBJECT
public:
    explicit LineTest(requests::RequestCore& core, QObject* parent = nullptr);

    // Sends `count` temperature reads of `fields.channel` (from fields.start,
    // fields.count registers) to fields.station, each awaited for the core's
    // overdue time, so that a module slower than the reply time-out shows how
    // slow it is. False while a test runs or the port is closed.
    bool start(const TemperatureRequestFields& fields, int count);
    bool running() const { return m_running; }
    // Ends the test after the request on the line; finished() follows with what was seen.
    void stop();

Q_SIGNALS:
    void progress(int done, int total);
    // Every request was sent (`complete`), or the test was stopped or the port closed.
    void finished(const acquisition::LineTestFigures& figures, bool complete);

private:
    void askNext();
    void finish(bool complete);

    requests::RequestCore& m_core;
    TemperatureRequestFields m_fields;
    int m_total = 0;
    QVector<LineTestSample> m_samples;
    QByteArray m_taken; // for the request on the line
    bool m_running = false;
};

} // namespace acquisition

Q_DECLARE_METATYPE(acquisition::LineTestFigures)
