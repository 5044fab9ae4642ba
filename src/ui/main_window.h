#pragma once
// The main window (objectName frmMain): its controls, and the wiring of those
// controls to the controllers that own the work: reading temperatures
// (acquisition::ReadingController), the serial-number commands
// (serials::SerialNumbersController), the module's address and baud rate
// (config::ModuleConfigController) and where readings go besides the grid
// (site::ReadingsOutlet). Every request travels the request core over the
// window's port. Handlers read boxes, call a controller and write controls;
// each concern's handlers live in a main_window_<concern>.cpp of their own.

#include "main_window_form.h"

#include "acquisition/grid_geometry.h"
#include "acquisition/line_test.h"
#include "acquisition/reading_controller.h"
#include "config/module_config_controller.h"
#include "port/mscomm.h"
#include "port/system_ports.h"
#include "protocol/box_number.h"
#include "requests/request_core.h"
#include "serials/serial_numbers_controller.h"
#include "site/readings_outlet.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class BinsTab;
class HistoryTab;
class LineSettingsDialog;
class BusScanDialog;
class LineGutter;
class QScrollArea;
class AlarmsPanel;
class TrafficPanel;
namespace notify {
class AlarmDelivery;
}
namespace traffic {
class TrafficRecorder;
}
namespace form {
class Zoom;
}

