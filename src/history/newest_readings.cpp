#include "newest_readings.h"

#include <memory>

namespace history {

namespace {
// Opens its store on the first query, and again after a query failed.
class NewestWorker : public QObject
{
public:
    explicit NewestWorker(const QString& path) : m_path(path) {}
    NewestReadings load(qint64 atMs, qint64 lookBackMs)
    {
        if (!m_store)
            m_store = std::make_unique<HistoryStore>(m_path);
        NewestReadings result;
        if (m_store->ok()) {
            if (auto readings = m_store->newestReadingsAtOrBefore(atMs, atMs - lookBackMs))
                result.readings = std::move(*readings);
        }
        if (!m_store->ok()) {
            result.ok = false;
            result.errorText = m_store->errorText();
            m_store.reset(); // a failed store stays off
        }
        return result;
    }
    void close() { m_store.reset(); }

private:
    QString m_path;
    std::unique_ptr<HistoryStore> m_store;
};
} // namespace

NewestReadingsQueries::NewestReadingsQueries(const QString& databasePath, QObject* parent)
    : QObject(parent), m_worker(new NewestWorker(databasePath))
{
    m_thread.setObjectName(QStringLiteral("newest readings"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

NewestReadingsQueries::~NewestReadingsQueries()
{
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker] {
            static_cast<NewestWorker*>(worker)->close();
            worker->deleteLater(); // the ending thread deletes it
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
}

void NewestReadingsQueries::ask(int ticket, qint64 atMs, qint64 lookBackMs)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker = static_cast<NewestWorker*>(m_worker), ticket, atMs, lookBackMs] {
            const NewestReadings readings = worker->load(atMs, lookBackMs);
            // Said in this object's thread; the destructor waits for this thread first.
            QMetaObject::invokeMethod(
                this, [this, ticket, readings] { emit answered(ticket, readings); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace history
