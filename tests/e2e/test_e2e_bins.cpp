// The 温度分布 tab against the simulated module: after one pass, a hot spot
// shows in the right bin, cable and layer, in its layer's highest, the bin's
// highest and the cell's colour; with no layout.set (the default map) and with
// a written map of several bins; a bad map is named by line and field.

#include "e2e_fixture.h"

#include "ui/bins_tab.h"

#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTableWidget>

namespace {

void readOnePass(EndToEnd& e, MainWindow& w)
{
    const qsizetype before = e.module->framesReceived().size();
    w.readAllChannelsOnce();
    QTRY_VERIFY_WITH_TIMEOUT(e.module->framesReceived().size() >= before + 10 && !w.readingBusy(), 20000);
}

BinsTab& showBinsTab(MainWindow& w)
{
    w.show();
    w.SSTab1->setCurrentWidget(w.binsTab());
    return *w.binsTab();
}

// The average of a layer as the module holds it: the positions given, faults left out.
double moduleAverage(const sim::ModuleModel& model, const QList<QPair<int, int>>& sensors)
{
    qint64 sum = 0;
    int count = 0;
    for (const auto& [channel, position] : sensors) {
        const quint16 raw = model.registerAt(channel, position);
        if (raw == 0xBAD2 || raw == 0xB492 || raw == 0xFFFF)
            continue;
        sum += protocol::signedTemperature(raw);
        ++count;
    }
    return double(sum) / 100 / count;
}

} // namespace

