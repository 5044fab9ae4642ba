#pragma once
// The newest reading of each sensor at or before a time, asked in a thread of
// its own (with a store of its own) so that the window never waits for it.

#include "history_store.h"

#include <QObject>
#include <QThread>

namespace history {

struct NewestReadings
{
    QVector<Reading> readings;
    bool ok = true;
    QString errorText; // when not ok: the store's failure
};

class NewestReadingsQueries : public QObject
{
    Q_OBJECT
public:
    explicit NewestReadingsQueries(const QString& databasePath, QObject* parent = nullptr);
    // Waits for the query in progress, closes the store and ends the thread.
    ~NewestReadingsQueries() override;

    // Starts the query; `answered` brings the readings with the same ticket.
    void ask(int ticket, qint64 atMs, qint64 lookBackMs = kNewestLookBackMs);

Q_SIGNALS:
    void answered(int ticket, const history::NewestReadings& readings);

private:
    QThread m_thread;
    QObject* m_worker; // lives in m_thread, which deletes it as it ends
};

} // namespace history
