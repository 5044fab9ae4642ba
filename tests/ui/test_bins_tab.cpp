// The 温度分布 tab on its own, over a history.db of its own: a reading from the
// history, the comparison with yesterday's, the daily report into reports/
// with old reports removed, and the layout editor naming a bad field.

#include "ui/bins_tab.h"

#include "history/history_store.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "../common/test_files.h"

namespace {

constexpr qint64 Day = 24LL * 3600 * 1000;

// One station, two channels of three positions, at `timeMs`, each value `base` + channel + position/10.
QVector<history::Reading> pass(qint64 timeMs, int base)
{
    QVector<history::Reading> readings;
    for (int channel = 1; channel <= 2; ++channel)
        for (int position = 1; position <= 3; ++position)
            readings << history::readingFromRaw(timeMs, 1, channel, position,
                                                quint16(base * 100 + channel * 100 + position * 10));
    return readings;
}

struct Tab
{
    QTemporaryDir folder;
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    std::unique_ptr<BinsTab> tab;

    explicit Tab(const QVector<history::Reading>& history)
    {
        history::HistoryStore store(history::HistoryStore::pathIn(folder.path()));
        store.append(history);
    }
    BinsTab& open()
    {
        tab = std::make_unique<BinsTab>();
        tab->show();
        tab->setSource(folder.path(), history::HistoryStore::pathIn(folder.path()), 1, 2, 3);
        return *tab;
    }
    QString cell(int layer, int cable) const
    {
        return tab->model()->data(tab->model()->index(layer - 1, cable - 1), Qt::DisplayRole).toString();
    }
};

} // namespace

class TestBinsTab : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void historyThenLiveAndComparedWithYesterday()
    {
        Tab t(pass(QDateTime::currentMSecsSinceEpoch() - Day - 60000, 10) +
              pass(QDateTime::currentMSecsSinceEpoch() - 3 * 60000, 20));
        BinsTab& tab = t.open();
        // What the history holds shows before any pass.
        QTRY_COMPARE(t.cell(2, 1), QStringLiteral("21.20"));
        // A pass of the window follows; one sensor rose 8 °C against yesterday.
        QVector<history::Reading> live = pass(t.now, 10);
        live[4] = history::readingFromRaw(t.now, 1, 2, 2, quint16(2020));
        tab.take(live.mid(0, 3));
        tab.take(live.mid(3));
        QTRY_COMPARE(t.cell(2, 1), QStringLiteral("11.20"));
        tab.cboBinsCompare->setCurrentIndex(int(BinsTab::Compare::Yesterday));
        QTRY_COMPARE(t.cell(2, 2), QStringLiteral("20.20 (▲+8.00)"));
        QCOMPARE(t.cell(2, 1), QStringLiteral("11.20 (0.00)"));
        QCOMPARE(tab.model()->data(tab.model()->index(1, 5), Qt::DisplayRole).toString(), QStringLiteral("+4.00"));
        QVERIFY2(tab.lblBinsSummary->text().contains(QStringLiteral("1 个测点升温超过 2.00 °C")),
                 qPrintable(tab.lblBinsSummary->text()));

        // A time from the history: the readings of then, compared with the day before them (none).
        tab.cboBinsCompare->setCurrentIndex(int(BinsTab::Compare::None));
        tab.dtmBinsAt->setDateTime(QDateTime::fromMSecsSinceEpoch(t.now - 2 * 60000));
        tab.cboBinsWhen->setCurrentIndex(1);
        QTRY_COMPARE(t.cell(2, 1), QStringLiteral("21.20"));
        QCOMPARE(t.cell(3, 2), QStringLiteral("22.30"));
    }

    void dailyReportIntoReportsKeepsTheDaysSet()
    {
        Tab t(pass(QDateTime::currentMSecsSinceEpoch() - 60000, 20));
        const QString reports = QDir(t.folder.path()).filePath(QStringLiteral("reports"));
        QVERIFY(QDir().mkpath(reports));
        const QString old = QDir(reports).filePath(QStringLiteral("old.pdf"));
        const QString recent = QDir(reports).filePath(QStringLiteral("recent.csv"));
        QVERIFY(writeBytes(old, "x") && writeBytes(recent, "x"));
        QFile oldFile(old);
        QVERIFY(oldFile.open(QIODevice::ReadWrite));
        QVERIFY(oldFile.setFileTime(QDateTime::currentDateTime().addDays(-31), QFileDevice::FileModificationTime));
        oldFile.close();
        BinsTab& tab = t.open();
        QSignalSpy done(&tab, &BinsTab::dailyReportDone);
        tab.makeDailyReport();
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 20000);
        QCOMPARE(done[0][1].toString(), QString());
        const QStringList files = done[0][0].toStringList();
        QCOMPARE(files.size(), 2);
        QVERIFY(files[0].endsWith(QStringLiteral("_1号站.pdf")));
        QVERIFY(fileBytes(files[0]).startsWith("%PDF-"));
        QVERIFY(QString::fromUtf8(fileBytes(files[1])).contains(QStringLiteral("全仓最高,22.30,2号电缆,第3层")));
        QVERIFY(!QFile::exists(old));
        QVERIFY(QFile::exists(recent));
    }

    void layoutEditorNamesTheBadFieldAndSavesARightMap()
    {
        Tab t({});
        BinsTab& tab = t.open();
        QCOMPARE(tab.cboBinsBin->itemText(0), QStringLiteral("1号站"));
        tab.cmdBinsLayout->click();
        auto* editor = tab.findChild<LayoutEditor*>();
        QVERIFY(editor);
        // Without a file the editor starts from the map in use.
        QVERIFY(editor->txtLayoutText->toPlainText().contains(QStringLiteral("cable,2,1,2,")));
        editor->txtLayoutText->setPlainText(QStringLiteral("bin,东仓,10,10\ncable,1,1,1,11,1,1,3\n"));
        editor->cmdLayoutSave->click();
        QCOMPARE(editor->lblLayoutCheck->text(), QStringLiteral("布局有误：第2行第5项（x）：应为 0..10 的数"));
        QVERIFY(!QFile::exists(QDir(t.folder.path()).filePath(QStringLiteral("layout.set"))));
        editor->txtLayoutText->setPlainText(QStringLiteral("bin,东仓,10,10\ncable,1,1,1,9,1,1,3"));
        editor->cmdLayoutSave->click();
        QCOMPARE(fileBytes(QDir(t.folder.path()).filePath(QStringLiteral("layout.set"))),
                 QByteArray("bin,东仓,10,10\r\ncable,1,1,1,9,1,1,3\r\n"));
        QCOMPARE(tab.cboBinsBin->count(), 1);
        QCOMPARE(tab.cboBinsBin->itemText(0), QStringLiteral("东仓"));
    }
};

QTEST_MAIN(TestBinsTab)
#include "test_bins_tab.moc"