class TestEndToEndBins : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hotSpotWithoutALayoutFile()
    {
        EndToEnd e("1,10,40,1\r\n", "4,19200\r\n");
        sim::ModuleModel model = sim::ModuleModel::demo();
        model.setSensor(3, 12, sim::SensorState::temperature(6000));
        model.setSensor(5, 12, sim::SensorState::notWired());
        QVERIFY(e.startModule(model));
        MainWindow& w = e.openWindow();
        BinsTab& tab = showBinsTab(w);
        readOnePass(e, w);
        QCOMPARE(tab.cboBinsBin->currentText(), QStringLiteral("1号站"));
        QTRY_COMPARE(tab.shownView().whole.values + tab.shownView().whole.faults, 400);
        const bins::BinView& view = tab.shownView();
        QCOMPARE(view.layerCount(), 40);
        QCOMPARE(view.whole.highest->celsius, 60.0);
        QCOMPARE(view.whole.highest->cable, 2); // 3号电缆
        QCOMPARE(view.whole.highest->layer, 12);
        QCOMPARE(view.layers[11].highest->celsius, 60.0);
        QCOMPARE(view.layers[11].faults, 1);
        QList<QPair<int, int>> layer12;
        for (int channel = 1; channel <= 10; ++channel)
            layer12.append({channel, 12});
        QCOMPARE(report::celsiusText(view.layers[11].average),
                 report::celsiusText(moduleAverage(e.module->model(), layer12)));
        // The cell's colour is the scale's top, and its tool tip names where it is.
        const QModelIndex cell = tab.model()->index(11, 2);
        const report::ColourScale scale{0, 40};
        QCOMPARE(tab.model()->data(cell, Qt::BackgroundRole).value<QBrush>().color(), scale.colourOf(60));
        QCOMPARE(tab.model()->data(cell, Qt::DisplayRole).toString(), QStringLiteral("60.00"));
        QVERIFY(tab.model()->data(cell, Qt::ToolTipRole).toString().contains(QStringLiteral("1号站 3通道 位置12")));
        QCOMPARE(tab.model()->data(tab.model()->index(11, 4), Qt::DisplayRole).toString(), QStringLiteral("未接线"));
        QVERIFY(tab.lblBinsSummary->text().contains(QStringLiteral("最高 60.00 °C（3号电缆 第12层）")));

        // The next pass is followed, without anything asked.
        e.module->model().setSensor(3, 12, sim::SensorState::temperature(2000));
        e.module->model().setSensor(7, 30, sim::SensorState::temperature(7150));
        readOnePass(e, w);
        QTRY_COMPARE(tab.shownView().whole.highest->celsius, 71.5);
        QCOMPARE(tab.shownView().whole.highest->cable, 6);
        QCOMPARE(tab.shownView().whole.highest->layer, 30);
    }

    void hotSpotInAWrittenMapOfSeveralBins()
    {
        EndToEnd e("1,10,40,1\r\n", "4,19200\r\n");
        // Bin 东仓: channels 1..5, channel 2 bottom-up; bin 西仓: channels 6..10, channel 8 of 20 sensors from position 11.
        e.writeFile(QStringLiteral("layout.set"), "bin,东仓,10,10\r\n"
                                                  "cable,1,1,1,1,1,1,40\r\n"
                                                  "cable,2,1,2,3,1,40,1\r\n"
                                                  "cable,3,1,3,5,1,1,40\r\n"
                                                  "cable,4,1,4,7,1,1,40\r\n"
                                                  "cable,5,1,5,9,1,1,40\r\n"
                                                  "bin,西仓,10,10\r\n"
                                                  "cable,6,1,6,1,5,1,40\r\n"
                                                  "cable,7,1,7,3,5,1,40\r\n"
                                                  "cable,8,1,8,5,5,11,30\r\n"
                                                  "cable,9,1,9,7,5,1,40\r\n"
                                                  "cable,10,1,10,9,5,1,40\r\n");
        sim::ModuleModel model = sim::ModuleModel::demo();
        model.setSensor(2, 35, sim::SensorState::temperature(5500)); // 东仓 2号电缆 layer 6 (bottom-up)
        model.setSensor(8, 15, sim::SensorState::temperature(6600)); // 西仓 8号电缆 layer 5
        QVERIFY(e.startModule(model));
        MainWindow& w = e.openWindow();
        BinsTab& tab = showBinsTab(w);
        QCOMPARE(tab.cboBinsBin->count(), 2);
        readOnePass(e, w);
        QTRY_COMPARE(tab.shownView().whole.values + tab.shownView().whole.faults, 200);
        QCOMPARE(tab.shownView().bin.name, QStringLiteral("东仓"));
        QCOMPARE(tab.shownView().whole.highest->celsius, 55.0);
        QCOMPARE(tab.shownView().whole.highest->cable, 1);
        QCOMPARE(tab.shownView().whole.highest->layer, 6);

        tab.cboBinsBin->setCurrentIndex(1);
        QTRY_COMPARE(tab.shownView().bin.name, QStringLiteral("西仓"));
        const bins::BinView& west = tab.shownView();
        QCOMPARE(west.whole.highest->celsius, 66.0);
        QCOMPARE(west.whole.highest->cable, 2);
        QCOMPARE(west.whole.highest->layer, 5);
        QCOMPARE(west.layers[4].highest->celsius, 66.0);
        QVERIFY(!west.cells[20][2].hasSensor); // the short cable ends at layer 20
        QCOMPARE(west.whole.values + west.whole.faults, 4 * 40 + 20);
        // Bin against bin: both bins' highest side by side.
        QTRY_COMPARE(tab.tblBinsAll->rowCount(), 2);
        QVERIFY(tab.tblBinsAll->item(0, 2)->text().startsWith(QStringLiteral("55.00")));
        QVERIFY(tab.tblBinsAll->item(1, 2)->text().startsWith(QStringLiteral("66.00")));
    }

    void badMapIsNamed()
    {
        EndToEnd e;
        e.writeFile(QStringLiteral("layout.set"), "bin,A,10,10\r\ncable,1,1,12,1,1,1,40\r\n");
        MainWindow& w = e.openWindow();
        QVERIFY2(w.binsTab()->stateText().contains(QStringLiteral("第2行第4项（通道）：应为 1..10 的整数")),
                 qPrintable(w.binsTab()->stateText()));
        // Said at start-up too, as the other settings files are.
        QVERIFY(std::any_of(e.boxes.begin(), e.boxes.end(), [](const dialogs::MessageBoxRequest& box) {
            return box.text.contains(QStringLiteral("layout.set”第2行第4项（通道）"));
        }));
        // The default map serves meanwhile.
        QCOMPARE(w.binsTab()->cboBinsBin->itemText(0), QStringLiteral("1号站"));
    }
};

QTEST_MAIN(TestEndToEndBins)
#include "test_e2e_bins.moc"
