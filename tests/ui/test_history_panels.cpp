// The alarms page and the traffic page on their own: limits typed in, saved
// and read back; alarms begun and ended by readings; the traffic list as the
// record grows, its file and its statistics. With TQ_PANEL_SHOTS=<folder> the
// panels are also grabbed into PNGs there, to look at them.

#include "../common/recorded_line.h"

#include "alarms/alarms_file.h"
#include "ui/alarms_panel.h"
#include "ui/dialogs.h"
#include "ui/program_folder.h"
#include "ui/traffic_panel.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <ctime>

#include "../common/test_files.h"

namespace {

constexpr qint64 T0 = 1700000000000; // 2023-11-14 22:13:20 UTC
constexpr qint64 Minute = 60 * 1000;

history::Reading reading(int position, double celsius, qint64 timeMs, int channel = 2)
{
    return history::readingFromRaw(timeMs, 1, channel, position, quint16(qint16(celsius * 100)));
}

QStringList rowTexts(const QTreeWidgetItem* row)
{
    QStringList texts;
    for (int column = 0; column < row->columnCount(); ++column)
        texts << row->text(column);
    return texts;
}

// "<position> <end column>" of each alarm listed, top first.
QStringList alarmRows(const AlarmsPanel& panel)
{
    QStringList rows;
    for (int i = 0; i < panel.lstAlarms->topLevelItemCount(); ++i)
        rows << panel.lstAlarms->topLevelItem(i)->text(3) + QLatin1Char(' ') +
                    panel.lstAlarms->topLevelItem(i)->text(6);
    return rows;
}

QStringList tableRow(const QTableWidget* table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->item(row, column)->text();
    return texts;
}

// A traffic recorder on a request core over an open memory port, with a clock the test sets.
struct Line : RecordedLine
{
    explicit Line(int capacity = traffic::TrafficRing::DefaultCapacity) : RecordedLine(capacity, T0) {}

    // A temperature read of two sensors on `channel`, tagged so that each frame's line differs.
    static requests::Request request(int channel, int tag = 0)
    {
        requests::Request r;
        r.frame = QByteArray::fromHex("0103") + char(channel) + char(tag) + QByteArray::fromHex("0002AABB");
        r.threshold = 9;
        r.context = {1, 1, channel, 2, 0};
        return r;
    }
    // As the core says it: the request went out; after `replyMs` its reply came
    // and was judged (none when negative). The page is what these tests look at.
    void exchange(int channel, int replyMs, traffic::Verdict verdict = traffic::Verdict::Decoded, int tag = 0)
    {
        const requests::Request asked = request(channel, tag);
        Q_EMIT core->requestWritten(asked);
        if (replyMs < 0)
            return;
        now += replyMs;
        Q_EMIT core->replyTaken(requests::Reply{QByteArray::fromHex("0103040001000234AA"), asked});
        recorder.noteVerdict(asked, verdict);
    }
    QStringList lines() const
    {
        QStringList all;
        for (int i = 0; i < recorder.record().size(); ++i)
            all << traffic::entryLine(recorder.record().at(i));
        return all;
    }
};

QStringList listLines(const QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

} // namespace

class TestHistoryPanels : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QVector<dialogs::MessageBoxRequest> m_boxes;
    QVector<dialogs::FileDialogRequest> m_fileDialogs;
    QString m_chosenPath;

    QString alarmsFile() const { return QDir(m_folder.path()).filePath(alarms::kAlarmsSetName); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC"); // times are shown in local time
        tzset();
    }
    void init()
    {
        QFile::remove(alarmsFile());
        setProgramFolderForTests(m_folder.path());
        m_boxes.clear();
        m_fileDialogs.clear();
        dialogs::setMessageBoxHandler([this](const dialogs::MessageBoxRequest& request) {
            m_boxes.append(request);
            return int(dialogs::AnswerOk);
        });
        dialogs::setFileDialogHandler([this](const dialogs::FileDialogRequest& request) {
            m_fileDialogs.append(request);
            return m_chosenPath;
        });
    }
    void cleanup()
    {
        dialogs::setMessageBoxHandler(nullptr);
        dialogs::setFileDialogHandler(nullptr);
        setProgramFolderForTests(QString());
    }

