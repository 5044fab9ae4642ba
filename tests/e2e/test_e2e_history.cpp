// The history over a real pseudo-terminal: what the grid shows of the
// all-channels loop and of single readings is what history.db holds, with the
// station, channel and position asked for; flagged replies leave nothing.

#include "e2e_fixture.h"

#include "history/history_store.h"
#include "traffic/traffic_recorder.h"
#include "ui/alarms_panel.h"

namespace {
// A channel's readings in the database, every position 1..positions, in time order.
QVector<history::Reading> stored(const QString& folder, int station, int channel, int positions)
{
    history::HistoryStore store(history::HistoryStore::pathIn(folder));
    history::ReadingQuery query{station, channel, {}, 0, std::numeric_limits<qint64>::max()};
    for (int p = 1; p <= positions; ++p)
        query.positions.append(p);
    return store.readings(query);
}

// The texts of the newest reading of each position 1..positions, empty where there is none.
QStringList newestTexts(const QVector<history::Reading>& readings, int positions)
{
    QStringList texts(positions);
    for (const history::Reading& r : readings) // in time order: the last one stays
        texts[r.position - 1] = protocol::temperatureText(r.raw);
    return texts;
}
} // namespace

class TestEndToEndHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every value of every pass is recorded (interval 0), under the station,
    // channel and position it was read from; the newest are those the grid shows.
    void loopRecordsWhatTheGridShows()
    {
        EndToEnd e("1,10,40,1\r\n", "4,19200\r\n");
        e.writeFile(QStringLiteral("history.set"), "0,90\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtTimerSet[1]->setText(QStringLiteral("1"));
        w.startAllChannelsLoop();
        QTRY_VERIFY_WITH_TIMEOUT(e.module->framesReceived().size() >= 20, 20000);
        w.stopAllChannelsLoop();
        QTRY_VERIFY_WITH_TIMEOUT(!w.Timer7->isTicking() && !w.readingBusy(), 5000);
        const int passes = int(e.module->framesReceived().size()) / 10;
        QList<QStringList> shown;
        for (int c = 1; c <= 10; ++c)
            shown << e.cells(c, 40);
        e.window.reset(); // writes every batch handed over

        for (int c = 1; c <= 10; ++c) {
            const QVector<history::Reading> readings = stored(e.folder.path(), 1, c, 40);
            QCOMPARE(readings.size(), passes * 40);
            QCOMPARE(newestTexts(readings, 40), shown[c - 1]);
            QCOMPARE(shown[c - 1], e.expected(c, 40));
        }
        // Nothing under another station.
        QVERIFY(stored(e.folder.path(), 2, 1, 40).isEmpty());
    }

    // A single reading is recorded under the station and the positions it asked
    // for; replies flagged (a broken CRC) leave nothing, and a reply cut short
    // leaves the registers it holds whole, as many as the grid shows.
    void singleReadingsAndFaults()
    {
        EndToEnd e("1,10,40,1\r\n", "4,19200\r\n");
        e.writeFile(QStringLiteral("history.set"), "0,90\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        w.txtChannel->setText(QStringLiteral("3"));
        w.txtStartID->setText(QStringLiteral("5"));
        w.txtDataLength->setText(QStringLiteral("6"));
        w.readChannelOnce();
        QTRY_COMPARE(e.cells(3, 6), e.expected(3, 6, 5));
        const QStringList single = e.cells(3, 6);

        w.txtChannel->setText(QStringLiteral("4"));
        e.module->addFault(fault(QStringLiteral("corruptcrc,next=1")));
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(e.cells(4, 6), QStringList(6, QString()));

        w.txtStartID->setText(QStringLiteral("1"));
        w.txtDataLength->setText(QStringLiteral("40"));
        e.module->addFault(fault(QStringLiteral("corruptcrc,channel=5")));
        e.module->addFault(fault(QStringLiteral("truncate:30,channel=6")));
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 20000));
        const QStringList cutShort = e.cells(6, 40);
        const int whole = int(cutShort.size() - cutShort.count(QString()));
        QVERIFY(whole > 0 && whole < 40);
        e.window.reset();

        const QVector<history::Reading> three = stored(e.folder.path(), 1, 3, 40);
        QCOMPARE(three.size(), 6 + 40);
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(three[k].position, 5 + k); // the single reading's, the pass's come later
            QCOMPARE(protocol::temperatureText(three[k].raw), single[k]);
        }
        QCOMPARE(stored(e.folder.path(), 1, 4, 40).size(), 40); // the pass's only
        QVERIFY(stored(e.folder.path(), 1, 5, 40).isEmpty());
        const QVector<history::Reading> six = stored(e.folder.path(), 1, 6, 40);
        QCOMPARE(six.size(), whole);
        QCOMPARE(newestTexts(six, 40), cutShort);
    }

    // A pass feeds the alarms and the traffic record: a cell whose value is
    // above the high limit has the alarm background, the others not; a channel
    // whose reply fails its CRC is counted as such, the others as replies.
    void alarmsAndTrafficFollowThePass()
    {
        EndToEnd e("1,4,40,1\r\n", "4,19200\r\n");
        e.writeFile(QStringLiteral("alarms.set"), "22.00,,\r\n");
        QVERIFY(e.startModule());
        MainWindow& w = e.openWindow();
        e.module->addFault(fault(QStringLiteral("corruptcrc,channel=2")));
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w, 20000));
        const QStringList three = e.cells(3, 40);
        QCOMPARE(three, e.expected(3, 40));
        const QVector<QLineEdit*>& cells = w.valueCells(3);
        int alarming = 0;
        for (int k = 0; k < 40; ++k) {
            bool number = false;
            const double value = three[k].toDouble(&number);
            const bool above = number && value > 22.0;
            alarming += above;
            QCOMPARE(cells[k]->property("inAlarm").toBool(), above);
            QCOMPARE(w.alarmsPanel()->inAlarm(1, 3, k + 1), above);
        }
        QVERIFY(alarming > 0 && alarming < 40); // the limit splits the channel
        const auto& stats = w.trafficRecorder()->stats();
        QCOMPARE(stats.at(2).crcErrors, 1);
        QCOMPARE(stats.at(3).requests, 1);
        QCOMPARE(stats.at(3).replies, 1);
        QCOMPARE(stats.at(3).crcErrors, 0);
    }
};

QTEST_MAIN(TestEndToEndHistory)
#include "test_e2e_history.moc"
