// The store on real files in temporary folders: what the queries return and how
// they use the index, files it cannot use, retention, the writer thread, and a
// writer killed in the middle of its batches.

#include "history/history_store.h"
#include "history/history_writer.h"
#include "history_tests.h"

#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "../common/test_files.h"

using namespace history;

namespace {

// A pass's readings: `positions` positions of `channels` channels, all at `timeMs`.
QVector<Reading> pass(qint64 timeMs, int channels, int positions, int station = 1)
{
    QVector<Reading> batch;
    for (int channel = 1; channel <= channels; ++channel) {
        for (int position = 1; position <= positions; ++position)
            batch << readingFromRaw(timeMs, station, channel, position,
                                    quint16(2000 + channel * 100 + position));
    }
    return batch;
}

QStringList queryPlan(const QString& path, const QString& statement, const QVariantList& values)
{
    QStringList steps;
    for (const QVariant& step :
         SqlFile(path).column(QStringLiteral("EXPLAIN QUERY PLAN ") + statement, values, 3))
        steps << step.toString();
    return steps;
}

} // namespace

int writeUntilKilled(const char* databasePath)
{
    HistoryStore store(QString::fromLocal8Bit(databasePath));
    // Batch n holds the time n; a writer killed before goes on after its last whole batch.
    const std::optional<TimeRange> held = store.timeRange();
    const qint64 first = held ? held->lastMs + 1 : 0;
    // Bounded, so that a writer whose test went away ends by itself.
    for (qint64 batch = first; batch < first + 100000; ++batch) {
        if (!store.append(pass(batch, 10, 40))) {
            std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
            return 1;
        }
        std::printf("%lld\n", batch);
        std::fflush(stdout);
    }
    return 0;
}

class TestHistoryStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void queries()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        HistoryStore store(path);
        QVERIFY2(store.ok(), qPrintable(store.errorText()));
        QCOMPARE(store.timeRange().has_value(), false);

        // Out of time order across batches, two stations, channels 1..2, positions 1..3.
        QVERIFY(store.append(pass(3000, 2, 3)));
        QVERIFY(store.append(pass(1000, 2, 3)));
        QVERIFY(store.append(pass(2000, 2, 3, 7)));
        QVERIFY(store.append(pass(2000, 2, 3)));
        QVERIFY(store.append({readingFromRaw(4000, 1, 2, 3, 0xBAD2), readingFromRaw(4000, 1, 2, 1, 0xFFFF)}));
        QVERIFY(store.append({}));

        const ReadingQuery query{1, 2, {3, 1}, 2000, 4000};
        const QVector<Reading> expected = {
            readingFromRaw(2000, 1, 2, 1, 2201),   readingFromRaw(2000, 1, 2, 3, 2203),
            readingFromRaw(3000, 1, 2, 1, 2201),   readingFromRaw(3000, 1, 2, 3, 2203),
            readingFromRaw(4000, 1, 2, 1, 0xFFFF), readingFromRaw(4000, 1, 2, 3, 0xBAD2),
        };
        QCOMPARE(store.readings(query), expected);
        QCOMPARE(store.countReadings(query), std::optional<qint64>(6));
        QCOMPARE(store.readings(ReadingQuery{1, 2, {3, 1}, 1001, 2999}).size(), 2);
        QCOMPARE(store.readings(ReadingQuery{1, 2, {}, 0, 9999}).size(), 0);

        // Stopping early hands over nothing more.
        int handed = 0;
        QVERIFY(store.forEachReading(query, [&handed](const Reading&) { return ++handed < 2; }));
        QCOMPARE(handed, 2);

        QCOMPARE(store.firstReadingAtOrAfter(1, 2, 3, 1500), std::optional<Reading>(expected[1]));
        QCOMPARE(store.firstReadingAtOrAfter(1, 2, 3, 2000), std::optional<Reading>(expected[1]));
        QCOMPARE(store.firstReadingAtOrAfter(7, 2, 3, 0)->timeMs, 2000);
        QCOMPARE(store.firstReadingAtOrAfter(1, 2, 2, 3001), std::nullopt);

        const std::optional<TimeRange> range = store.timeRange();
        QVERIFY(range);
        QCOMPARE(range->firstMs, 1000);
        QCOMPARE(range->lastMs, 4000);

        // What other programs read: the temperature and the state are in the file too.
        SqlFile file(path);
        QCOMPARE(file.column(QStringLiteral("SELECT celsius IS NULL FROM readings WHERE time_ms = 4000")),
                 (QVariantList{1, 1}));
        QCOMPARE(
            file.column(QStringLiteral("SELECT state FROM readings WHERE time_ms = 4000 ORDER BY position")),
            (QVariantList{int(ReadingState::NoValue), int(ReadingState::NotWired)}));
        QCOMPARE(
            file.column(QStringLiteral("SELECT celsius FROM readings WHERE time_ms = 1000 AND channel = 2 "
                                       "AND position = 3")),
            QVariantList{22.03});
        QCOMPARE(file.column(QStringLiteral("PRAGMA journal_mode")), QVariantList{QStringLiteral("wal")});
    }

    void queriesUseTheChannelIndex()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        HistoryStore store(path);
        QVERIFY(store.append(pass(0, 2, 2)));

        const ReadingQuery query{1, 1, {1, 2, 40}, 0, 1000};
        const QString plan = queryPlan(path, readingsStatement(query),
                                       {query.station, query.channel, query.fromMs, query.toMs})
                                 .join(QLatin1Char('\n'));
        QVERIFY2(plan.contains(QLatin1String("USING COVERING INDEX readings_by_channel")) &&
                     plan.contains(QLatin1String("time_ms>? AND time_ms<?")) &&
                     !plan.contains(QLatin1String("TEMP")),
                 qPrintable(plan));
        const QString rise = queryPlan(path, firstReadingStatement(), {1, 1, 2, 0}).join(QLatin1Char('\n'));
        QVERIFY2(rise.contains(QLatin1String("USING COVERING INDEX readings_by_channel")) &&
                     !rise.contains(QLatin1String("TEMP")),
                 qPrintable(rise));
        const QString range =
            queryPlan(path, QStringLiteral("SELECT MIN(time_ms) FROM readings"), {}).join(QLatin1Char('\n'));
        QVERIFY2(range.contains(QLatin1String("readings_by_time")), qPrintable(range));
    }

    void storesHaveTheirOwnConnections()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        auto first = std::make_unique<HistoryStore>(path);
        HistoryStore second(path);
        QVERIFY(first->append(pass(1, 1, 1)));
        QVERIFY(second.append(pass(2, 1, 1)));
        first.reset();
        QVERIFY(second.append(pass(3, 1, 1)));
        QCOMPARE(second.readings(ReadingQuery{1, 1, {1}, 0, 10}).size(), 3);
    }

    void unusableFile_data()
    {
        QTest::addColumn<QString>("name");     // the database's path in the folder
        QTest::addColumn<QByteArray>("bytes"); // what the file holds beforehand; empty: no file
        QTest::addColumn<QString>("message");  // a part of SQLite's message

        QTest::newRow("not a database") << "history.db" << QByteArray(4096, 'x') << "not a database";
        QTest::newRow("folder missing") << "gone/history.db" << QByteArray() << "open";
    }
    void unusableFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (!bytes.isEmpty())
            QVERIFY(writeBytes(path, bytes));

        HistoryStore store(path);
        QVERIFY(!store.ok());
        QVERIFY2(store.errorText().contains(path) && store.errorText().contains(message, Qt::CaseInsensitive),
                 qPrintable(store.errorText()));
        const QString first = store.errorText();
        QVERIFY(!store.append(pass(0, 1, 1)));
        QCOMPARE(store.readings(ReadingQuery{1, 1, {1}, 0, 10}).size(), 0);
        QCOMPARE(store.countReadings(ReadingQuery{1, 1, {1}, 0, 10}), std::nullopt);
        QCOMPARE(store.timeRange().has_value(), false);
        QCOMPARE(store.deleteOlderThan(10, 10), -1);
        QCOMPARE(store.errorText(), first);
        if (!bytes.isEmpty())
            QCOMPARE(fileBytes(path), bytes);
    }

    void deleteInChunks()
    {
        QTemporaryDir dir;
        HistoryStore store(HistoryStore::pathIn(dir.path()));
        QVERIFY(store.append(pass(100, 1, 5)));
        QVERIFY(store.append(pass(200, 1, 3)));
        QCOMPARE(store.deleteOlderThan(200, 2), 2);
        QCOMPARE(store.deleteOlderThan(200, 2), 2);
        QCOMPARE(store.deleteOlderThan(200, 2), 1);
        QCOMPARE(store.deleteOlderThan(200, 2), 0);
        QCOMPARE(store.timeRange()->firstMs, 200);
        QCOMPARE(store.countReadings(ReadingQuery{1, 1, {1, 2, 3, 4, 5}, 0, 1000}), std::optional<qint64>(3));
    }

    void writerKeepsTheRetention()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const qint64 day = 24 * 3600 * 1000LL;
        {
            HistoryStore store(path);
            for (int i = 0; i < 3; ++i)
                QVERIFY(store.append(pass(now - 3 * day - i, 10, 160))); // 4800 old ones: three chunks
            QVERIFY(store.append(pass(now - 2 * day + 60000, 1, 2)));    // within two days
        }
        HistoryWriter writer(path, HistorySettings{60, 2});
        QSignalSpy failed(&writer, &HistoryWriter::failed);
        writer.open();
        QTRY_COMPARE(SqlFile(path).count(), 2);
        writer.write(pass(now, 1, 1));
        QCOMPARE(SqlFile(path).count(), 3);
        writer.close();
        QCOMPARE(failed.count(), 0);
    }

    void recorderWritesEverythingHandedOver()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        {
            HistoryRecorder recorder(path, HistorySettings{60, 90});
            QSignalSpy failed(&recorder, &HistoryRecorder::failed);
            QSignalSpy recorded(&recorder, &HistoryRecorder::recorded);
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            for (int second = 0; second <= 120; second += 10)
                recorder.record(pass(now + second * 1000, 10, 40));
            recorder.record(pass(now + 130 * 1000, 11, 40)); // only channel 11 is due
            // Said for the batches the interval admitted readings of, with what was written.
            QTRY_COMPARE(recorded.count(), 4);
            QCOMPARE(recorded[2][0].value<QVector<Reading>>(), pass(now + 120 * 1000, 10, 40));
            QCOMPARE(recorded[3][0].value<QVector<Reading>>(), pass(now + 130 * 1000, 11, 40).mid(400));
            QCOMPARE(failed.count(), 0);
        } // the recorder writes everything handed over before it ends
        SqlFile file(path);
        QCOMPARE(file.count(), 3 * 400 + 40);
        QCOMPARE(file.column(QStringLiteral("SELECT COUNT(DISTINCT time_ms) FROM readings")),
                 QVariantList{4});
    }

    // Said once while it lasts; what never reached the database is said as the recorder ends.
    void recorderSaysItsFailureOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("gone/history.db"));
        auto recorder = std::make_unique<HistoryRecorder>(path, HistorySettings{0, 90});
        QSignalSpy failed(recorder.get(), &HistoryRecorder::failed);
        for (int i = 0; i < 5; ++i)
            recorder->record(pass(i, 1, 1));
        QVERIFY(failed.wait(5000));
        QTest::qWait(50);
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed[0][0].toString().contains(path), qPrintable(failed[0][0].toString()));
        recorder.reset();
        QCOMPARE(failed.count(), 2);
        QCOMPARE(failed[1][0].toString(), lostReadingsText(path, 5));
    }

    void killedWriterLeavesWholeBatches()
    {
        QTemporaryDir dir;
        const QString path = HistoryStore::pathIn(dir.path());
        // Several rounds, each killed at a random point of a batch: one kill could
        // land between batches by chance, and each round passes a checkpoint of the log.
        for (int round = 0; round < 6; ++round) {
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QCoreApplication::applicationFilePath(),
                         {QString::fromLatin1(kWriteUntilKilled), path});
            QVERIFY(writer.waitForStarted());
            qint64 committed = -1;
            int lines = 0;
            QElapsedTimer clock;
            clock.start();
            while (lines < 40 && clock.elapsed() < 5000) {
                writer.waitForReadyRead(100);
                for (; writer.canReadLine(); ++lines)
                    committed = writer.readLine().trimmed().toLongLong();
            }
            QVERIFY2(lines >= 40, qPrintable(QStringLiteral("batches written: %1").arg(lines)));
            const qint64 batchUs = clock.nsecsElapsed() / 1000 / lines;
            QThread::usleep(QRandomGenerator::global()->bounded(batchUs + 1));
            writer.kill();
            QVERIFY(writer.waitForFinished(5000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

            SqlFile file(path);
            QCOMPARE(file.column(QStringLiteral("PRAGMA integrity_check")),
                     QVariantList{QStringLiteral("ok")});
            const QVariantList sizes =
                file.column(QStringLiteral("SELECT DISTINCT COUNT(*) FROM readings GROUP BY time_ms"));
            QCOMPARE(sizes, QVariantList{400});
            const qint64 batches = file.column(QStringLiteral("SELECT COUNT(DISTINCT time_ms) FROM readings"))
                                       .value(0)
                                       .toLongLong();
            const qint64 last =
                file.column(QStringLiteral("SELECT MAX(time_ms) FROM readings")).value(0).toLongLong();
            QCOMPARE(batches, last + 1); // no batch missing in between
            QVERIFY2(last >= committed, qPrintable(QStringLiteral("%1 < %2").arg(last).arg(committed)));
        }
    }
};

std::unique_ptr<QObject> makeHistoryStoreTest()
{
    return std::make_unique<TestHistoryStore>();
}

#include "test_history_store.moc"
