#pragma once
// Every control of the main window, with the names the handlers use. setupUi
// builds them from layout() (main_window_layout.cpp) with their captions,
// texts, tool tips and geometry, and binds each member to the control of its
// name; MainWindow inherits this so its handlers read `txtState`, `Combo1`, ...
// Control arrays are indexed containers; element i's objectName is "<name>_<i>".

#include "form_builder.h"
#include "interval_timer.h"
#include "protocol/module_limits.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVector>
#include <array>

constexpr int ValueGroupCount = protocol::MaxChannelsPerModule; // one value group per channel

struct MainWindowForm
{
    // Window-level
    QTabWidget* SSTab1 = nullptr;
    std::array<QWidget*, 4> tabPages{}; // "数据查询", "传感器操作", "仪器设置", "关于软件"

    // Tab 1: data query
    QGroupBox* Frame10 = nullptr; // "MODBUS设置"
    std::array<QLabel*, 7> Label8{};
    QLineEdit* txtStationID = nullptr;
    QLineEdit* txtStartID = nullptr;
    QLineEdit* txtFunID = nullptr;
    QLineEdit* txtChannel = nullptr;
    QLineEdit* txtDataLength = nullptr;
    QGroupBox* Frame6 = nullptr; // "运行状态指示"
    QWidget* Picture2 = nullptr;
    QLabel* imgConnected = nullptr;
    QLabel* ImgYellow = nullptr;
    QLabel* imgNotConnected = nullptr;
    QLabel* lblCounter = nullptr;
    QGroupBox* Frame3 = nullptr; // borderless container of the value groups
    std::array<QGroupBox*, ValueGroupCount> FrameShow{};
    // txtValue[g - 1] is the control array txtValue<g>; element 0 is the form's,
    // the others are created by the grid layout at start-up.
    std::array<QVector<QLineEdit*>, ValueGroupCount> txtValue;
    std::array<QVector<QLabel*>, ValueGroupCount> lblValue;
    QGroupBox* Frame11 = nullptr; // "单通道操作"
    std::array<QLineEdit*, 2> txtTimerSet{};
    QPushButton* comDoOnce = nullptr;
    QPushButton* cmdOneM = nullptr;
    QPushButton* cmdStopOnce = nullptr;
    QGroupBox* Frame18 = nullptr; // "10通道操作"
    QPushButton* cmdOnceDo1 = nullptr;
    QPushButton* CmdReadDataCircle = nullptr;
    QPushButton* cmdStopCircle = nullptr;

    // Tab 2: sensor operations
    QGroupBox* frmView = nullptr; // "状态观察窗"
    QTextEdit* txtShowID = nullptr;
    QTextEdit* txtSn = nullptr;
    QPushButton* cmdClearSn = nullptr;
    std::array<QLabel*, 19> Label2{}; // sparse: the form's indices only
    QGroupBox* Frame4 = nullptr;      // "传感器序列号自动搜索"
    QLineEdit* txtSearchAdd = nullptr;
    QLineEdit* txtSearchChannel = nullptr;
    QLineEdit* txtSearchNum = nullptr;
    QPushButton* cmdAutoSearch = nullptr;
    QGroupBox* Frame9 = nullptr; // "写传感器序列号"
    QLineEdit* txtObjStationID = nullptr;
    QLineEdit* txtObjChnid = nullptr;
    QLineEdit* txtSensorReadID = nullptr;
    QPushButton* cmdAutoInput = nullptr;
    QGroupBox* Frame13 = nullptr; // "读传感器序列号"
    QLineEdit* txtSta = nullptr;
    QLineEdit* txtChnId = nullptr;
    QLineEdit* TXTsensorID = nullptr;
    QPushButton* cmdReadSensorID = nullptr;
    QPushButton* cmdSaveSn = nullptr;
    QGroupBox* Frame16 = nullptr; // "批量导入序列号到设备"
    QGroupBox* Frame2 = nullptr;  // "序列号校对窗口"
    QLabel* Label11 = nullptr;
    std::array<QLineEdit*, 8> txtSenseSn{};
    QLineEdit* txtInputAddid = nullptr;
    QLineEdit* txtObjChannelID = nullptr;
    QLineEdit* txtObjSensorid = nullptr;
    QLabel* Label14 = nullptr;
    QLineEdit* txtTimer5 = nullptr;
    QPushButton* cmdOpenFile = nullptr;
    QPushButton* cmdFirst = nullptr;
    QPushButton* cmdWriteNext = nullptr;
    QPushButton* cmdWriteAllSn = nullptr;
    QPushButton* cmdStopWrite = nullptr;

