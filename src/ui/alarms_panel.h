#pragma once
// The alarms page: the alarm limits, typed in and saved to "alarms.set", and
// the list of alarms that the alarm engine, fed the window's readings, starts,
// ends and has acknowledged.

#include "alarms/alarm_engine.h"
#include "alarms/limit_entry.h"
#include "history/reading.h"

#include <QVector>
#include <QWidget>
#include <map>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

class AlarmsPanel : public QWidget
{
    Q_OBJECT
public:
    // Ended alarms the list keeps, newest first; alarms in force are all listed.
    static constexpr int MaxEndedAlarms = 500;

    // Loads the limits from "alarms.set" in `programFolder`; a file that cannot
    // be used is named in a message box and on the panel, and leaves no limits.
    explicit AlarmsPanel(const QString& programFolder, QWidget* parent = nullptr);

    // Judges each reading (see alarms::AlarmEngine) and lists the alarms started and ended.
    void feed(const QVector<history::Reading>& batch);
    // A channel of `station` that gave no usable reply in the pass.
    void channelUnanswered(int station, qint64 timeMs);
    // The pass is over: a round for silent stations and what is no longer read.
    void roundEnded(qint64 timeMs);
    // The alarms of the record: those in force (the engine takes them up) and
    // ended ones, in the list's order; ids go on after `highestId`.
    void restore(const QVector<alarms::AlarmEntry>& entries, qint64 highestId);
    // Who acknowledges: the user logged in.
    void setUser(const QString& user) { m_user = user; }

    bool inAlarm(int station, int channel, int position) const;

    // The installation's limits.
    QLineEdit* txtAlarmHigh = nullptr;
    QLineEdit* txtAlarmLow = nullptr;
    QLineEdit* txtAlarmRise = nullptr;
    // A row per channel 1..10: its own high and low limit.
    QTableWidget* tblChannelLimits = nullptr;
    QPushButton* cmdSaveAlarmLimits = nullptr;
    // Why the limits file was not used; hidden when it was.
    QLabel* lblAlarmsFile = nullptr;
    // Alarms in force first, newest first, then ended ones.
    QTreeWidget* lstAlarms = nullptr;
    // "确认": the alarms selected in force; "全部确认": every one in force; "导出CSV...": the list.
    QPushButton* cmdAckAlarm = nullptr;
    QPushButton* cmdAckAllAlarms = nullptr;
    QPushButton* cmdExportAlarms = nullptr;

    // The columns of lstAlarms.
    enum AlarmColumn {
        Began,
        Station,
        Channel,
        Position,
        Value,
        Kind,
        Ended,
        Level,
        Peak,
        EndReason,
        AckedBy,
        AckedAt
    };

Q_SIGNALS:
    void alarmBegan(int station, int channel, int position);
    void alarmEnded(int station, int channel, int position);
    // Every start, end and acknowledgement, for the delivery.
    void noticeReady(const alarms::AlarmNotice& notice);

private:
    void buildControls();
    void cmdSaveAlarmLimits_Click();
    alarms::LimitTexts limitTexts() const;
    void showLimits(const alarms::AlarmLimits& limits);
    void handle(const QList<alarms::AlarmNotice>& notices);
    void listNotice(const alarms::AlarmNotice& notice);
    void showRow(QTreeWidgetItem* row, const alarms::AlarmEntry& entry);
    void acknowledgeSelected();
    void acknowledgeAll();
    void exportCsv();

    QString m_folder;
    QString m_user;
    alarms::AlarmEngine m_engine;
    alarms::AlarmRules m_rules; // as loaded, kept by a save of the boxes
    // The alarms listed, by id; their rows, in force first.
    std::map<qint64, alarms::AlarmEntry> m_entries;
    std::map<qint64, QTreeWidgetItem*> m_rows;
    int m_activeCount = 0;
};
