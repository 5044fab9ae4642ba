#pragma once
// The main window: owns the serial port, the pending request, the module
// settings and every control. Handlers carry the names of their control and
// event; each subsystem's handlers live in their own frmMain_<subsystem>.cpp.

#include "frmMain_form.h"

#include "acquisition/grid_geometry.h"
#include "port/mscomm.h"
#include "protocol/box_number.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

// What the reply being awaited must be read with: the values of the request
// it answers, kept when the request was sent (never what the boxes hold later).
struct PendingRequest
{
    int mode = 0;
    int station = 0;
    int channel = 0;
    int count = 0;
    int position = 0;
    int firstChannel = 0;
};

// One request as a sender hands it to the common send sequence.
struct OutgoingRequest
{
    QByteArray frame;       // bytes written to the line
    int echoLastIndex = -1; // last byte shown in the echo (-1: all)
    int commandMode = 0;
    int replyLength = 0;
    int threshold = 0;
    int inputLen = 0;
    PendingRequest context;
};

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
    int CommandMode = 0;
    int ReplyLength = 0;
    QString CommandText;
    PendingRequest Pending;
    bool PortIsOpen = false;
    int DefaultAddress = 1;
    int ChannelCount = 1;
    int SensorsPerChannel = 6;
    quint8 ReadStation = 0, ReadFunction = 0, ReadStart = 0, ReadCount = 0, ReadChannel = 0;

    // ---- Transaction engine
    using ReplyHandler = std::function<bool(const QByteArray& reply)>; // false: end the event early
    void registerReplyHandler(int commandMode, ReplyHandler handler);
    void MSComm1_OnComm();
    // Common send steps for the request kinds that await a receive event:
    // prepares the port, stores the reply length, echoes, writes (or shows
    // the red lamp when the port is closed). Returns whether it was written.
    bool SendRequest(const OutgoingRequest& request);
    void PreparePort(); // empties the input, input length 0, binary, threshold 0
    void ShowWaiting(); // the waiting text (and the overdue line when a reply is overdue)
    // A request went out / some reply came back: drives the 3-second no-reply warning.
    void NoteRequestSent();
    void NoteReplyArrived();
    bool replyOverdue() const { return m_replyOverdue; }
    // Milliseconds until an unanswered request counts as overdue (-1: none waiting).
    int replyWatchdogRemainingMs() const { return m_replyWatchdog.remainingTime(); }

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
    const QVector<QLineEdit*>& valueCells(int channel);
    void EnsureValueCells();
    void ReadModule(quint8 station, quint8 function, quint8 start, quint8 count, quint8 channel);
    void DoData(const QByteArray& reply, int channel, int positions);
    void comDoOnce_Click();
    void cmdOneM_Click();
    void cmdStopOnce_Click();
    void Timer2_Timer();
    void cmdOnceDo1_Click();
    void CmdReadDataCircle_Click();
    void cmdStopCircle_Click();
    void Timer7_Timer();
    bool readingBusy() const { return m_readBusy || m_passBusy; }

    // ---- Module settings
    void cmdSaveSet_Click();

Q_SIGNALS:
    // A reply was handled by the receive path (after its handler ran).
    void replyHandled();

private:
    void wireHandlers();
    void onConnectionLost();
    void onReplyOverdue();
    bool temperatureReply(const QByteArray& reply);
    void ClearGroup(int channel);
    // The five request boxes into ReadStation..ReadChannel; a box that does not
    // fit its byte is named in a message box and nothing changes. A loop that
    // asked is stopped before the box opens, and while one such box is open no
    // other is stacked on it: a modal box keeps the event loop, and the loops'
    // timers, running.
    bool StoreRequestBoxes(protocol::Rounding rounding, IntervalTimer* loopToStop = nullptr);

    std::map<int, ReplyHandler> m_replyHandlers;
    acquisition::GridLayout m_gridLayout;
    bool m_valueCellsPending = false;
    QTimer m_replyWatchdog;
    bool m_awaitingReply = false;
    bool m_replyOverdue = false;
    bool m_readBusy = false;
    bool m_passBusy = false;
    bool m_replyHandledFlag = false;
    bool m_fieldMessageOpen = false;
    bool m_passQueued = false;  // an all-channels pass asked for during a single reading
    int m_requestThreshold = 0; // the receive threshold the request in flight asked for
};
