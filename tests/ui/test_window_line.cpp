// The line's tuning through the window: line.set at start-up, the dialog that
// edits it, the no-reply texts that follow the time-out, and the line test on
// the traffic page, over the in-memory port.

#include "window_fixture.h"

#include "ui/history_tab.h"
#include "ui/line_settings_dialog.h"
#include "ui/traffic_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

class TestWindowLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineSetIsLoadedAndTheTextsFollowIt()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("line.set"), "timeout_ms=4500\r\nretries=2\r\nvendor=x\r\n");
        MainWindow& w = f.create();
        QVERIFY(f.boxes.isEmpty());
        QCOMPARE(w.requestCore().lineTuning().replyTimeoutMs, 4500);
        QCOMPARE(w.requestCore().lineTuning().retries, 2);
        QVERIFY2(w.lblLineSummary->text().contains(QLatin1String("4500")), qPrintable(w.lblLineSummary->text()));
        w.readModuleAddress();
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("等待响应中...(如果4.5秒内未响应，请检查命令或硬件！)"));
    }

    void badValueInLineSetIsNamed()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("line.set"), "gap_ms=abc\r\nretries=3\r\n");
        MainWindow& w = f.create();
        QCOMPARE(f.boxes.size(), 1);
        QVERIFY2(f.boxes[0].text.contains(QLatin1String("gap_ms")), qPrintable(f.boxes[0].text));
        QCOMPARE(w.requestCore().lineTuning().gapMs, 0);
        QCOMPARE(w.requestCore().lineTuning().retries, 3);
    }

    // A value that does not fit is named and nothing is saved; 保存 with good
    // values writes line.set (keeping the lines it does not know) and the line
    // is driven by them at once.
    void dialogSavesLineSet()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("line.set"), "vendor=x\r\n");
        MainWindow& w = f.create();
        w.cmdLineSettings->click();
        auto* dialog = w.findChild<LineSettingsDialog*>();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        dialog->txtReplyTimeout->setText(QStringLiteral("99"));
        dialog->cmdSaveLine->click();
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, QStringLiteral("应答超时(ms)：请输入100～60000之间的整数"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(f.readFile(QStringLiteral("line.set")), QByteArray("vendor=x\r\n"));

        dialog->txtReplyTimeout->setText(QStringLiteral("800"));
        dialog->txtRetries->setText(QStringLiteral("1"));
        dialog->txtGap->setText(QStringLiteral("20"));
        dialog->chkEcho->setChecked(true);
        dialog->cmdSaveLine->click();
        QCOMPARE(f.boxes.size(), 1);
        QTRY_VERIFY(!w.findChild<LineSettingsDialog*>());
        QCOMPARE(f.readFile(QStringLiteral("line.set")),
                 QByteArray("address=\r\ntimeout_ms=800\r\nretries=1\r\ngap_ms=20\r\necho=1\r\nvendor=x\r\n"));
        const requests::LineTuning& t = w.requestCore().lineTuning();
        QCOMPARE(t.replyTimeoutMs, 800);
        QCOMPARE(t.retries, 1);
        QCOMPARE(t.gapMs, 20);
        QVERIFY(t.echo);
    }

    // The line test runs from the traffic page with the request boxes; stopped,
    // it shows what it saw so far.
    void lineTestRunsFromTheTrafficPage()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        f.backend->setResponder(answerTemperatures);
        w.historyTab()->ensureBuilt();
        auto* panel = w.findChild<TrafficPanel*>();
        QVERIFY(panel);
        w.txtStationID->setText(QStringLiteral("1"));
        w.txtChannel->setText(QStringLiteral("2"));
        panel->cmdLineTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->cmdLineTest->isEnabled(), true, 20000);
        QCOMPARE(panel->prgLineTest->value(), acquisition::kLineTestDefaultRequests);
        QVERIFY2(panel->lblLineTestFigures->text().startsWith(QStringLiteral("请求 50，正确应答 50，")),
                 qPrintable(panel->lblLineTestFigures->text()));

        f.backend->setResponder({}); // no replies: the test is stopped on its first request
        panel->cmdLineTest->click();
        QVERIFY(panel->cmdStopLineTest->isEnabled());
        panel->cmdStopLineTest->click();
        QVERIFY(panel->cmdLineTest->isEnabled());
        QVERIFY(panel->lblLineTestFigures->text().startsWith(QStringLiteral("(已停止) 请求 0")));
        QVERIFY(!w.lineTest().running());
    }
};

QTEST_MAIN(TestWindowLine)
#include "test_window_line.moc"
