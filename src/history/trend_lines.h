#pragma once
// The trend chart's data: one line of (time, °C) points per sensor, made from a
// query of the store, thinned to what a chart can draw, and answered in a
// thread of its own so that a week of readings never holds the window up.

#include "history_store.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QThread>
#include <QVector>

namespace history {

// A sensor's readings as points: x the time (UTC ms), y °C, in time order,
// in runs: where the readings stop for longer than the line's gap, a new run
// begins, and the chart draws no line between them. Readings without a
// temperature have no point.
struct TrendLine
{
    int position = 0;
    QList<QList<QPointF>> runs; // none when the sensor has no point in the range
    qint64 gapMs = 0;           // readings further apart than this are not joined
    qsizetype readings = 0;     // the points before thinning
};

struct TrendLines
{
    QVector<TrendLine> lines; // one per position asked for, in the query's order
    bool ok = true;
    QString errorText; // when not ok: the store's failure
};

// At most `maxPoints` of `points` (at least 4): kept as they are when they fit,
// otherwise split into maxPoints / 2 runs of equal length, each giving its
// lowest and highest point in time order, so that peaks and dips survive.
QList<QPointF> thinnedPoints(const QList<QPointF>& points, int maxPoints);

// A line breaks where its readings stop for longer than three times the
// spacing they come at: the record interval, or the median spacing of the
// readings (three at least) when that is longer (a loop that reads less often
// than the interval records), never less than kMinLineGapMs (with the interval
// 0 every reading is recorded, a few seconds apart: a pause of a few seconds is
// no hole).
inline constexpr qint64 kMinLineGapMs = 30 * 1000;
// A line of more runs than this keeps only its longest breaks, so that a
// sensor read on and off never turns into thousands of chart series.
inline constexpr int kMaxRunsPerLine = 100;
qint64 lineGapMs(const QList<QPointF>& points, qint64 intervalMs);

// `points` (in time order) cut where one is further than `gapMs` from the one
// before, at most `maxRuns` runs (the longest gaps cut), each run thinned to
// its share of `maxPoints` (thinnedPoints, at least 4 a run).
QList<QList<QPointF>> trendRuns(const QList<QPointF>& points, qint64 gapMs, int maxPoints,
                                int maxRuns = kMaxRunsPerLine);

// The query's readings as lines, each broken at its gaps (lineGapMs with the
// record interval `intervalMs`) and thinned to `maxPointsPerLine`.
TrendLines loadTrendLines(HistoryStore& store, const ReadingQuery& query, int maxPointsPerLine,
                          qint64 intervalMs);

// An axis's ticks on round values: the range widened to whole steps, `count`
// ticks from `low` to `high` `step` apart.
struct AxisTicks
{
    qint64 low = 0;
    qint64 high = 0;
    qint64 step = 0;
    int count = 0;
};
// The time axis over [fromMs, toMs] (UTC ms) with at most `maxTicks` ticks
// (at least 2) on round local times: the smallest step of 1, 2, 5, 10, 15,
// 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h, 1, 2 days, a week (from
// Monday) that fits; beyond that whole days. `utcOffsetMs` is local time's
// offset from UTC.
AxisTicks timeAxisTicks(qint64 fromMs, qint64 toMs, int maxTicks, qint64 utcOffsetMs);

// The °C axis over [low, high] with at most `maxTicks` ticks (at least 2): a
// step of 1, 2 or 5 times a power of ten, the ends on whole steps.
struct ValueTicks
{
    double low = 0;
    double high = 0;
    double step = 0;
    int count = 0;
};
ValueTicks valueAxisTicks(double low, double high, int maxTicks);

// Answers trend queries in a thread of its own, with a store (a connection) of
// its own; after a failed query the next one opens the database again.
class TrendQueries : public QObject
{
    Q_OBJECT
public:
    explicit TrendQueries(const QString& databasePath, QObject* parent = nullptr);
    // Waits for the query in progress, closes the store and ends the thread.
    ~TrendQueries() override;

    // Starts the query; `answered` brings its lines with the same ticket.
    void ask(int ticket, const ReadingQuery& query, int maxPointsPerLine, qint64 intervalMs);

Q_SIGNALS:
    void answered(int ticket, const history::TrendLines& lines);

private:
    QThread m_thread;
    QObject* m_worker; // lives in m_thread, which deletes it as it ends
};

} // namespace history
