// A database the history cannot use for a while: locked by another connection
// past the busy timeout, or not there yet. The writer keeps what it was handed,
// within its bound, and writes it once the database is back; the trend queries
// open it again.

#include "history/history_store.h"
#include "history/history_writer.h"
#include "history/trend_lines.h"
#include "history_tests.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace history;

namespace {

// Passes come a second apart from now: within any retention.
const qint64 kFirstPassMs = QDateTime::currentMSecsSinceEpoch();
qint64 passTime(qint64 pass)
{
    return kFirstPassMs + pass * 1000;
}
qint64 passOf(qint64 timeMs)
{
    return (timeMs - kFirstPassMs) / 1000;
}

// Each pass's number and size in the order the rows were written.
QList<QPair<qint64, qint64>> passesIn(const SqlFile& file)
{
    const QString statement =
        QStringLiteral("SELECT time_ms, COUNT(*) FROM readings GROUP BY time_ms ORDER BY MIN(rowid)");
    const QVariantList times = file.column(statement);
    const QVariantList sizes = file.column(statement, {}, 1);
    QList<QPair<qint64, qint64>> passes;
    for (int i = 0; i < times.size() && i < sizes.size(); ++i)
        passes << qMakePair(passOf(times[i].toLongLong()), sizes[i].toLongLong());
    return passes;
}

// The readings of pass `number`: 10 channels of 40 positions.
QVector<Reading> pass(qint64 number)
{
    const qint64 timeMs = passTime(number);
    QVector<Reading> batch;
    for (int channel = 1; channel <= 10; ++channel) {
        for (int position = 1; position <= 40; ++position)
            batch << readingFromRaw(timeMs, 1, channel, position, quint16(2000 + position));
    }
    return batch;
}

// The passes the writer said it recorded, in the order it said them.
QList<qint64> recordedPasses(const QSignalSpy& recorded)
{
    QList<qint64> passes;
    for (const QList<QVariant>& signal : recorded)
        passes << passOf(signal[0].value<QVector<Reading>>().constFirst().timeMs);
    return passes;
}

} // namespace

