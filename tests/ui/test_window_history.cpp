// The history through the window: its tab after the designed four, built when
// first shown; a database that cannot be written, said once while reading goes
// on; the chart following what is recorded; the CSV export; the readings
// published to a broker when mqtt.set asks for it, and the page that shows it.

#include "../notify/python_sink.h"
#include "window_fixture.h"

#include "../common/mosquitto_broker.h"
#include "../common/mqtt_subscriber.h"

#include "history/history_store.h"
#include "protocol/crc16.h"
#include "site/site_record.h"
#include "ui/alarms_panel.h"
#include "ui/broker_panel.h"
#include "ui/history_tab.h"

#include <QComboBox>
#include <QDateTimeAxis>
#include <QDateTimeEdit>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QTreeWidget>
#include <QValueAxis>
#include <cmath>

namespace {
qint64 storedCount(const WindowFixture& f, int channel)
{
    history::HistoryStore store(history::HistoryStore::pathIn(f.folder.path()));
    return store.countReadings({1, channel, {1, 2, 3, 4}, 0, std::numeric_limits<qint64>::max()})
        .value_or(-1);
}

// A window over 3 channels of 4 sensors whose module answers every request, recording every reading.
MainWindow& readingWindow(WindowFixture& f)
{
    f.writeFile(QStringLiteral("ModSet.set"), "1,3,4,1\r\n");
    f.writeFile(QStringLiteral("history.set"), "0,90\r\n");
    MainWindow& w = f.create();
    f.backend->setResponder(answerTemperatures);
    w.txtStartID->setText(QStringLiteral("1"));
    return w;
}
// The chart's series of a sensor (its runs between holes), and how many points each has.
QList<QLineSeries*> runsOf(const HistoryTab* tab, int position)
{
    QList<QLineSeries*> runs;
    for (QAbstractSeries* s : tab->chartTrend->chart()->series()) {
        if (s->name() == QStringLiteral("%1#").arg(position))
            runs << static_cast<QLineSeries*>(s);
    }
    return runs;
}
QList<int> runSizes(const HistoryTab* tab, int position)
{
    QList<int> sizes;
    for (const QLineSeries* run : runsOf(tab, position))
        sizes << run->count();
    return sizes;
}
// A step of 1, 2 or 5 times a power of ten.
bool isRoundStep(double step)
{
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    return qFuzzyCompare(mantissa, 1.0) || qFuzzyCompare(mantissa, 2.0) || qFuzzyCompare(mantissa, 5.0);
}

// A broker, a subscriber to station 1's topics of site "plant", and a window
// that reads three channels of four sensors and publishes there.
struct PublishingSite
{
    MosquittoBroker broker;
    std::unique_ptr<MqttSubscriber> values;

    MqttSubscriber& subscribe()
    {
        values = std::make_unique<MqttSubscriber>(broker.port(), "tq5900k/plant/1/#");
        return *values;
    }
    MainWindow& window(WindowFixture& f)
    {
        f.writeFile(QStringLiteral("mqtt.set"), "127.0.0.1," + QByteArray::number(broker.port()) + ",plant\r\n");
        return readingWindow(f);
    }
};
} // namespace

class TestWindowHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fifthTabBuiltWhenFirstShown()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        QCOMPARE(w.SSTab1->count(), 6);
        QCOMPARE(w.SSTab1->tabText(4), QStringLiteral("历史数据"));
        QCOMPARE(w.SSTab1->tabText(5), QStringLiteral("温度分布"));
        QCOMPARE(w.SSTab1->widget(4)->objectName(), QStringLiteral("tabPages_4"));
        QCOMPARE(w.SSTab1->currentIndex(), 3);
        HistoryTab* tab = w.historyTab();
        QVERIFY(!tab->isBuilt());
        QVERIFY(!tab->findChild<QChartView*>());
        w.show();
        w.SSTab1->setCurrentIndex(4);
        QVERIFY(tab->isBuilt());
        QCOMPARE(tab->tabHistory->tabText(0), QStringLiteral("趋势与导出"));
        QCOMPARE(tab->findChild<QChartView*>(QStringLiteral("chartTrend")), tab->chartTrend);
    }

    void unusableHistoryIsSaidOnceAndReadingGoesOn_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::newRow("history.db a directory") << true;
        QTest::newRow("history.db no database") << false;
    }
    void unusableHistoryIsSaidOnceAndReadingGoesOn()
    {
        QFETCH(bool, directory);
        WindowFixture f;
        if (directory)
            QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("history.db")));
        else
            f.writeFile(QStringLiteral("history.db"), QByteArray(4096, 'x'));
        MainWindow& w = readingWindow(f);
        QLabel* state = w.historyTab()->lblHistoryState;
        for (int pass = 1; pass <= 3; ++pass) {
            f.backend->written();
            w.readAllChannelsOnce();
            QVERIFY(lineSettles(w));
            QCOMPARE(f.backend->written().size(), 3 * 8);
            QCOMPARE(f.cellTexts(3, 4), (QStringList{"3.01", "3.02", "3.03", "3.04"}));
            if (pass == 1)
                QTRY_VERIFY(state->text().contains(QStringLiteral("history.db")));
        }
        w.txtChannel->setText(QStringLiteral("2"));
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.cellTexts(2, 4), (QStringList{"2.01", "2.02", "2.03", "2.04"}));
        QTest::qWait(100);
        QCOMPARE(state->text().count(QLatin1Char('\n')), 0); // one message
        QVERIFY2(state->text().startsWith(QStringLiteral("历史数据库")), qPrintable(state->text()));
        QVERIFY(f.boxes.isEmpty());
    }

    void badHistorySetIsNamedInTheStateLine()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("history.set"), "60,0\r\n");
        MainWindow& w = f.create();
        const QString text = w.historyTab()->lblHistoryState->text();
        QVERIFY2(text.contains(QStringLiteral("history.set")) &&
                     text.contains(QStringLiteral("retention_days")),
                 qPrintable(text));
    }

    // The chart shows what is recorded, and follows each pass while the range is "last ...".
    // The alarms of a pass go to history.db with who acknowledged them; after a
    // restart they are listed again and those in force are still in force.
    // Each start and acknowledgement is also posted once to notify.set's webhook.
    void alarmsRecordedAndInForceAfterARestart()
    {
        if (const QString missing = Sink::unavailable("import http.server"); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        Sink web("http_sink.py");
        QVERIFY(web.start());
        WindowFixture f;
        f.writeFile(QStringLiteral("alarms.set"),
                    "1.03,,\r\n"); // channel 1's position 4, all of channels 2 and 3
        f.writeFile(QStringLiteral("notify.set"),
                    QStringLiteral("webhook,http://127.0.0.1:%1/hook\r\n").arg(web.port()).toUtf8());
        MainWindow& w = readingWindow(f);
        w.setLoggedInUser(QStringLiteral("张工"));
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QVERIFY(w.alarmsPanel()->inAlarm(1, 1, 4));
        QVERIFY(!w.alarmsPanel()->inAlarm(1, 1, 3));
        QTRY_COMPARE(web.files().size(), 9);
        w.alarmsPanel()->cmdAckAllAlarms->click();
        QTRY_COMPARE(web.files().size(), 18);
        f.window.reset(); // its writer writes what it was handed before it goes

        {
            history::HistoryStore store(history::HistoryStore::pathIn(f.folder.path()));
            const std::optional<QVector<alarms::AlarmEntry>> entries = store.recentAlarms(20);
            QVERIFY(entries);
            QCOMPARE(entries->size(), 9);
            for (const alarms::AlarmEntry& entry : *entries)
                QVERIFY(entry.active() && entry.ackedBy == QStringLiteral("张工"));
        }
        MainWindow& again = f.create();
        QVERIFY(again.alarmsPanel()->inAlarm(1, 1, 4));
        QCOMPARE(again.alarmsPanel()->lstAlarms->topLevelItemCount(), 9);
    }

    void chartShowsAndFollowsTheRecordedReadings()
    {
        WindowFixture f;
        MainWindow& w = readingWindow(f);
        QSignalSpy recorded(&w.outlet(), &site::ReadingsOutlet::recorded);
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QTRY_COMPARE(recorded.size(), 1); // in the database before the chart asks
        HistoryTab* tab = w.historyTab();
        QSignalSpy shown(tab, &HistoryTab::trendShown);
        w.show();
        w.SSTab1->setCurrentIndex(4);
        QVERIFY(shown.wait(5000));
        const auto line = [tab](int position) {
            const QList<QAbstractSeries*> all = tab->chartTrend->chart()->series();
            for (QAbstractSeries* s : all)
                if (s->name() == QStringLiteral("%1#").arg(position))
                    return static_cast<QLineSeries*>(s);
            return static_cast<QLineSeries*>(nullptr);
        };
        QCOMPARE(tab->chartTrend->chart()->series().size(), 4);
        QVERIFY(line(2));
        QTRY_COMPARE(line(2)->count(), 1);
        QCOMPARE(line(2)->at(0).y(), 1.02); // channel 1 is chosen first

        for (int pass = 0; pass < 2; ++pass) {
            w.readAllChannelsOnce();
            QVERIFY(lineSettles(w));
        }
        QTRY_COMPARE(line(2)->count(), 3);
        QCOMPARE(line(4)->count(), 3);
        QVERIFY(line(2)->at(1).x() < line(2)->at(2).x());
    }

    // Over the last hour: a line breaks where its readings stop, a lone reading
    // is a marker, one legend entry a sensor, ticks on round minutes and °C.
    void chartBreaksAtHolesAndShowsLoneReadings()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,3,4,1\r\n");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        constexpr qint64 minute = 60000;
        {
            history::HistoryStore store(history::HistoryStore::pathIn(f.folder.path()));
            QVector<history::Reading> readings;
            // 1#: every 10 s for half an hour, too close for markers, then once more
            for (qint64 t = now - 50 * minute; t <= now - 20 * minute; t += 10000)
                readings << history::readingFromRaw(t, 1, 1, 1, quint16(2000 + t / 10000 % 50));
            readings << history::readingFromRaw(now - 10 * minute, 1, 1, 1, 2050);
            readings << history::readingFromRaw(now - 30 * minute, 1, 1, 2, 2100);
            QVERIFY(store.append(readings));
        }
        MainWindow& w = f.create();
        HistoryTab* tab = w.historyTab();
        QSignalSpy shown(tab, &HistoryTab::trendShown);
        w.show();
        w.SSTab1->setCurrentIndex(4);
        QVERIFY(shown.wait(5000));
        QChart* chart = tab->chartTrend->chart();
        QCOMPARE(runSizes(tab, 1), (QList<int>{181, 1}));
        QCOMPARE(runsOf(tab, 1)[1]->color(), runsOf(tab, 1)[0]->color());
        QVERIFY(!runsOf(tab, 1)[0]->pointsVisible());
        QVERIFY(runsOf(tab, 1)[1]->pointsVisible());
        QCOMPARE(runSizes(tab, 2), QList<int>{1});
        QCOMPARE(chart->title(), QString());

        const auto* time = static_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).constFirst());
        const qint64 low = time->min().toMSecsSinceEpoch();
        const qint64 span = time->max().toMSecsSinceEpoch() - low;
        QCOMPARE(span % (time->tickCount() - 1), 0);
        const qint64 step = span / (time->tickCount() - 1);
        QCOMPARE(step % minute, 0);
        QCOMPARE((low + time->min().offsetFromUtc() * 1000LL) % step, 0);
        const auto* value = static_cast<QValueAxis*>(chart->axes(Qt::Vertical).constFirst());
        const double degrees = (value->max() - value->min()) / (value->tickCount() - 1);
        QVERIFY2(isRoundStep(degrees), qPrintable(QString::number(degrees)));
        QCOMPARE(std::remainder(value->min(), degrees), 0.0);

        // Readings recorded after a hole start runs of their own.
        tab->followRecorded(
            {history::readingFromRaw(now, 1, 1, 1, 2100), history::readingFromRaw(now, 1, 1, 2, 2150)});
        QCOMPARE(runSizes(tab, 1), (QList<int>{181, 1, 1}));
        QCOMPARE(runSizes(tab, 2), (QList<int>{1, 1}));
        const auto legend = [chart] {
            QStringList entries;
            for (QLegendMarker* marker : chart->legend()->markers()) {
                if (marker->isVisible()) // the legend shows its markers once laid out
                    entries << marker->label();
            }
            return entries;
        };
        QTRY_COMPARE(legend(), (QStringList{"1#", "2#", "3#", "4#"}));
    }

    // The greyed 从 and 到 show the "last ..." range charted; 自定义 starts from it, up to now.
    void rangeBoxesShowTheRangeCharted()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        HistoryTab* tab = w.historyTab();
        QSignalSpy shown(tab, &HistoryTab::trendShown);
        const auto from = [tab] { return tab->dtpTrendFrom->dateTime().toMSecsSinceEpoch(); };
        const auto to = [tab] { return tab->dtpTrendTo->dateTime().toMSecsSinceEpoch(); };
        constexpr qint64 hour = 3600 * 1000;
        tab->ensureBuilt();
        QVERIFY(shown.wait(5000));
        QCOMPARE(to() - from(), hour);

        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        tab->cboTrendRange->setCurrentIndex(HistoryTab::LastWeek);
        QVERIFY(shown.wait(5000));
        const qint64 charted = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(to() >= before && to() <= charted);
        QCOMPARE(to() - from(), 7 * 24 * hour);

        tab->cboTrendRange->setCurrentIndex(HistoryTab::Custom);
        QVERIFY(to() >= charted && to() <= QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(to() - from(), 7 * 24 * hour);
        QVERIFY(tab->dtpTrendTo->isEnabled());
        const history::ReadingQuery chosen = tab->chosenQuery(0);
        QCOMPARE(chosen.fromMs, from());
        QCOMPARE(chosen.toMs, to());
    }

    // No readings for the choice: the chart says 无数据 until some come, the export writes no file.
    void emptyChoiceSaysNoDataAndExportsNothing()
    {
        WindowFixture f;
        MainWindow& w = readingWindow(f);
        HistoryTab* tab = w.historyTab();
        QSignalSpy shown(tab, &HistoryTab::trendShown);
        tab->ensureBuilt();
        QVERIFY(shown.wait(5000));
        QCOMPARE(tab->chartTrend->chart()->title(), QStringLiteral("无数据"));

        const QString path = QDir(f.folder.path()).filePath(QStringLiteral("out.csv"));
        dialogs::setFileDialogHandler([&](const dialogs::FileDialogRequest&) { return path; });
        tab->cmdExportCsv_Click();
        QTRY_COMPARE(f.boxes.size(), 1);
        QVERIFY2(f.boxes[0].text.contains(QStringLiteral("没有记录")), qPrintable(f.boxes[0].text));
        QVERIFY(!QFile::exists(path));

        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QTRY_COMPARE(tab->chartTrend->chart()->title(), QString());
    }

    void exportWritesTheChosenSensors()
    {
        WindowFixture f;
        MainWindow& w = readingWindow(f);
        for (int pass = 0; pass < 2; ++pass) {
            w.readAllChannelsOnce();
            QVERIFY(lineSettles(w));
        }
        HistoryTab* tab = w.historyTab();
        tab->ensureBuilt();
        tab->cboTrendChannel->setCurrentIndex(1);
        tab->lstTrendPositions->clearSelection();
        tab->lstTrendPositions->item(2)->setSelected(true);
        QVector<dialogs::FileDialogRequest> asked;
        QString answer = QDir(f.folder.path()).filePath(QStringLiteral("out.csv"));
        dialogs::setFileDialogHandler([&](const dialogs::FileDialogRequest& request) {
            asked.append(request);
            return answer;
        });
        QTRY_COMPARE(storedCount(f, 2), 8); // both passes written
        tab->cmdExportCsv_Click();
        QTRY_COMPARE(f.boxes.size(), 1); // the export runs in a thread of its own
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].save);
        QCOMPARE(asked[0].folder, f.folder.path());
        QCOMPARE(asked[0].fileName,
                 QStringLiteral("温度记录_站1_通道2_%1.csv").arg(QDate::currentDate().toString(Qt::ISODate)));
        const QList<QByteArray> lines = f.readFile("out.csv").split('\n');
        QCOMPARE(lines.size(), 1 + 2 + 1); // header, two readings, the end
        QVERIFY2(lines[1].endsWith(",1,2,3,2.03,ok,203\r"), lines[1].constData());
        QCOMPARE(f.boxes.size(), 1); // says where it went
        QVERIFY(f.boxes[0].text.contains(QStringLiteral("out.csv")));

        answer = QDir(f.folder.path()).filePath(QStringLiteral("missing/out.csv"));
        tab->cmdExportCsv_Click();
        QTRY_COMPARE(f.boxes.size(), 2);
        QVERIFY2(f.boxes[1].text.contains(QStringLiteral("missing/out.csv")), qPrintable(f.boxes[1].text));
    }

    // Every reading of a pass and of a single reading goes to the broker, and a
    // channel that does not answer goes to its error topic; the page says so.
    void readingsPublishedToTheBroker()
    {
        if (!MosquittoBroker::available())
            QSKIP("/usr/sbin/mosquitto is not installed (Debian package mosquitto): nothing is published");
        PublishingSite site;
        QVERIFY2(site.broker.start(), qPrintable(site.broker.log()));
        MqttSubscriber& values = site.subscribe();
        QTRY_VERIFY(values.subscribed());
        WindowFixture f;
        MainWindow& w = site.window(f);
        f.backend->setResponder([](const QByteArray& request) {
            return request.size() > 2 && request[2] == 3 ? QByteArray() : answerTemperatures(request);
        });
        w.show();
        w.SSTab1->setCurrentIndex(4);
        auto* page = w.historyTab()->findChild<BrokerPanel*>(QStringLiteral("tabHistoryBroker"));
        QVERIFY(page);
        w.historyTab()->tabHistory->setCurrentWidget(page); // its counters follow while it is shown
        QTRY_COMPARE(page->lblBrokerState->text(), QStringLiteral("已连接 127.0.0.1:%1").arg(site.broker.port()));

        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        w.txtChannel->setText(QStringLiteral("2"));
        w.readChannelOnce();
        const QList<QByteArray> topics = {"1/1", "1/2",     "1/3", "1/4", "2/1", "2/2", "2/3",
                                          "2/4", "3/error", "2/1", "2/2", "2/3", "2/4"};
        QTRY_COMPARE(values.messages().size(), topics.size());
        const QList<MqttSubscriber::Message> got = values.messages();
        for (int i = 0; i < topics.size(); ++i)
            QCOMPARE(got[i].topic, "tq5900k/plant/1/" + topics[i]);
        QVERIFY2(got[1].payload.contains("\"value\":1.02,\"state\":\"ok\""), got[1].payload.constData());
        QVERIFY2(got[8].payload.contains("\"state\":\"no_reply\""), got[8].payload.constData());
        QTRY_COMPARE(page->lblBrokerPublished->text(), QStringLiteral("13"));
        QCOMPARE(page->lblBrokerWaiting->text(), QStringLiteral("0"));
        QVERIFY(page->lblBrokerProblem->isHidden());
    }

    // Closing the window while a pass waits for a channel: what was read stays
    // published, and nothing is said of the channels not read (no false errors).
    void closingDuringAPassPublishesNothingForTheChannelsNotRead()
    {
        if (!MosquittoBroker::available())
            QSKIP("/usr/sbin/mosquitto is not installed (Debian package mosquitto): nothing is published");
        PublishingSite site;
        QVERIFY2(site.broker.start(), qPrintable(site.broker.log()));
        MqttSubscriber& values = site.subscribe();
        QTRY_VERIFY(values.subscribed());
        WindowFixture f;
        MainWindow& w = site.window(f);
        QTRY_COMPARE_WITH_TIMEOUT(w.outlet().publisher()->state(), site::MqttPublisher::State::Connected, 5000);
        f.backend->setResponder([&](const QByteArray& request) {
            if (request.size() > 2 && request[2] == 2) { // the window closes while channel 2 waits
                QMetaObject::invokeMethod(&w, [&] { w.close(); }, Qt::QueuedConnection);
                return QByteArray();
            }
            return answerTemperatures(request);
        });
        w.show();
        w.readAllChannelsOnce();
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!w.readingBusy());
        QTRY_COMPARE(values.messages().size(), 4);
        QTest::qWait(300);
        QCOMPARE(values.messages().size(), 4); // channel 1's values, and nothing else
        for (const MqttSubscriber::Message& m : values.messages())
            QVERIFY2(m.topic.startsWith("tq5900k/plant/1/1/"), m.topic.constData());
    }

    // Publishing off for want of mqtt.set: the page says which file turns it on.
    void brokerPageSaysHowToTurnItOn()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.historyTab()->ensureBuilt();
        auto* page = w.historyTab()->findChild<BrokerPanel*>(QStringLiteral("tabHistoryBroker"));
        QVERIFY(page);
        QCOMPARE(page->lblBrokerState->text(), QStringLiteral("未启用"));
        QVERIFY(!page->lblBrokerHint->isHidden());
        QVERIFY2(page->lblBrokerHint->text().contains(
                     QDir::toNativeSeparators(QDir(f.folder.path()).filePath(QStringLiteral("mqtt.set")))),
                 qPrintable(page->lblBrokerHint->text()));
    }

    void badMqttSetIsNamedOnTheBrokerPage()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("mqtt.set"), "127.0.0.1,1883,plant,line/1\r\n");
        MainWindow& w = f.create();
        w.historyTab()->ensureBuilt();
        auto* page = w.historyTab()->findChild<BrokerPanel*>(QStringLiteral("tabHistoryBroker"));
        QVERIFY(page);
        QCOMPARE(page->lblBrokerState->text(), QStringLiteral("未启用"));
        const QString problem = page->lblBrokerProblem->text();
        QVERIFY2(problem.contains(QStringLiteral("mqtt.set")) && problem.contains(QStringLiteral(" name ")),
                 qPrintable(problem));
        QVERIFY(!page->lblBrokerProblem->isHidden());
        QVERIFY(page->lblBrokerHint->isHidden()); // the problem says it
    }
};

QTEST_MAIN(TestWindowHistory)
#include "test_window_history.moc"
