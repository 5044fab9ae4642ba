// The CSV export: quoting, the lines of each state, and whole files read back,
// cancelled and failed.

#include "history/csv_export.h"
#include "history/history_store.h"
#include "history_tests.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "../common/test_files.h"

using namespace history;

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// Splits a line that csvField wrote back into its fields.
QStringList splitCsvLine(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
            field += c;
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    return fields << field;
}

} // namespace

class TestHistoryExport : public QObject
{
    Q_OBJECT

    // A database big enough that an export takes a while: 2500 passes of 40 sensors.
    QTemporaryDir m_bigDir;
    ReadingQuery m_bigQuery{1, 1, {}, 0, 2500 * 60000LL};
    const qint64 m_bigRows = 2500 * 40;
    QString bigDatabase() const { return HistoryStore::pathIn(m_bigDir.path()); }

private Q_SLOTS:
    void initTestCase()
    {
        for (int position = 1; position <= 40; ++position)
            m_bigQuery.positions << position;
        HistoryStore store(bigDatabase());
        for (int chunk = 0; chunk < 25; ++chunk) {
            QVector<Reading> batch;
            for (int minute = chunk * 100; minute < (chunk + 1) * 100; ++minute) {
                for (int position = 1; position <= 40; ++position)
                    batch << readingFromRaw(minute * 60000LL, 1, 1, position, quint16(minute + position));
            }
            QVERIFY(store.append(batch));
        }
    }

