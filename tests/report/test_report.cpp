// tq5900k-report against a history database: the PDF read back with pdftotext
// (poppler-utils) must show, for every bin, cable and layer, what the database
// holds as the newest reading at or before the time asked; the CSV likewise;
// its options as a table.

#include "bins/layout_file.h"

#include "history/history_store.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

namespace {

constexpr qint64 Minute = 60 * 1000;

// Two bins: A with a top-down cable, a bottom-up one and a shorter one; B of one cable.
const QByteArray Layout = "bin,A仓,12,6\r\n"
                          "cable,1,1,1,2,3,1,5\r\n"
                          "cable,2,1,2,6,3,5,1\r\n"
                          "cable,3,1,3,10,3,2,4\r\n"
                          "bin,B仓,4,4\r\n"
                          "cable,9,2,4,2,2,1,3\r\n";

struct Run
{
    int exitCode = -1;
    QString err;
};

Run runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

// What the database holds for a sensor at or before `atMs`: the value's text, or its fault's.
QString heldAt(QSqlDatabase& db, int station, int channel, int position, qint64 atMs)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT raw FROM readings WHERE station=? AND channel=? AND position=? AND time_ms<=? "
                             "ORDER BY time_ms DESC LIMIT 1"));
    q.addBindValue(station);
    q.addBindValue(channel);
    q.addBindValue(position);
    q.addBindValue(atMs);
    if (!q.exec() || !q.next())
        return QStringLiteral("—");
    const int raw = q.value(0).toInt();
    if (raw == 0xBAD2)
        return QStringLiteral("未接线");
    if (raw == 0xFFFF)
        return QStringLiteral("无数值");
    return QString::number(qint16(raw) / 100.0, 'f', 2);
}