    // ---- Alarms

    // Each box reaches its own limit in the file, is shown as saved, and comes back on the next start;
    // the tracker judges with the new limits at once.
    void limitsSavedAndReadBack()
    {
        AlarmsPanel panel(m_folder.path());
        panel.txtAlarmHigh->setText(QStringLiteral("80"));
        panel.txtAlarmLow->setText(QStringLiteral(" -10 "));
        panel.txtAlarmRise->setText(QStringLiteral("12.345"));
        panel.tblChannelLimits->item(2, 0)->setText(QStringLiteral("50"));
        panel.tblChannelLimits->item(6, 1)->setText(QStringLiteral("5"));
        panel.cmdSaveAlarmLimits->click();
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(fileBytes(alarmsFile()), QByteArray("80,-10,12.35\r\n3,50,\r\n7,,5\r\n"));
        QCOMPARE(panel.txtAlarmRise->text(), QStringLiteral("12.35"));

        panel.feed({reading(1, 55, T0, 3), reading(1, 55, T0, 4)});
        QVERIFY(panel.inAlarm(1, 3, 1));  // channel 3's own high
        QVERIFY(!panel.inAlarm(1, 4, 1)); // the installation's

        AlarmsPanel next(m_folder.path());
        QCOMPARE(next.txtAlarmHigh->text(), QStringLiteral("80"));
        QCOMPARE(next.txtAlarmLow->text(), QStringLiteral("-10"));
        QCOMPARE(next.txtAlarmRise->text(), QStringLiteral("12.35"));
        QCOMPARE(next.tblChannelLimits->item(2, 0)->text(), QStringLiteral("50"));
        QCOMPARE(next.tblChannelLimits->item(6, 1)->text(), QStringLiteral("5"));
        QCOMPARE(next.tblChannelLimits->item(6, 0)->text(), QString());
    }