    void quoting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "25.00"
                               << "25.00";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("Chinese") << "温度(°C)"
                                 << "温度(°C)";
        QTest::newRow("comma") << "a,b"
                               << "\"a,b\"";
        QTest::newRow("quote") << "say \"hi\""
                               << "\"say \"\"hi\"\"\"";
        QTest::newRow("line feed") << "a\nb"
                                   << "\"a\nb\"";
        QTest::newRow("carriage return") << "a\rb"
                                         << "\"a\rb\"";
        QTest::newRow("leading blank") << " a"
                                       << "\" a\"";
        QTest::newRow("trailing tab") << "a\t"
                                      << "\"a\t\"";
        QTest::newRow("inner blank") << "a b"
                                     << "a b";
    }
    void quoting()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(csvField(text), field);
        QCOMPARE(splitCsvLine(csvField(text) + QLatin1Char(',') + csvField(text)), (QStringList{text, text}));
    }

    void lines_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<QByteArray>("line");
        // 2026-01-02 03:04:05.006 UTC is 11:04:05.006 in the tests' zone, UTC+8.
        QTest::newRow("temperature") << 2500
                                     << QByteArray("2026-01-02 11:04:05.006,1,3,40,25.00,ok,2500\r\n");
        QTest::newRow("below zero") << 0xFFFE
                                    << QByteArray("2026-01-02 11:04:05.006,1,3,40,-0.02,ok,65534\r\n");
        QTest::newRow("not wired") << 0xBAD2
                                   << QByteArray("2026-01-02 11:04:05.006,1,3,40,,not_wired,47826\r\n");
        QTest::newRow("not recognised")
            << 0xB492 << QByteArray("2026-01-02 11:04:05.006,1,3,40,,not_recognised,46226\r\n");
        QTest::newRow("no value") << 0xFFFF
                                  << QByteArray("2026-01-02 11:04:05.006,1,3,40,,no_value,65535\r\n");
    }
    void lines()
    {
        QFETCH(int, raw);
        QFETCH(QByteArray, line);
        QCOMPARE(csvLine(readingFromRaw(1767323045006, 1, 3, 40, quint16(raw))), line);
    }

    void exportReadBack()
    {
        QTemporaryDir dir;
        HistoryStore store(HistoryStore::pathIn(dir.path()));
        QVector<Reading> written;
        for (int minute = 0; minute < 1250; ++minute) {
            const qint64 t = 1767323045006 + minute * 60000LL;
            const QVector<Reading> batch = {readingFromRaw(t, 1, 3, 1, quint16(minute)),
                                            readingFromRaw(t, 1, 3, 2, minute % 2 ? 0xBAD2 : 0xFFFF),
                                            readingFromRaw(t, 1, 4, 1, 100)};
            QVERIFY(store.append(batch));
            written << batch[0] << batch[1];
        }
        const QString path = dir.filePath(QStringLiteral("导出.csv"));
        QList<QPair<qint64, qint64>> steps;
        const ExportResult result =
            exportCsv(store, ReadingQuery{1, 3, {1, 2}, 0, 1767323045006 + 1249 * 60000LL}, path,
                      [&steps](qint64 done, qint64 total) {
                          steps << qMakePair(done, total);
                          return true;
                      });
        QCOMPARE(result.status, ExportResult::Written);
        QCOMPARE(result.rows, 2500);
        QCOMPARE(steps, (QList<QPair<qint64, qint64>>{{0, 2500}, {1000, 2500}, {2000, 2500}, {2500, 2500}}));

        const QByteArray bytes = fileBytes(path);
        QVERIFY(bytes.startsWith(kBom));
        const QStringList lines = QString::fromUtf8(bytes.mid(kBom.size())).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 1 + 2500 + 1);
        QCOMPARE(lines.first(), QStringLiteral("时间,站号,通道,位置,温度(°C),状态,原始值"));
        QCOMPARE(lines.last(), QString());
        for (int i = 0; i < written.size(); ++i) {
            const QStringList fields = splitCsvLine(lines[i + 1]);
            QCOMPARE(fields.size(), 7);
            const QDateTime time =
                QDateTime::fromString(fields[0], QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            const std::optional<ReadingState> state = parseState(fields[5]);
            QVERIFY2(time.isValid() && state, qPrintable(lines[i + 1]));
            const Reading back =
                readingFromRaw(time.toMSecsSinceEpoch(), fields[1].toInt(), fields[2].toInt(),
                               fields[3].toInt(), quint16(fields[6].toUInt()));
            QCOMPARE(back, written[i]);
            QCOMPARE(*state, back.state);
            QCOMPARE(fields[4].isEmpty(), !back.celsius.has_value());
            if (back.celsius)
                QCOMPARE(fields[4].toDouble(), *back.celsius);
        }
    }

    void cancelledFailedOrEmptyLeavesNothing()
    {
        QTemporaryDir dir;
        HistoryStore store(HistoryStore::pathIn(dir.path()));
        for (int t = 0; t < 3000; ++t)
            QVERIFY(store.append({readingFromRaw(t, 1, 1, 1, 2500)}));
        const ReadingQuery query{1, 1, {1}, 0, 3000};

        // Cancelled at the first progress report and in the middle.
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(writeBytes(path, "earlier export"));
        for (qint64 stopAt : {0, 2000}) {
            const ExportResult cancelled =
                exportCsv(store, query, path, [stopAt](qint64 done, qint64) { return done < stopAt; });
            QCOMPARE(cancelled.status, ExportResult::Cancelled);
            QCOMPARE(fileBytes(path), QByteArray("earlier export"));
        }

        // A choice without readings writes nothing (the files left are checked below).
        QCOMPARE(exportCsv(store, ReadingQuery{1, 2, {1}, 0, 3000}, dir.filePath(QStringLiteral("none.csv")))
                     .status,
                 ExportResult::NothingToWrite);

        // A folder that is not there.
        const QString nowhere = dir.filePath(QStringLiteral("gone/out.csv"));
        const ExportResult failed = exportCsv(store, query, nowhere);
        QCOMPARE(failed.status, ExportResult::Failed);
        QVERIFY2(failed.errorText.contains(QDir::toNativeSeparators(nowhere)), qPrintable(failed.errorText));

        // A store that is off.
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("broken.db")), QByteArray(4096, 'x')));
        HistoryStore broken(dir.filePath(QStringLiteral("broken.db")));
        const ExportResult fromBroken = exportCsv(broken, query, dir.filePath(QStringLiteral("b.csv")));
        QCOMPARE(fromBroken.status, ExportResult::Failed);
        QCOMPARE(fromBroken.errorText, broken.errorText());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("b.csv"))));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{"broken.db", "history.db", "history.db-shm", "history.db-wal", "out.csv"}));
    }

    // The export in a thread of its own writes what exportCsv writes, while the
    // thread that asked for it goes on; cancelled, it leaves no file behind.
    void exportInItsOwnThread_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("whole") << false;
        QTest::newRow("cancelled mid-way") << true;
    }
    void exportInItsOwnThread()
    {
        QFETCH(bool, cancel);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(writeBytes(path, "earlier export"));
        CsvExportTask task(bigDatabase(), m_bigQuery, path);
        QSignalSpy finished(&task, &CsvExportTask::finished);
        QList<QPair<qint64, qint64>> steps;
        connect(&task, &CsvExportTask::progressed, this, [&](qint64 done, qint64 total) {
            steps << qMakePair(done, total);
            if (cancel && done > 0)
                task.cancel();
        });
        int ticks = 0;
        int ticksAtEnd = -1;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        connect(&task, &CsvExportTask::finished, this, [&] { ticksAtEnd = ticks; });
        ticker.start(0); // at every turn of the event loop
        task.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        const ExportResult result = finished[0][0].value<ExportResult>();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.csv"}); // no temporary file left
        if (cancel) {
            QCOMPARE(result.status, ExportResult::Cancelled);
            QCOMPARE(fileBytes(path), QByteArray("earlier export"));
            return;
        }
        QVERIFY2(ticksAtEnd >= 3, qPrintable(QStringLiteral("ticks: %1").arg(ticksAtEnd)));
        QCOMPARE(result.status, ExportResult::Written);
        QCOMPARE(result.rows, m_bigRows);
        QCOMPARE(steps.first(), qMakePair(qint64(0), m_bigRows));
        QCOMPARE(steps.last(), qMakePair(m_bigRows, m_bigRows));
        HistoryStore store(bigDatabase());
        const QString here = dir.filePath(QStringLiteral("here.csv"));
        QCOMPARE(exportCsv(store, m_bigQuery, here).status, ExportResult::Written);
        QCOMPARE(fileBytes(path), fileBytes(here));
    }
};

std::unique_ptr<QObject> makeHistoryExportTest()
{
    return std::make_unique<TestHistoryExport>();
}

#include "test_history_export.moc"
