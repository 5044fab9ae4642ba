// The alarms page on its own: limits typed in, saved and read back; alarms
// begun and ended by readings. With TQ_PANEL_SHOTS=<folder> the page is also
// grabbed into a PNG there, to look at it.

#include "alarms/alarms_file.h"
#include "ui/alarms_panel.h"
#include "ui/dialogs.h"
#include "ui/program_folder.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

} // namespace

class TestHistoryPanels : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QVector<dialogs::MessageBoxRequest> m_boxes;

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
        dialogs::setMessageBoxHandler([this](const dialogs::MessageBoxRequest& request) {
            m_boxes.append(request);
            return int(dialogs::AnswerOk);
        });
    }
    void cleanup()
    {
        dialogs::setMessageBoxHandler(nullptr);
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
                 (QStringList{"2023-11-14 22:13:20", "1", "2", "3", "85.00", "高温", "报警中"}));

        panel.feed({reading(3, 70, T0 + Minute)});
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0], (QVariantList{1, 2, 3}));
        QVERIFY(!panel.inAlarm(1, 2, 3));
        QCOMPARE(rowTexts(panel.lstAlarms->topLevelItem(0)),
                 (QStringList{"2023-11-14 22:13:20", "1", "2", "3", "85.00", "高温", "2023-11-14 22:14:20"}));
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
    }
};

QTEST_MAIN(TestHistoryPanels)
#include "test_history_panels.moc"
