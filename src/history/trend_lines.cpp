#include "trend_lines.h"

#include <QHash>
#include <algorithm>
#include <memory>

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

TrendLines loadTrendLines(HistoryStore& store, const ReadingQuery& query, int maxPointsPerLine)
{
    TrendLines result;
    QHash<int, qsizetype> lineOf;
    for (int position : query.positions) {
        lineOf.insert(position, result.lines.size());
        result.lines.append(TrendLine{position, {}});
    }
    result.ok = store.forEachReading(query, [&](const Reading& reading) {
        const auto line = lineOf.constFind(reading.position);
        if (reading.celsius && line != lineOf.constEnd())
            result.lines[*line].points.append(QPointF(qreal(reading.timeMs), *reading.celsius));
        return true;
    });
    if (!result.ok) {
        result.errorText = store.errorText();
        result.lines.clear();
        return result;
    }
    for (TrendLine& line : result.lines)
        line.points = thinnedPoints(line.points, maxPointsPerLine);
    return result;
}

namespace {
// The worker in the query thread: opens its store on the first query, and
// again after a query failed (the file was locked, missing or replaced).
class TrendWorker : public QObject
{
public:
    explicit TrendWorker(const QString& path) : m_path(path) {}
    TrendLines load(const ReadingQuery& query, int maxPointsPerLine)
    {
        if (!m_store)
            m_store = std::make_unique<HistoryStore>(m_path);
        TrendLines lines = m_store->ok() ? loadTrendLines(*m_store, query, maxPointsPerLine)
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

void TrendQueries::ask(int ticket, const ReadingQuery& query, int maxPointsPerLine)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker = static_cast<TrendWorker*>(m_worker), ticket, query, maxPointsPerLine] {
            const TrendLines lines = worker->load(query, maxPointsPerLine);
            // Said in this object's thread; the destructor waits for this thread first.
            QMetaObject::invokeMethod(
                this, [this, ticket, lines] { emit answered(ticket, lines); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace history