    // Tab 3: instrument settings
    QGroupBox* Frame5 = nullptr; // "串口设置"
    QLabel* Label3 = nullptr;
    QComboBox* Combo1 = nullptr;
    std::array<QLabel*, 5> Label5{}; // sparse: 1, 2, 3, 4
    QComboBox* Combo2 = nullptr;
    QPushButton* cmdCom = nullptr;
    QPushButton* cmdOpenComm = nullptr;
    QPushButton* cmdCloseComm = nullptr;
    QLabel* lblPortState = nullptr; // "已打开 COM4, 9600" or "未打开"
    QGroupBox* Frame12 = nullptr; // "设备ID修改操作(子功能号0x0B )"
    QPushButton* cmdReadAdd = nullptr;
    QLabel* lblCurrentAdd = nullptr; // "当前地址："
    QLineEdit* txtCurrentAdd = nullptr;
    std::array<QLineEdit*, 2> txtSetID{};
    QLabel* lblChangeAddress = nullptr; // "将地址      改为", between the two txtSetID boxes
    QPushButton* cmdChangeID = nullptr;
    QLabel* lblAddressHint = nullptr;  // "地址不允许为00,若为00，下位机不响应"
    QLabel* lblAddressRange = nullptr; // "设备地址的值范围为1-249,250为通配地址"
    QGroupBox* Frame7 = nullptr;       // "波特率"
    QLabel* lblCurrentBuad = nullptr;
    QLineEdit* txtCurrentBuad = nullptr;
    QLabel* lblObjectBuad = nullptr;
    QLineEdit* txtObjectBuad = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdBuadRate = nullptr;
    QGroupBox* Frame17 = nullptr; // "模块设置"
    QLineEdit* txtModuleNum = nullptr;
    QLabel* Label13 = nullptr;
    QLineEdit* txtDoADDress = nullptr;
    std::array<QLabel*, 3> Label12{}; // sparse: 0, 2
    QLineEdit* txtChnnelNum = nullptr;
    QLineEdit* txtMaxofSensor = nullptr;
    QPushButton* cmdSaveSet = nullptr;
    QGroupBox* fraLine = nullptr;        // "通讯线路"
    QLabel* lblVersion = nullptr;        // "版本：0.9.0"
    QLabel* lblDataFolder = nullptr;     // "设置文件保存在：<folder>"
    QLabel* lblLineSummary = nullptr;    // the line's reply time-out, retries, pause and echo
    QPushButton* cmdLineSettings = nullptr; // opens the line's settings
    QPushButton* cmdBusScan = nullptr;      // opens the bus scan

    // Tab 4: about
    QLabel* Picture3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    std::array<QLabel*, 3> Label9{};

    // Below the tabs
    QGroupBox* Frame1 = nullptr; // "命令执行状态"
    QLabel* Label7 = nullptr;
    QLineEdit* txtCommand = nullptr;
    QPlainTextEdit* txtState = nullptr;

    // Timers in their starting state
    IntervalTimer* Timer2 = nullptr; // disabled, 3000 ms
    IntervalTimer* Timer7 = nullptr; // disabled, 1000 ms
    IntervalTimer* Timer5 = nullptr; // enabled, 0 ms (does not tick)

    // Builds the window and binds every member; a mismatch between layout()
    // and these members ends the program, naming it.
    void setupUi(QWidget* window);
    static const form::Description& layout();
};