// A row of the table as the database says it: the cells, then the highest, lowest and average.
QStringList expectedRow(const QStringList& cells)
{
    QList<double> values;
    for (const QString& cell : cells) {
        bool ok = false;
        const double v = cell.toDouble(&ok);
        if (ok)
            values << v;
    }
    QStringList row = cells;
    if (values.isEmpty())
        return row << QStringLiteral("—") << QStringLiteral("—") << QStringLiteral("—");
    double sum = 0;
    for (double v : values)
        sum += v;
    return row << QString::number(*std::max_element(values.begin(), values.end()), 'f', 2)
               << QString::number(*std::min_element(values.begin(), values.end()), 'f', 2)
               << QString::number(sum / values.size(), 'f', 2);
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    qint64 m_at = 0;

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A whole minute, so that "--at HH:MM" names it exactly.
        m_at = QDateTime::currentMSecsSinceEpoch() / Minute * Minute - 60 * Minute;
        history::HistoryStore store(history::HistoryStore::pathIn(m_dir.path()));
        QVector<history::Reading> readings;
        auto add = [&readings](qint64 t, int station, int channel, int position, int raw) {
            readings << history::readingFromRaw(t, station, channel, position, quint16(raw));
        };
        for (int channel = 1; channel <= 4; ++channel) {
            for (int position = 1; position <= 6; ++position) {
                const int station = channel == 4 ? 2 : 1;
                add(m_at - 5 * Minute, station, channel, position, 500 + channel * 100 + position);
                // The reading at the time asked (but where one is set below), and a later one that must not show.
                const bool setBelow = (channel == 1 && position == 3) || (channel == 2 && position == 5) ||
                                      (channel == 3 && position == 3);
                if (!setBelow)
                    add(m_at, station, channel, position, 1000 + channel * 137 + position * 29);
                add(m_at + Minute, station, channel, position, 9000);
            }
        }
        add(m_at, 1, 1, 3, 0xBAD2);                       // a fault in A's layer 3 (after a value)
        add(m_at - Minute, 1, 2, 5, quint16(qint16(-1250))); // the bottom-up cable's top, below zero
        add(m_at, 1, 2, 5, quint16(qint16(-1250)));
        add(m_at, 1, 3, 3, 4321); // the hot spot of the short cable, at its layer 2
        QVERIFY(store.append(readings));
        QVERIFY(writeBytes(path("layout.set"), Layout));
    }

    void pdfShowsWhatTheDatabaseHolds()
    {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (Debian poppler-utils) is not installed");
        const QString at = QDateTime::fromMSecsSinceEpoch(m_at).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        const Run run = runProgram(QStringLiteral(TQ_REPORT_PROGRAM),
                                   {QStringLiteral("--history"), path("history.db"), QStringLiteral("--layout"),
                                    path("layout.set"), QStringLiteral("--at"), at, QStringLiteral("--pdf"),
                                    path("r.pdf"), QStringLiteral("--csv"), path("r.csv")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QProcess text;
        text.start(pdftotext, {QStringLiteral("-layout"), path("r.pdf"), QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QStringList lines = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\n'));

        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path("history.db"));
        QVERIFY(db.open());
        const bins::BinLayout layout = *bins::parseLayoutFile(Layout).layout;
        QStringList csvExpected;
        int bin = -1;
        int rowsSeen = 0;
        QStringList binCells; // every cell of the bin, as the database holds it
        const auto checkBinAverage = [&]() {
            // The bin's average over its values, as the summary line writes it.
            QStringList all = expectedRow(binCells);
            const QString average = all.last();
            for (const QString& line : lines) {
                if (line.contains(QStringLiteral("全仓")) && line.contains(QStringLiteral("平均 %1 °C").arg(average)))
                    return true;
            }
            return false;
        };
        for (const QString& line : lines) {
            if (line.contains(QStringLiteral("温度分布日报"))) {
                if (bin >= 0)
                    QVERIFY2(checkBinAverage(), qPrintable(layout.bins[bin].name));
                binCells.clear();
                ++bin;
                QVERIFY(line.contains(layout.bins[bin].name));
                continue;
            }
            static const QRegularExpression rowPattern(QStringLiteral("^\\s*第(\\d+)层\\s+(.*)$"));
            const QRegularExpressionMatch m = rowPattern.match(line);
            if (!m.hasMatch() || bin < 0)
                continue;
            const int layer = m.captured(1).toInt();
            QStringList cells;
            for (const bins::Cable& cable : layout.bins[bin].cables) {
                const int position = cable.positionAt(layer);
                cells << (position ? heldAt(db, cable.station, cable.channel, position, m_at) : QStringLiteral("/"));
            }
            binCells += cells;
            const QStringList expected = expectedRow(cells);
            QCOMPARE(m.captured(2).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts), expected);
            QStringList csvRow = expected;
            csvRow.replaceInStrings(QStringLiteral("/"), QString()).replaceInStrings(QStringLiteral("—"), QString());
            csvExpected << QString::number(layer) + QLatin1Char(',') + csvRow.join(QLatin1Char(','));
            ++rowsSeen;
        }
        QCOMPARE(bin, 1);
        QVERIFY2(checkBinAverage(), qPrintable(layout.bins[bin].name));
        QCOMPARE(rowsSeen, 5 + 3);
        // The bins' highest where the database has it, and the fault named.
        const QString all = lines.join(QLatin1Char('\n'));
        QVERIFY2(all.contains(QStringLiteral("最高 43.21 °C（3号电缆 第2层）")), qPrintable(all));
        QVERIFY(all.contains(QStringLiteral("最低 -12.50 °C（2号电缆 第1层）")));
        QVERIFY(all.contains(QStringLiteral("1号电缆 第3层（1号站 1通道 位置3）：未接线")));
        const QString csv = QString::fromUtf8(fileBytes(path("r.csv")));
        for (const QString& row : csvExpected)
            QVERIFY2(csv.contains(QStringLiteral("\r\n") + row + QStringLiteral("\r\n")), qPrintable(row));
        QVERIFY(csv.contains(QStringLiteral("全仓最高,43.21,3号电缆,第2层\r\n")));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("named");
        const QString db = path("history.db");
        QTest::newRow("no output") << QStringList{"--history", db} << 2 << "--pdf";
        QTest::newRow("no history") << QStringList{"--pdf", "x.pdf"} << 2 << "--history";
        QTest::newRow("unknown option") << QStringList{"--history", db, "--pdf", "x.pdf", "--colour"} << 2
                                        << "--colour";
        QTest::newRow("bad time") << QStringList{"--history", db, "--pdf", "x.pdf", "--at", "yesterday"} << 2
                                  << "--at";
        QTest::newRow("bad scale") << QStringList{"--history", db, "--pdf", "x.pdf", "--scale", "40,0"} << 2
                                   << "--scale";
        QTest::newRow("unknown bin") << QStringList{"--history", db, "--layout", path("layout.set"), "--bin", "C仓",
                                                    "--pdf", path("x.pdf")}
                                     << 2 << "A仓、B仓";
        QTest::newRow("missing database") << QStringList{"--history", path("none.db"), "--pdf", "x.pdf"} << 1
                                          << "none.db";
        QTest::newRow("bad layout") << QStringList{"--history", db, "--layout", path("history.db"), "--pdf", "x.pdf"}
                                    << 1 << "布局文件";
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, named);
        const Run run = runProgram(QStringLiteral(TQ_REPORT_PROGRAM), arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(named), qPrintable(run.err));
        QVERIFY(!QFile::exists(path("none.db")));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "test_report.moc"
