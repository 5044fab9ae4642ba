#pragma once
// The alarms page: the alarm limits, typed in and saved to "alarms.set", and
// the list of alarms that the readings fed to it began and ended.

#include "alarms/alarm_tracker.h"
#include "alarms/limit_entry.h"
#include "alarms/rise_baseline.h"
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

    // Judges each reading against the limits (a rise against the sensor's
    // earliest reading of the last day) and lists the alarms begun and ended.
    void feed(const QVector<history::Reading>& batch);

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

Q_SIGNALS:
    void alarmBegan(int station, int channel, int position);
    void alarmEnded(int station, int channel, int position);

private:
    void buildControls();
    void cmdSaveAlarmLimits_Click();
    alarms::LimitTexts limitTexts() const;
    void showLimits(const alarms::AlarmLimits& limits);
    void listEvent(const alarms::AlarmEvent& event);

    QString m_folder;
    alarms::AlarmTracker m_tracker;
    alarms::RiseBaselines m_baselines;
    std::map<alarms::Sensor, QTreeWidgetItem*> m_activeRows;
};