class MainWindow : public QWidget, public MainWindowForm
{
    Q_OBJECT
public:
    // Without a backend the window talks to the real serial line.
    explicit MainWindow(std::unique_ptr<port::SerialBackend> backend = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: restores settings, fills boxes, lays out the grid, opens the saved port.
    void startUp();
    // The user who logged in: who acknowledges alarms.
    void setLoggedInUser(const QString& user);

    // The window's serial port, and the request core every request travels.
    port::MSComm* MSComm1 = nullptr;
    requests::RequestCore& requestCore() { return *m_requests; }
    acquisition::ReadingController& reading() { return *m_reading; }
    serials::SerialNumbersController& serialCommands() { return *m_serials; }
    config::ModuleConfigController& moduleConfig() { return *m_moduleConfig; }
    site::ReadingsOutlet& outlet() { return *m_outlet; }
    // Where alarm events go to people (e-mail, webhooks, the broker), when
    // notify.set asked for it and it started; null otherwise.
    notify::AlarmDelivery* alarmDelivery() const { return m_alarmDelivery.get(); }
    BinsTab* binsTab() const { return m_binsTab; }

    // The program opened the port (readings may run); false after a loss or a close.
    bool portIsOpen() const { return m_portIsOpen; }
    // The installation's module settings, read at start-up.
    int defaultAddress() const { return m_defaultAddress; }
    int channelCount() const { return m_channelCount; }
    int sensorsPerChannel() const { return m_sensorsPerChannel; }

    // ---- Serial port (main_window_port.cpp)
    void portChosen();        // an entry of Combo1 was chosen: that port opens
    void savePortSettings();  // cmdCom: applies the lists, opens the port, saves comm.set
    void openPort();          // cmdOpenComm
    void closePort();         // cmdCloseComm

    // ---- Reading temperatures (main_window_reading.cpp)
    void readChannelOnce();        // comDoOnce
    void startChannelLoop();       // cmdOneM
    void stopChannelLoop();        // cmdStopOnce
    void channelLoopTick();        // Timer2
    void readAllChannelsOnce();    // cmdOnceDo1
    void startAllChannelsLoop();   // CmdReadDataCircle
    void stopAllChannelsLoop();    // cmdStopCircle
    void allChannelsLoopTick();    // Timer7
    // A reading waits on the line (a single reading for its reply, or a pass).
    bool readingBusy() const { return m_reading->busy(); }

    // ---- The value grid (main_window_grid.cpp)
    // Lays out the value groups; their cells are created on first use (see valueCells).
    void arrangeValueGrid();
    // The cells of txtValue<channel> (1-10). The grid's cells beyond element 0 are
    // created the first time the data tab is shown or any cell is needed, so the
    // window opens without building thousands of widgets it does not show yet.
    // Then, too, cells in columns narrower than the form's boxes are cut to fit,
    // and every cell gets its tool tip.
    const QVector<QLineEdit*>& valueCells(int channel);
    void ensureValueCells();
    // Writes the registers of a temperature reply into the group of `channel`, at
    // most `positions` of them, in black; a reply of fewer than 6 bytes changes nothing.
    void showTemperatures(const QByteArray& reply, int channel, int positions);

    // ---- The module's address and baud rate, the module settings (main_window_module.cpp)
    void saveModuleSettings();  // cmdSaveSet
    void readModuleAddress();   // cmdReadAdd
    void changeModuleAddress(); // cmdChangeID
    void changeModuleBaud();    // cmdBuadRate

    // ---- Sensor serial numbers (main_window_serials.cpp)
    // The serial numbers the list reads returned, in their text form (a read
    // overwrites as many entries as it returned).
    QStringList readSerialTexts;
    void readSerialList();        // cmdReadSensorID
    void saveSerialList();        // cmdSaveSn
    void clearObservationWindow(); // cmdClearSn
    void importSerialFile();      // cmdOpenFile
    // Writes the serial number of the verification window at the position box's
    // position; false (with a message) when nothing went out.
    bool writeShownSerial();
    void writeFirstSerial();      // cmdFirst
    void writeNextSerial();       // cmdWriteNext
    void startAutomaticWrite();   // cmdWriteAllSn
    void stopAutomaticWrite();    // cmdStopWrite
    void automaticWriteTick();    // Timer5
    void searchSensors();         // cmdAutoSearch
    void readInSensor();          // cmdAutoInput

    // ---- History, alarms, traffic, broker (main_window_history.cpp)
    // The fifth tab "历史数据" (objectName tabPages_4), after the four of the form.
    HistoryTab* historyTab() const { return m_historyTab; }
    // The alarms page, made with the first readings or when the tab is first shown; its
    // noticeReady tells every alarm event.
    AlarmsPanel* alarmsPanel();
    traffic::TrafficRecorder* trafficRecorder() const { return m_traffic; }

    // ---- The line's tuning and the line test (main_window_line.cpp)
    void openLineSettings(); // cmdLineSettings: the dialog, window-modal, without an event loop of its own
    void openBusScan();      // cmdBusScan: the scan's dialog, not modal
    // Combo1's entries after COMn: the system's serial ports as `lister` gives
    // them (the system's own list unless a test says otherwise), made anew now
    // and whenever the list is about to open.
    void setSystemPortLister(std::function<QList<port::SystemPort>()> lister)
    {
        m_listSystemPorts = std::move(lister);
        refreshPortList();
    }
    void refreshPortList();
    // The module a scan found becomes the one talked to: its station in every
    // station box, its rate on the port and in 当前波特率值.
    void useFoundModule(int station, int baud);
    void switchPortRate(int rate); // Combo2 set to `rate`, the port reopened at it
    BusScanDialog* busScanDialog() const { return m_busScan; }
    // The line test on the request station, function, start, count and channel
    // boxes; its figures go to the traffic page.
    void startLineTest();
    acquisition::LineTest& lineTest() { return *m_lineTest; }

    // ---- The view: the form in a scroll area, and its zoom (main_window_view.cpp)
    // The scroll area that fills the window; its widget is the form, at the zoom's
    // size, with scroll bars where the window is smaller.
    QScrollArea* formView() const { return m_formView; }
    int zoomPercent() const { return m_zoomPercent; }
    // Scales the whole form (within the zoom's range) and keeps the zoom in view.set.
    void setZoomPercent(int percent);
    void zoomIn();    // Ctrl + and Ctrl =
    void zoomOut();   // Ctrl -
    void resetZoom(); // Ctrl 0: 100 %

protected:
    // Closing ends every wait at once: nothing more is read, recorded or published
    // for a request not yet answered, and the broker gets at most ReadingsOutlet::CloseFlushMs.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- View (main_window_view.cpp)
    // The scroll area and the form's own widget, which setupUi builds the form into.
    QWidget* createFormView();
    // After setupUi: the form's caption and icon become the window's, the zoom and its keys.
    void showFormInView(QWidget* form);
    // Start-up: the zoom view.set holds (100 % for a file that cannot be used:
    // nothing but the size depends on it, so nobody is told) and a window size
    // that fits the screen.
    void restoreZoom();
    void applyZoom(int percent);
    // Cells cut to narrow columns get the font that fits their zoomed width.
    void fitNarrowedValueCells();

    void wireControls();
    void wireControllers();
    void shutDown();

    // ---- What the window shows of the line (main_window_status.cpp)
    // A request went out: its echo, the lamp (yellow for temperatures), the waiting text.
    void showSent(const requests::Request& request);
    void showWaiting(); // the waiting text (and the overdue line when a reply is overdue)
    // What became of a request: the reply dump, what is wrong with it (red
    // lamp), a refused write; nothing for a reply still awaited.
    void showExchangeEnded(const requests::Exchange& exchange);
    // A request that did not go out: the port closed (echo, red lamp) or the queue full.
    void showNotSubmitted(const requests::Request& request, requests::RequestCore::Submitted why);
    void showUnusableReply(const QByteArray& bytes, const QString& note);
    void onReplyOverdue();
    void onConnectionLost();
    // The loops stop with the line: their ticks would only wipe what is said about it.
    void stopLoopsWithTheLine();
    // The start the commands to the module share (search, read-in, address and
    // baud): loops stopped, status cleared, group 1 red; false (with a message)
    // when `channelBox` names channel 0.
    bool startModuleCommand(QLineEdit* channelBox);
    // Loops stopped.
    void stopReadingLoops();
    // The boxes as request bytes; the first that does not fit is named (by its
    // label's caption) in a message box and nothing is returned.
    std::optional<QVector<quint8>> readByteBoxes(std::initializer_list<QLineEdit*> boxes,
                                                 protocol::Rounding rounding);
    QString captionOf(const QWidget* box) const;

    // ---- Port (main_window_port.cpp)
    // Closes the port and takes the port number and baud rate shown in the lists;
    // a baud rate that is not a whole number is named in a message and nothing changes.
    bool applyPortChoice();
    // The network line address typed into Combo1 (tidied), empty for a serial
    // port; nothing, after a message naming what is wrong, for a malformed address.
    std::optional<QString> lineAddressFromList();
    // Closes the port and takes the line: `lineAddress`, or (empty) Combo1's port number.
    void takeLineChoice(const QString& lineAddress);
    // Input and output emptied, binary input, receive event at 1 byte, no transmit events.
    void resetPortBuffers();
    void armReceiveEvent();
    bool openOrWarn();
    // Why the port did not open, in txtState and a message box.
    void warnOpenFailed();
    // A network line that could not be reached after all.
    void onOpenFailed();
    void showPortState(); // lblPortState

    // ---- Reading (main_window_reading.cpp)
    // Reads the request boxes (the channel box too, unless `withChannel` is false);
    // a box that does not fit its byte is named in a message box and nothing is
    // returned. A loop that asked is stopped before the box opens, and while one
    // such box is open no other is stacked on it.
    std::optional<acquisition::TemperatureRequestFields>
    readRequestBoxes(protocol::Rounding rounding, bool withChannel, IntervalTimer* loopToStop = nullptr);
    void onPassChannelStarting(int channel);
    void onTemperatureAnswered(const requests::Exchange& exchange, bool inPass);
    void showReadingRefused(acquisition::ReadingController::Refusal refusal);
    // Why a temperature reply gave no values ("无应答", "CRC校验错误", ...); empty when it did.
    static QString failureReason(const protocol::JudgedReply& reply);
    // The last pass's channels read and failed, in the lamps' tool tips.
    void showPassSummary();
    void showPortNotOpen(); // "串口未打开，请先打开串口", red lamp

    // ---- Grid (main_window_grid.cpp)
    void clearGroup(int channel);
    // Element `index` of txtValue<channel> shows `text` (set only when it changes); its tool tip follows.
    void setCellText(int channel, int index, const QString& text);
    // Group, position and value of the cell (and its note), on its box and its label.
    void showCellToolTip(int channel, int index);
    // What the cell's tool tip adds to its value: why its channel failed, or that it is stale.
    void setCellNote(int channel, int index, const QString& note);
    // The empty cells of `channel` say why it failed, and when.
    void noteGroupFailure(int channel, const QString& reason);
    // Values read before the line was lost turn grey and say when they were read.
    void markValuesStale();

    // ---- Serial numbers (main_window_serials.cpp)
    void wireSerialCommands();
    void loadEntry(int position);         // the import list's entry into the verification window
    bool loadWritableEntry(int position); // the same, unless the entry is no eight hex bytes (message)
    std::optional<int> writePosition();
    void endAutomaticWrite(const QString& message);
    void showWriteResult(int channel, int position, bool success);
    // The position numbers beside the observation window, level with its lines.
    void showPositionNumbers(const QString& numbers);
    void showSerialList(const requests::Context& asked, const QVector<serials::SerialNumber>& found);
    void showSearchResult(const requests::Context& asked, const QVector<int>& found);
    void showReadIn(const requests::Context& asked, const std::optional<serials::SerialNumber>& serial,
                    bool recognised);

    // ---- Module (main_window_module.cpp)
    void showModuleAddress(int address);
    // The modules changed their baud code: 当前波特率值 follows, and the operator
    // is asked whether the port should follow too.
    void offerNewBaudRate(int newCode);

    // ---- Line (main_window_line.cpp)
    // Start-up: line.set (defaults where it is missing; a value that cannot be
    // used is named in a message and its default used).
    void loadLineTuning();
    // Writes line.set and drives the line by it; false, said, when it cannot be written.
    bool keepLineTuning(const requests::LineTuning& tuning);
    // Keeps `address` (empty: the serial port of comm.set) in line.set.
    bool saveLineAddress(const QString& address);
    void applyLineTuning(const requests::LineTuning& tuning); // to the core and lblLineSummary
    void showVersionAndFolder(const QString& folder);         // on the about tab

    // ---- History (main_window_history.cpp)
    void createHistoryTab();
    void createBinsTab(); // the sixth tab, 温度分布 (main_window_bins.cpp)
    void addWatchPages(); // the alarms, traffic and broker pages of the history tab
    void loadOutlet();
    // Feeds a reply's readings to the alarms and gives each of its cells the
    // alarm background while its sensor is in alarm.
    void watchReadings(int channel, const QVector<history::Reading>& readings);
    void showCellAlarm(QLineEdit* cell, bool inAlarm);
    // The alarms of history.db into the alarms page: those in force stay in force.
    void restoreAlarms();

    requests::RequestCore* m_requests = nullptr;
    acquisition::ReadingController* m_reading = nullptr;
    serials::SerialNumbersController* m_serials = nullptr;
    config::ModuleConfigController* m_moduleConfig = nullptr;
    HistoryTab* m_historyTab = nullptr;
    BinsTab* m_binsTab = nullptr;
    AlarmsPanel* m_alarmsPanel = nullptr;
    QString m_loggedInUser;
    TrafficPanel* m_trafficPanel = nullptr;
    acquisition::LineTest* m_lineTest = nullptr;
    QPointer<LineSettingsDialog> m_lineDialog;
    BusScanDialog* m_busScan = nullptr; // made on first use, kept for its findings
    int m_comEntryCount = 0;            // Combo1's COMn entries, before the system's ports
    std::function<QList<port::SystemPort>()> m_listSystemPorts = port::systemPorts;
    QList<QByteArray> m_lineKept; // line.set's lines of other keys, written back as they were
    traffic::TrafficRecorder* m_traffic = nullptr;
    acquisition::GridLayout m_gridLayout;
    bool m_portIsOpen = false;
    int m_defaultAddress = 1;
    int m_channelCount = 1;
    int m_sensorsPerChannel = 6;
    bool m_valueCellsPending = false;
    bool m_fieldMessageOpen = false;
    bool m_shutDown = false;
    int m_lastListCount = -1; // serial numbers the last list read returned (-1: none yet)
    int m_lastListChannel = 1;
    // The pass on the line: channels asked, read, and why the others failed.
    struct PassSummary
    {
        int asked = 0;
        int read = 0;
        QStringList failures;
    };
    PassSummary m_passSummary;
    LineGutter* m_positionGutter = nullptr; // txtShowID beside txtSn
    QScrollArea* m_formView = nullptr;
    std::unique_ptr<form::Zoom> m_zoom;
    int m_zoomPercent = 100;
    std::unique_ptr<notify::AlarmDelivery> m_alarmDelivery;
    QString m_notifyProblem; // why notify.set could not be used
    // Declared last: destroyed first, it writes what it was handed while the window still stands.
    std::unique_ptr<site::ReadingsOutlet> m_outlet;
};
