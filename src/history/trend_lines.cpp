#include "trend_lines.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace history {

QList<QPointF> thinnedPoints(const QList<QPointF>& points, int maxPoints)
{
    maxPoints = std::max(maxPoints, 4);
    if (points.size() <= maxPoints)
        return points;
    const qsizetype runs = maxPoints / 2;
    QList<QPointF> thinned;
    thinned.reserve(2 * runs);
    for (qsizetype r = 0; r < runs; ++r) {
        const qsizetype begin = r * points.size() / runs;
        const qsizetype end = (r + 1) * points.size() / runs;
        const auto byValue = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
        const auto [low, high] = std::minmax_element(points.cbegin() + begin, points.cbegin() + end, byValue);
        // The two in the order they were read, so the line never runs back in time.
        if (low->y() == high->y()) { // a flat run
            thinned.append(*low);
        } else if (low < high) {
            thinned.append(*low);
            thinned.append(*high);
        } else {
            thinned.append(*high);
            thinned.append(*low);
        }
    }
    return thinned;
}

qint64 lineGapMs(const QList<QPointF>& points, qint64 intervalMs)
{
    qint64 spacing = std::max<qint64>(intervalMs, 0);
    // One spacing alone may be the hole itself: the median needs two at least,
    // and of an even number the lower one is taken.
    if (points.size() >= 3) {
        std::vector<qint64> spacings;
        spacings.reserve(size_t(points.size() - 1));
        for (qsizetype i = 1; i < points.size(); ++i)
            spacings.push_back(qint64(points[i].x() - points[i - 1].x()));
        const auto median = spacings.begin() + qsizetype((spacings.size() - 1) / 2);
        std::nth_element(spacings.begin(), median, spacings.end());
        spacing = std::max(spacing, *median);
    }
    return std::max(3 * spacing, kMinLineGapMs);
}

QList<QList<QPointF>> trendRuns(const QList<QPointF>& points, qint64 gapMs, int maxPoints, int maxRuns)
{
    if (points.isEmpty())
        return {};
    const auto gapBefore = [&points](qsizetype i) { return points[i].x() - points[i - 1].x(); };
    QList<qsizetype> runEnds; // the first point of each run after the first
    for (qsizetype i = 1; i < points.size(); ++i) {
        if (gapBefore(i) > qreal(gapMs))
            runEnds.append(i);
    }
    const qsizetype maxBreaks = std::max(maxRuns, 1) - 1;
    if (runEnds.size() > maxBreaks) {
        std::nth_element(runEnds.begin(), runEnds.begin() + maxBreaks, runEnds.end(),
                         [&](qsizetype a, qsizetype b) { return gapBefore(a) > gapBefore(b); });
        runEnds.resize(maxBreaks);
        std::sort(runEnds.begin(), runEnds.end());
    }
    runEnds.append(points.size());
    QList<QList<QPointF>> runs;
    qsizetype begin = 0;
    for (qsizetype end : runEnds) {
        const qint64 share = qint64(maxPoints) * (end - begin) / points.size();
        runs.append(thinnedPoints(points.mid(begin, end - begin), int(share)));
        begin = end;
    }
    return runs;
}

TrendLines loadTrendLines(HistoryStore& store, const ReadingQuery& query, int maxPointsPerLine,
                          qint64 intervalMs)
{
    TrendLines result;
    QHash<int, qsizetype> lineOf;
    QList<QList<QPointF>> points;
    for (int position : query.positions) {
        lineOf.insert(position, result.lines.size());
        result.lines.append(TrendLine{position, {}, 0, 0});
        points.append(QList<QPointF>());
    }
    result.ok = store.forEachReading(query, [&](const Reading& reading) {
        const auto line = lineOf.constFind(reading.position);
        if (reading.celsius && line != lineOf.constEnd())
            points[*line].append(QPointF(qreal(reading.timeMs), *reading.celsius));
        return true;
    });
    if (!result.ok) {
        result.errorText = store.errorText();
        result.lines.clear();
        return result;
    }
    for (qsizetype i = 0; i < result.lines.size(); ++i) {
        TrendLine& line = result.lines[i];
        line.readings = points[i].size();
        line.gapMs = lineGapMs(points[i], intervalMs);
        line.runs = trendRuns(points[i], line.gapMs, maxPointsPerLine);
    }
    return result;
}

