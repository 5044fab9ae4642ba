#pragma once
// The main window: owns the serial port and the request core over it, the
// module settings and every control. Handlers carry the names of their control and
// event; each subsystem's handlers live in their own frmMain_<subsystem>.cpp.

#include "frmMain_form.h"

#include "acquisition/grid_geometry.h"
#include "acquisition/request_fields.h"
#include "acquisition/temperature_reading.h"
#include "history/history_settings.h"
#include "history/reading.h"
#include "port/mscomm.h"
#include "protocol/box_number.h"
#include "protocol/reply_notes.h"
#include "requests/request_core.h"
#include "site/site_record.h"

#include <QWidget>
#include <memory>
#include <optional>

class HistoryTab;
class AlarmsPanel;
class TrafficPanel;
namespace site {
class MqttPublisher;
}
namespace traffic {
class TrafficRecorder;
}
namespace history {
class HistoryRecorder;
}

class frmMain : public QWidget, public frmMainForm
{
    Q_OBJECT
public:
    // Without a backend the window talks to the real serial line.
    explicit frmMain(std::unique_ptr<port::SerialBackend> backend = nullptr, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: restores settings, fills boxes, lays out the grid, opens the saved port.
    void Form_Load();

    // ---- State (see the handlers for their use)
    port::MSComm* MSComm1 = nullptr;
    bool PortIsOpen = false;
    int DefaultAddress = 1;
    int ChannelCount = 1;
    int SensorsPerChannel = 6;
    // Every request travels through it: the request on the line, its context and watchdog.
    requests::RequestCore& requestCore() { return *m_requests; }

    // ---- Requests and replies
    // The send steps every sender shares: the status text cleared, the request
    // echoed in txtCommand and written; `lampWhenSent` (imgConnected if none)
    // comes to the front and the waiting text shows. With the port closed nothing
    // is written and the red lamp shows. Returns whether it was written.
    bool SendRequest(const requests::Request& request, QLabel* lampWhenSent = nullptr);
    // Bytes that hold no usable reply: their dump and what is wrong in txtState, the red lamp.
    void ShowUnusableReply(const QByteArray& bytes, const QString& note);
    // True when the verdict lets the reply be used; otherwise shows it as unusable.
    bool ReplyUsable(const requests::Reply& reply, const protocol::ReplyVerdict& verdict);
    // The window's part of the receive event: the reply dump, before its handler runs.
    void MSComm1_OnComm(const requests::Reply& reply);

    // ---- Serial port
    void OpenOnComm();
    // Closes the port and takes the port number and baud rate shown in the lists;
    // a baud rate that is not a whole number is named in a message and nothing changes.
    bool ApplyPortChoice();
    // Input and output emptied, binary input, receive event at 1 byte, no transmit events.
    void ResetPortBuffers();
    void Combo1_Click();
    void cmdCom_Click();
    void cmdOpenComm_Click();
    void cmdCloseComm_Click();

    // ---- Acquisition
    // Lays out the value groups; their cells are created on first use (see valueCells).
    void ArrangeValueGrid();
    // The cells of txtValue<channel> (1-10). The grid's cells beyond element 0 are
    // created the first time the data tab is shown or any cell is needed, so the
    // window opens without building thousands of widgets it does not show yet.
    // Then, too, cells in columns narrower than the designed ones are cut to fit,
    // and every cell gets its tool tip.
    const QVector<QLineEdit*>& valueCells(int channel);
    void EnsureValueCells();
    void ReadModule(const acquisition::TemperatureRequestFields& fields);
    void DoData(const QByteArray& reply, int channel, int positions);
    void comDoOnce_Click();
    void cmdOneM_Click();
    void cmdStopOnce_Click();
    void Timer2_Timer();
    void cmdOnceDo1_Click();
    void CmdReadDataCircle_Click();
    void cmdStopCircle_Click();
    void Timer7_Timer();
    // A reading waits on the line (a single reading for its reply, or a pass).
    bool readingBusy() const { return m_passBusy || m_requests->lineBusy(); }

    // ---- History of readings (frmMain_history.cpp)
    // The fifth tab "历史数据" (objectName tabPages_4), after the designed four.
    HistoryTab* historyTab() const { return m_historyTab; }
    // Reads history.set (an unusable file is named in the tab's state line) and
    // tells the tab the database and the installation.
    void LoadHistorySettings();
    // Reads mqtt.set and, when it asks for it, starts publishing to its broker;
    // an unusable file is named on the tab's page "消息代理".
    void LoadBrokerSettings();
    // The records of a judged reply: the readings it holds, as many as DoData
    // shows, with the station, channel and positions of the request it answers
    // (none for a reply that is not decoded), and the channel's failure when it
    // was not used or stopped short.
    site::ChannelRecords RecordsOf(const acquisition::TemperatureReplyOutcome& outcome,
                                   const requests::Request& request) const;
    // Hands a batch to the history's writer thread (started with the first batch); returns at once.
    void RecordReadings(const QVector<history::Reading>& readings);
    // The history's writer, made with the first batch (null until then).
    history::HistoryRecorder* historyRecorder() const { return m_historyRecorder.get(); }
    // Tells the traffic record what became of a temperature reply, publishes its
    // records (RecordsOf) when mqtt.set asks for it, feeds its readings to the
    // alarms and gives each of its cells the alarm background while its sensor
    // is in alarm.
    void WatchTemperatureReply(const acquisition::TemperatureReplyOutcome& outcome,
                               const requests::Request& request, const site::ChannelRecords& records);
    // The alarms page, made with the first readings or when the tab is first shown.
    AlarmsPanel* alarmsPanel();
    traffic::TrafficRecorder* trafficRecorder() const { return m_traffic; }

    // ---- Device configuration
    void cmdSaveSet_Click();
    void cmdReadAdd_Click();
    void cmdChangeID_Click();
    void cmdBuadRate_Click();

    // ---- Sensor serial numbers
    // The serial numbers the list reads returned, in their text form (a read
    // overwrites as many entries as it returned).
    QStringList ReadSnList;
    void cmdReadSensorID_Click();
    void ReadSensorID();
    void cmdSaveSn_Click();
    void cmdClearSn_Click();
    void cmdOpenFile_Click();
    // Writes the serial number of the verification window at the position box's
    // position; false (with a message) when nothing went out.
    bool WriteSensorSn();
    void cmdFirst_Click();
    void cmdWriteNext_Click();
    void cmdWriteAllSn_Click();
    void cmdStopWrite_Click();
    void Timer5_Timer();
    void cmdAutoSearch_Click();
    void cmdAutoInput_Click();

private:
    void wireHandlers();
    void onConnectionLost();
    void onReplyOverdue();
    // The request is on the line: echo, lamp, waiting text.
    void ShowSent(const requests::Request& request, QLabel* lamp);
    void ShowWaiting(); // the waiting text (and the overdue line when a reply is overdue)
    void SendDeferredRequest();
    bool temperatureReply(const requests::Reply& reply);
    // Decodes a temperature reply into the group of `channel`, or shows what is wrong with it.
    bool ShowTemperatureOutcome(int channel, const acquisition::TemperatureReplyOutcome& outcome);
    void ClearGroup(int channel);
    // Element `index` of txtValue<channel> shows `text`; its tool tip follows.
    void SetCellText(int channel, int index, const QString& text);
    // Group, position and value of the cell, on its box and its label.
    void ShowCellToolTip(int channel, int index);
    // Loops stopped, and a pass asked for during a single reading forgotten.
    void StopReadingLoops();
    // The boxes as request bytes; the first that does not fit is named (by its
    // label's caption) in a message box and nothing is returned.
    std::optional<QVector<quint8>> ReadByteBoxes(std::initializer_list<QLineEdit*> boxes,
                                                 protocol::Rounding rounding);
    QString CaptionOf(const QWidget* box) const;

    // Serial numbers (frmMain_serials.cpp)
    bool readListReply(const requests::Reply& reply);
    bool writeReply(const requests::Reply& reply);
    bool searchReply(const requests::Reply& reply);
    bool readInReply(const requests::Reply& reply);
    void LoadEntry(int position);         // the import list's entry into the verification window
    bool LoadWritableEntry(int position); // the same, unless the entry is no eight hex bytes (message)
    std::optional<int> WritePosition();
    void StopAutomaticWrite(const QString& message);
    void ShowWriteResult(int channel, int position, bool success);
    // The start the commands to the module share (search, read-in, address and
    // baud): loops stopped, status cleared, group 1 red; false (with a message)
    // when `channelBox` names channel 0.
    bool StartModuleCommand(QLineEdit* channelBox);
    bool addressReply(const requests::Reply& reply);
    // Reads the request boxes (the channel box too, unless `withChannel` is false);
    // a box that does not fit its byte is named in a message box and nothing is
    // returned. A loop that asked is stopped before the box opens, and while one
    // such box is open no other is stacked on it: a modal box keeps the event
    // loop, and the loops' timers, running.
    std::optional<acquisition::TemperatureRequestFields>
    ReadRequestBoxes(protocol::Rounding rounding, bool withChannel, IntervalTimer* loopToStop = nullptr);

    void CreateHistoryTab();
    void AddWatchPages(); // the alarms, traffic and broker pages of the history tab
    void ShowCellAlarm(QLineEdit* cell, bool inAlarm);

    requests::RequestCore* m_requests = nullptr;
    HistoryTab* m_historyTab = nullptr;
    AlarmsPanel* m_alarmsPanel = nullptr;
    TrafficPanel* m_trafficPanel = nullptr;
    traffic::TrafficRecorder* m_traffic = nullptr;
    history::HistorySettings m_historySettings;
    acquisition::GridLayout m_gridLayout;
    bool m_valueCellsPending = false;
    bool m_passBusy = false;
    bool m_fieldMessageOpen = false;
    bool m_passQueued = false; // an all-channels pass asked for during a single reading
    int m_lastListCount = -1;  // serial numbers the last list read returned (-1: none yet)
    // A request asked for while a reading had the line: it goes out once the line is free.
    std::optional<std::pair<requests::Request, QLabel*>> m_deferredRequest;
    // Publishing to the broker mqtt.set names (none without it), or why it could not start.
    std::unique_ptr<site::MqttPublisher> m_publisher;
    QString m_brokerProblem;
    // Declared last: destroyed first, it writes what it was handed while the window still stands.
    std::unique_ptr<history::HistoryRecorder> m_historyRecorder;
};