class TestHistoryOutage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A batch the database refuses, at its first row or in the middle, leaves
    // nothing behind, and the store says why.
    void appendFailsWhole_data()
    {
        QTest::addColumn<QString>("hold");    // what another connection does first
        QTest::addColumn<QString>("release"); // and how it ends that
        QTest::addColumn<QString>("message");
        QTest::newRow("write lock held") << "BEGIN IMMEDIATE"
                                         << "COMMIT"
                                         << "locked";
        QTest::newRow("third row refused")
            << "CREATE TRIGGER refuse BEFORE INSERT ON readings WHEN NEW.position = 3 "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END"
            << "DROP TRIGGER refuse"
            << "refused";
    }
    void appendFailsWhole()
    {
        QFETCH(QString, hold);
        QFETCH(QString, release);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        HistoryStore store(path, 100);
        SqlFile other(path);
        QCOMPARE(other.column(hold), QVariantList());
        QVERIFY(!store.append(pass(1)));
        QVERIFY(!store.ok());
        QVERIFY2(store.errorText().contains(path) && store.errorText().contains(message),
                 qPrintable(store.errorText()));
        QCOMPARE(passesIn(other), (QList<QPair<qint64, qint64>>{}));

        QCOMPARE(other.column(release), QVariantList());
        HistoryStore again(path, 100);
        QVERIFY(again.append(pass(1)));
        QCOMPARE(passesIn(other), (QList<QPair<qint64, qint64>>{{1, 400}}));
    }

    // Batches that meet a write lock held past the busy timeout wait; the next
    // batch after the lock is gone writes them, in order and once each.
    void writerOutlastsALock()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        WriterOptions options;
        options.busyTimeoutMs = 100;
        options.firstRetryMs = options.lastRetryMs = 3600 * 1000; // only a batch tries again
        HistoryRecorder recorder(path, HistorySettings{0, 90}, options);
        QSignalSpy failed(&recorder, &HistoryRecorder::failed);
        QSignalSpy recovered(&recorder, &HistoryRecorder::recovered);
        QSignalSpy recorded(&recorder, &HistoryRecorder::recorded);
        recorder.record(pass(1));
        QTRY_COMPARE(recorded.count(), 1);

        SqlFile other(path);
        QCOMPARE(other.column(QStringLiteral("BEGIN IMMEDIATE")), QVariantList());
        recorder.record(pass(2));
        recorder.record(pass(3));
        QVERIFY(failed.wait(10000));
        QVERIFY2(failed[0][0].toString().contains(QLatin1String("locked")),
                 qPrintable(failed[0][0].toString()));
        QCOMPARE(other.column(QStringLiteral("COMMIT")), QVariantList());

        recorder.record(pass(4));
        QTRY_COMPARE(recovered.count(), 1);
        QTRY_COMPARE(recordedPasses(recorded), (QList<qint64>{1, 2, 3, 4}));
        QCOMPARE(recovered[0][0].toLongLong(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(passesIn(other), (QList<QPair<qint64, qint64>>{{1, 400}, {2, 400}, {3, 400}, {4, 400}}));
    }

    // A database that cannot be opened: the newest readings wait up to the bound,
    // the oldest beyond it are counted; the timer finds the database back.
    void pendingReadingsAreBounded()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("later/history.db"));
        WriterOptions options;
        options.firstRetryMs = 10;
        options.lastRetryMs = 40;
        options.maxPendingRows = 1000;
        HistoryWriter writer(path, HistorySettings{0, 90}, options);
        QSignalSpy failed(&writer, &HistoryWriter::failed);
        QSignalSpy recovered(&writer, &HistoryWriter::recovered);
        QSignalSpy recorded(&writer, &HistoryWriter::recorded);
        writer.open();
        for (qint64 t = 1; t <= 5; ++t)
            writer.write(pass(t)); // 2000 readings
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed[0][0].toString().contains(path), qPrintable(failed[0][0].toString()));

        // The tries the batches queued fail too: only the timer is left to find the folder.
        QCoreApplication::sendPostedEvents(&writer, QEvent::MetaCall);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("later")));
        QTRY_COMPARE(recovered.count(), 1);
        QCOMPARE(recovered[0][0].toLongLong(), 1000);
        QCOMPARE(recordedPasses(recorded), (QList<qint64>{3, 4, 5}));
        QCOMPARE(recorded[0][0].value<QVector<Reading>>(), pass(3).mid(200));
        QCOMPARE(writer.close(), 0);
        QCOMPARE(passesIn(SqlFile(path)), (QList<QPair<qint64, qint64>>{{3, 200}, {4, 400}, {5, 400}}));
        QCOMPARE(failed.count(), 1);
    }

    // A query that failed leaves no store behind: the next one opens the database again.
    void trendQueriesOpenTheDatabaseAgain()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("later/history.db"));
        TrendQueries queries(path);
        QSignalSpy answered(&queries, &TrendQueries::answered);
        const ReadingQuery query{1, 1, {1, 2}, passTime(0), passTime(10)};
        queries.ask(1, query, 100, 0);
        QVERIFY(answered.wait(10000));
        QCOMPARE(answered[0][1].value<TrendLines>().ok, false);

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("later")));
        {
            HistoryStore store(path);
            QVERIFY(store.append(pass(5)));
        }
        queries.ask(2, query, 100, 0);
        QTRY_COMPARE(answered.count(), 2);
        const TrendLines lines = answered[1][1].value<TrendLines>();
        QVERIFY2(lines.ok, qPrintable(lines.errorText));
        QCOMPARE(lines.lines.size(), 2);
        QCOMPARE(lines.lines[1].runs, (QList<QList<QPointF>>{{{qreal(passTime(5)), 20.02}}}));
    }
};

std::unique_ptr<QObject> makeHistoryOutageTest()
{
    return std::make_unique<TestHistoryOutage>();
}

#include "test_history_outage.moc"