namespace {

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Ticks every `step` from `anchor` (a local time on a tick) over [fromMs, toMs].
AxisTicks ticksEvery(qint64 step, qint64 anchor, qint64 fromMs, qint64 toMs, qint64 utcOffsetMs)
{
    AxisTicks ticks;
    ticks.step = step;
    const qint64 first = floorDiv(fromMs + utcOffsetMs - anchor, step);
    const qint64 last = std::max(-floorDiv(-(toMs + utcOffsetMs - anchor), step), first + 1);
    ticks.low = first * step + anchor - utcOffsetMs;
    ticks.high = last * step + anchor - utcOffsetMs;
    ticks.count = int(std::min<qint64>(last - first + 1, std::numeric_limits<int>::max()));
    return ticks;
}

} // namespace

AxisTicks timeAxisTicks(qint64 fromMs, qint64 toMs, int maxTicks, qint64 utcOffsetMs)
{
    constexpr qint64 s = 1000, m = 60 * s, h = 60 * m, d = 24 * h;
    constexpr qint64 steps[] = {s,      2 * s,  5 * s, 10 * s, 15 * s, 30 * s, m,      2 * m, 5 * m, 10 * m,
                                15 * m, 30 * m, h,     2 * h,  3 * h,  6 * h,  12 * h, d,     2 * d, 7 * d};
    constexpr qint64 monday = -3 * d; // 1969-12-29, the Monday before the epoch's Thursday
    maxTicks = std::max(maxTicks, 2);
    toMs = std::max(toMs, fromMs);
    for (qint64 step : steps) {
        const AxisTicks ticks = ticksEvery(step, step == 7 * d ? monday : 0, fromMs, toMs, utcOffsetMs);
        if (ticks.count <= maxTicks)
            return ticks;
    }
    // Whole days, as few as fit.
    qint64 days = std::max<qint64>((toMs - fromMs) / d / (maxTicks - 1), 1);
    for (;; ++days) {
        const AxisTicks ticks = ticksEvery(days * d, 0, fromMs, toMs, utcOffsetMs);
        if (ticks.count <= maxTicks)
            return ticks;
    }
}

ValueTicks valueAxisTicks(double low, double high, int maxTicks)
{
    maxTicks = std::max(maxTicks, 2);
    if (!(high > low))
        high = low + 1;
    // Steps from a tenth of what an even split would take, upwards, until the ticks fit.
    constexpr double kSlack = 1e-9; // a value a rounding error off a whole step is on it
    double power = std::pow(10.0, std::floor(std::log10((high - low) / (maxTicks - 1))) - 1);
    for (;; power *= 10) {
        for (double multiple : {1.0, 2.0, 5.0}) {
            ValueTicks ticks;
            ticks.step = multiple * power;
            const double first = std::floor(low / ticks.step + kSlack);
            const double last = std::ceil(high / ticks.step - kSlack);
            const double count = last - first + 1;
            if (count <= maxTicks) {
                ticks.low = first * ticks.step;
                ticks.high = last * ticks.step;
                ticks.count = int(count);
                return ticks;
            }
        }
    }
}

namespace {
// The worker in the query thread: opens its store on the first query, and
// again after a query failed (the file was locked, missing or replaced).
class TrendWorker : public QObject
{
public:
    explicit TrendWorker(const QString& path) : m_path(path) {}
    TrendLines load(const ReadingQuery& query, int maxPointsPerLine, qint64 intervalMs)
    {
        if (!m_store)
            m_store = std::make_unique<HistoryStore>(m_path);
        TrendLines lines = m_store->ok() ? loadTrendLines(*m_store, query, maxPointsPerLine, intervalMs)
                                         : TrendLines{{}, false, m_store->errorText()};
        if (!lines.ok)
            m_store.reset(); // a failed store stays off
        return lines;
    }
    void close() { m_store.reset(); }

private:
    QString m_path;
    std::unique_ptr<HistoryStore> m_store;
};
} // namespace

TrendQueries::TrendQueries(const QString& databasePath, QObject* parent)
    : QObject(parent), m_worker(new TrendWorker(databasePath))
{
    m_thread.setObjectName(QStringLiteral("trend queries"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

TrendQueries::~TrendQueries()
{
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker] {
            static_cast<TrendWorker*>(worker)->close();
            worker->deleteLater(); // the ending thread deletes it
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
}

void TrendQueries::ask(int ticket, const ReadingQuery& query, int maxPointsPerLine, qint64 intervalMs)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker = static_cast<TrendWorker*>(m_worker), ticket, query, maxPointsPerLine, intervalMs] {
            const TrendLines lines = worker->load(query, maxPointsPerLine, intervalMs);
            // Said in this object's thread; the destructor waits for this thread first.
            QMetaObject::invokeMethod(
                this, [this, ticket, lines] { emit answered(ticket, lines); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace history
