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

// A sensor's readings as points: x the time (UTC ms), y °C, in time order.
// Readings without a temperature have no point.
struct TrendLine
{
    int position = 0;
    QList<QPointF> points;
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

// The query's readings as lines, each thinned to `maxPointsPerLine`.
TrendLines loadTrendLines(HistoryStore& store, const ReadingQuery& query, int maxPointsPerLine);

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
    void ask(int ticket, const ReadingQuery& query, int maxPointsPerLine);

Q_SIGNALS:
    void answered(int ticket, const history::TrendLines& lines);

private:
    QThread m_thread;
    QObject* m_worker; // lives in m_thread, which deletes it as it ends
};

} // namespace history