    void badBoxNamedNothingSaved_data()
    {
        QTest::addColumn<QString>("box"); // high, low, rise, h<channel>, l<channel>
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("installation high") << "high"
                                           << "abc"
                                           << "高温上限：请输入-55～125之间的数";
        QTest::newRow("rise") << "rise"
                              << "181"
                              << "温升上限：请输入0～180之间的数";
        QTest::newRow("channel 7 high") << "h7"
                                        << "126"
                                        << "通道7高温上限：请输入-55～125之间的数";
        QTest::newRow("channel 3 low above the high in force") << "l3"
                                                               << "90"
                                                               << "通道3低温下限：不能高于高温上限";
    }
    void badBoxNamedNothingSaved()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        const QByteArray before("80,,\r\n");
        QVERIFY(writeBytes(alarmsFile(), before));
        AlarmsPanel panel(m_folder.path());
        if (box == QLatin1String("high"))
            panel.txtAlarmHigh->setText(text);
        else if (box == QLatin1String("rise"))
            panel.txtAlarmRise->setText(text);
        else
            panel.tblChannelLimits->item(box.mid(1).toInt() - 1, box.startsWith(QLatin1Char('h')) ? 0 : 1)
                ->setText(text);
        panel.cmdSaveAlarmLimits->click();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, message);
        QCOMPARE(fileBytes(alarmsFile()), before);
    }

    // A file that cannot be written is named; the limits typed are not used either.
    void unwritableFileNamed()
    {
        const QString gone = m_folder.filePath(QStringLiteral("no/such/folder"));
        AlarmsPanel panel(gone);
        panel.txtAlarmHigh->setText(QStringLiteral("80"));
        panel.cmdSaveAlarmLimits->click();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QStringLiteral("无法写入报警限值文件“%1”，报警限值未保存。")
                                      .arg(QDir(gone).filePath(alarms::kAlarmsSetName)));
        panel.feed({reading(1, 90, T0)});
        QVERIFY(!panel.inAlarm(1, 2, 1));
    }

    // Named once in a box and on the panel, no limits meanwhile; a good save clears the note.
    void unreadableFileNamed()
    {
        QVERIFY(writeBytes(alarmsFile(), "80,-10,12\r\n11,50,\r\n"));
        AlarmsPanel panel(m_folder.path());
        const QString message =
            QStringLiteral("无法读取报警限值文件“%1”第2行，报警限值未使用。").arg(alarmsFile());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, message);
        QCOMPARE(panel.lblAlarmsFile->text(), message);
        QVERIFY(panel.lblAlarmsFile->isVisibleTo(&panel));
        QCOMPARE(panel.txtAlarmHigh->text(), QString());
        panel.feed({reading(1, 100, T0)});
        QVERIFY(!panel.inAlarm(1, 2, 1));

        panel.txtAlarmHigh->setText(QStringLiteral("80"));
        panel.cmdSaveAlarmLimits->click();
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(!panel.lblAlarmsFile->isVisibleTo(&panel));
    }

    // Alarms of the record: the one in force stays in force (its cell orange) until a reading ends it.
    void restoredAlarmsListedAndInForce()
    {
        QVERIFY(writeBytes(alarmsFile(), "80,,\r\n"));
        AlarmsPanel panel(m_folder.path());
        alarms::AlarmEntry inForce;
        inForce.id = 7;
        inForce.where = {1, 2, 3};
        inForce.startMs = T0;
        inForce.firstValue = inForce.peak = 85;
        inForce.limit = 80;
        alarms::AlarmEntry ended = inForce;
        ended.id = 5;
        ended.where.position = 4;
        ended.endMs = T0 + Minute;
        ended.endReason = QStringLiteral("不再读取");
        panel.restore({inForce, ended}, 9);
        QCOMPARE(alarmRows(panel), (QStringList{"3 报警中", "4 2023-11-14 22:14:20"}));
        QVERIFY(panel.inAlarm(1, 2, 3));
        QList<alarms::AlarmNotice> notices;
        connect(&panel, &AlarmsPanel::noticeReady,
                [&notices](const alarms::AlarmNotice& n) { notices << n; });
        panel.feed({reading(3, 20, T0 + 2 * Minute), reading(5, 90, T0 + 2 * Minute)});
        QCOMPARE(notices.size(), 2);
        QCOMPARE(notices[0].alarmId, 7);
        QCOMPARE(notices[1].alarmId, 10);
        QCOMPARE(alarmRows(panel),
                 (QStringList{"5 报警中", "3 2023-11-14 22:15:20", "4 2023-11-14 22:14:20"}));
    }

    void alarmBeginsAndEnds()
    {
        QVERIFY(writeBytes(alarmsFile(), "80,,\r\n"));
        AlarmsPanel panel(m_folder.path());
        QSignalSpy began(&panel, &AlarmsPanel::alarmBegan);
        QSignalSpy ended(&panel, &AlarmsPanel::alarmEnded);

        panel.feed({reading(3, 85, T0), reading(4, 25, T0)});
        QCOMPARE(began.size(), 1);
        QCOMPARE(began[0], (QVariantList{1, 2, 3}));
        QVERIFY(panel.inAlarm(1, 2, 3));
        QVERIFY(!panel.inAlarm(1, 2, 4));
        QCOMPARE(panel.lstAlarms->topLevelItemCount(), 1);
        QCOMPARE(rowTexts(panel.lstAlarms->topLevelItem(0)),
                 (QStringList{"2023-11-14 22:13:20", "1", "2", "3", "85.00", "高温", "报警中", "报警",
                              "85.00", "", "", ""}));

        panel.feed({reading(3, 70, T0 + Minute)});
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0], (QVariantList{1, 2, 3}));
        QVERIFY(!panel.inAlarm(1, 2, 3));
        QCOMPARE(rowTexts(panel.lstAlarms->topLevelItem(0)),
                 (QStringList{"2023-11-14 22:13:20", "1", "2", "3", "85.00", "高温", "2023-11-14 22:14:20",
                              "报警", "85.00", "恢复正常", "", ""}));
    }

    // The rise is judged against the sensor's reading of an hour before, which the panel keeps.
    void riseJudgedAgainstAnEarlierReading()
    {
        QVERIFY(writeBytes(alarmsFile(), ",,5\r\n"));
        AlarmsPanel panel(m_folder.path());
        panel.feed({reading(1, 20, T0)});
        panel.feed({reading(1, 20.1, T0 + 30 * Minute)});
        panel.feed({reading(1, 20.5, T0 + 60 * Minute)}); // 0.5 in an hour: 12 a day
        QVERIFY(panel.inAlarm(1, 2, 1));
        QCOMPARE(panel.lstAlarms->topLevelItem(0)->text(5), QStringLiteral("温升"));
    }

    // Alarms in force stay on top, newest first; ended ones follow, the oldest dropped past the bound.
    void alarmListOrderAndBound()
    {
        QVERIFY(writeBytes(alarmsFile(), "80,,\r\n"));
        AlarmsPanel panel(m_folder.path());
        qint64 t = T0;
        panel.feed({reading(1, 85, t += Minute)});
        panel.feed({reading(2, 85, t += Minute)});
        panel.feed({reading(1, 20, t += Minute)});
        panel.feed({reading(3, 85, t += Minute)});
        QCOMPARE(alarmRows(panel), (QStringList{"3 报警中", "2 报警中", "1 2023-11-14 22:16:20"}));

        for (int i = 0; i < AlarmsPanel::MaxEndedAlarms; ++i)
            panel.feed({reading(9, 85, t += Minute), reading(9, 20, t += Minute)});
        const QStringList rows = alarmRows(panel);
        QCOMPARE(rows.size(), 2 + AlarmsPanel::MaxEndedAlarms);
        QCOMPARE(rows.mid(0, 2), (QStringList{"3 报警中", "2 报警中"}));
        QVERIFY(rows.at(2).startsWith(QLatin1String("9 ")));
        QVERIFY(rows.last().startsWith(QLatin1String("9 "))); // position 1's alarm was the oldest
    }

    // A warning then the alarm level: two rows; acknowledged by the user set, one or all; the
    // list exported as CSV in its order.
    void levelsAcknowledgedAndExported()
    {
        QVERIFY(writeBytes(alarmsFile(), "80,,\r\nwarning,70,,\r\n"));
        AlarmsPanel panel(m_folder.path());
        panel.setUser(QStringLiteral("张工"));
        QList<alarms::AlarmNotice> notices;
        connect(&panel, &AlarmsPanel::noticeReady,
                [&notices](const alarms::AlarmNotice& n) { notices << n; });
        panel.feed({reading(1, 75, T0)});
        panel.feed({reading(1, 85, T0 + Minute)});
        QCOMPARE(notices.size(), 3); // warning started, ended as escalated, alarm started
        QCOMPARE(alarmRows(panel), (QStringList{"1 报警中", "1 2023-11-14 22:14:20"}));
        QCOMPARE(panel.lstAlarms->topLevelItem(0)->text(AlarmsPanel::Level), QStringLiteral("报警"));
        QCOMPARE(panel.lstAlarms->topLevelItem(1)->text(AlarmsPanel::EndReason), QStringLiteral("升为报警"));
        panel.feed({reading(2, 90, T0 + Minute)});

        panel.lstAlarms->topLevelItem(1)->setSelected(true); // position 1's alarm
        panel.cmdAckAlarm->click();
        QCOMPARE(panel.lstAlarms->topLevelItem(1)->text(AlarmsPanel::AckedBy), QStringLiteral("张工"));
        QVERIFY(panel.lstAlarms->topLevelItem(0)->text(AlarmsPanel::AckedBy).isEmpty());
        panel.cmdAckAllAlarms->click();
        QCOMPARE(panel.lstAlarms->topLevelItem(0)->text(AlarmsPanel::AckedBy), QStringLiteral("张工"));
        QVERIFY(!panel.lstAlarms->topLevelItem(0)->text(AlarmsPanel::AckedAt).isEmpty());
        QCOMPARE(notices.size(), 6); // one more start, two acknowledgements
        QCOMPARE(notices.last().acknowledgedBy, QStringLiteral("张工"));

        m_chosenPath = m_folder.filePath(QStringLiteral("alarms.csv"));
        panel.cmdExportAlarms->click();
        const QStringList csv = QString::fromUtf8(fileBytes(m_chosenPath)).split(QStringLiteral("\r\n"));
        QCOMPARE(csv.size(), 5); // header, three alarms, the empty rest after the last line end
        QVERIFY(csv[1].startsWith(
            QStringLiteral("3,报警,高温,1,2,2,2023-11-14 22:14:20,,,90.00,90.00,80.00,张工,")));
        QVERIFY(csv[3].startsWith(QStringLiteral(
            "1,预警,高温,1,2,1,2023-11-14 22:13:20,2023-11-14 22:14:20,升为报警,75.00,85.00,70.00,,")));
    }

    // ---- Traffic

    // Frames show after the delay, not at once; lines shown stay and change only with their verdict.
    void trafficListFollowsTheRecord()
    {
        Line line;
        TrafficPanel panel(&line.recorder);
        line.exchange(1, 20);
        QCOMPARE(panel.lstTraffic->count(), 0);
        QTRY_COMPARE(listLines(panel.lstTraffic), line.lines());
        QVERIFY(panel.lstTraffic->item(1)->text().endsWith(QStringLiteral("已解析")));
        panel.lstTraffic->item(0)->setData(Qt::UserRole, 42); // gone if the line were made again

        line.exchange(2, -1);
        QTRY_COMPARE(listLines(panel.lstTraffic), line.lines());
        QVERIFY(panel.lstTraffic->item(2)->text().endsWith(QStringLiteral("已发送")));
        line.recorder.noteVerdict(Line::request(2), traffic::Verdict::NoReply);
        QTRY_VERIFY(panel.lstTraffic->item(2)->text().endsWith(QStringLiteral("无应答")));
        QCOMPARE(panel.lstTraffic->item(0)->data(Qt::UserRole), QVariant(42)); // appended to, never rebuilt
    }

    // The oldest lines go with their entries; the lines looked at stay in view, the newest are followed.
    void trafficListScrolling()
    {
        Line line(40);
        TrafficPanel panel(&line.recorder);
        // Frames come while the page is not in view (its size not yet final): shown, it is at the end.
        for (int tag = 0; tag < 40; ++tag)
            line.exchange(1, -1, traffic::Verdict::Decoded, tag);
        QTRY_COMPARE(panel.lstTraffic->count(), 40);
        panel.resize(600, 400);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QScrollBar* bar = panel.lstTraffic->verticalScrollBar();
        QVERIFY(bar->maximum() > 10);
        QCOMPARE(bar->value(), bar->maximum());

        bar->setValue(10);
        const QString lookedAt = panel.lstTraffic->item(10)->text();
        for (int tag = 40; tag < 43; ++tag)
            line.exchange(1, -1, traffic::Verdict::Decoded, tag);
        QTRY_COMPARE(listLines(panel.lstTraffic), line.lines());
        QCOMPARE(panel.lstTraffic->item(bar->value())->text(), lookedAt);

        bar->setValue(bar->maximum());
        line.exchange(1, -1, traffic::Verdict::Decoded, 43);
        QTRY_COMPARE(listLines(panel.lstTraffic), line.lines());
        QCOMPARE(bar->value(), bar->maximum());
    }

    void trafficSaved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("written");
        QTest::newRow("saved") << "record.txt" << true;
        QTest::newRow("not written: named") << "no/such/record.txt" << false;
    }
    void trafficSaved()
    {
        QFETCH(QString, name);
        QFETCH(bool, written);
        Line line;
        TrafficPanel panel(&line.recorder);
        line.exchange(1, 20);
        m_chosenPath = m_folder.filePath(name);
        panel.cmdSaveTraffic->click();
        QCOMPARE(m_fileDialogs.size(), 1);
        QVERIFY(m_fileDialogs[0].save);
        QCOMPARE(m_fileDialogs[0].folder, m_folder.path());
        QCOMPARE(
            m_fileDialogs[0].fileName,
            QStringLiteral("通信记录_%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
        if (written) {
            QVERIFY(m_boxes.isEmpty());
            QCOMPARE(fileBytes(m_chosenPath), traffic::recordText(line.recorder.record()));
        } else {
            QCOMPARE(m_boxes.size(), 1);
            QVERIFY(m_boxes[0].text.contains(m_chosenPath));
        }
    }

    void trafficStatisticsAndClear()
    {
        Line line;
        TrafficPanel panel(&line.recorder);
        line.exchange(1, 10);
        line.exchange(1, 30, traffic::Verdict::CrcError);
        line.exchange(2, -1);
        line.recorder.noteVerdict(Line::request(2), traffic::Verdict::NoReply);
        QTRY_COMPARE(panel.tblTrafficStats->rowCount(), 2);
        QCOMPARE(tableRow(panel.tblTrafficStats, 0), (QStringList{"1", "2", "2", "1", "0", "0", "0", "20"}));
        QCOMPARE(tableRow(panel.tblTrafficStats, 1), (QStringList{"2", "1", "0", "0", "1", "0", "0", "-"}));

        panel.cmdClearTraffic->click();
        QCOMPARE(panel.lstTraffic->count(), 0);
        QCOMPARE(panel.tblTrafficStats->rowCount(), 0);
        line.exchange(3, -1);
        QTRY_COMPARE(listLines(panel.lstTraffic), line.lines());
        QCOMPARE(panel.lstTraffic->count(), 1);
    }

    // ---- Looking at them

    void screenshots()
    {
        const QString folder = qEnvironmentVariable("TQ_PANEL_SHOTS");
        if (folder.isEmpty())
            QSKIP("TQ_PANEL_SHOTS names the folder for the panels' pictures");
        QVERIFY(writeBytes(alarmsFile(), "80,-10,12\r\n3,50,\r\n7,,5\r\n"));
        AlarmsPanel alarmsPanel(m_folder.path());
        alarmsPanel.feed({reading(3, 85.5, T0), reading(4, -12.25, T0, 7), reading(5, 90, T0, 1)});
        alarmsPanel.feed({reading(5, 30, T0 + Minute, 1)});
        alarmsPanel.resize(1030, 690);
        QVERIFY(alarmsPanel.grab().save(QDir(folder).filePath(QStringLiteral("alarms_panel.png"))));

        Line line;
        TrafficPanel trafficPanel(&line.recorder);
        for (int i = 0; i < 30; ++i)
            line.exchange(1 + i % 3, 15 + i % 7,
                          i % 5 == 4 ? traffic::Verdict::CrcError : traffic::Verdict::Decoded);
        line.exchange(4, -1);
        line.recorder.noteVerdict(Line::request(4), traffic::Verdict::NoReply);
        QTRY_COMPARE(trafficPanel.lstTraffic->count(), line.lines().size());
        trafficPanel.resize(1030, 690);
        trafficPanel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trafficPanel));
        QVERIFY(trafficPanel.grab().save(QDir(folder).filePath(QStringLiteral("traffic_panel.png"))));
    }
};

QTEST_MAIN(TestHistoryPanels)
#include "test_history_panels.moc"
