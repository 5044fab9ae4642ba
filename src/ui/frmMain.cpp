#include "frmMain.h"

#include "dialogs.h"
#include "history_tab.h"
#include "program_folder.h"

#include "config/module_settings.h"
#include "history/history_writer.h"
#include "port/comm_settings.h"
#include "port/port_names.h"
#include "port/qserialport_backend.h"
#include "protocol/frames.h"
#include "serials/serial_file.h"
#include "site/mqtt_publisher.h"

#include <QDir>

frmMain::frmMain(std::unique_ptr<port::SerialBackend> backend, QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    if (!backend)
        backend = std::make_unique<port::QSerialPortBackend>();
    MSComm1 = new port::MSComm(std::move(backend), this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    MSComm1->setPortNameResolver([](int number) { return port::resolvePortName(number, programFolder()); });

    m_requests = new requests::RequestCore(MSComm1, this);
    const auto handledBy = [this](bool (frmMain::*handler)(const requests::Reply&)) {
        return [this, handler](const requests::Reply& reply) { return (this->*handler)(reply); };
    };
    m_requests->setHandler(protocol::ModeTemperature, handledBy(&frmMain::temperatureReply));
    m_requests->setHandler(protocol::ModeReadSerials, handledBy(&frmMain::readListReply));
    m_requests->setHandler(protocol::ModeWriteSerial, handledBy(&frmMain::writeReply));
    m_requests->setHandler(protocol::ModeAutoSearch, handledBy(&frmMain::searchReply));
    m_requests->setHandler(protocol::ModeManualReadIn, handledBy(&frmMain::readInReply));
    m_requests->setHandler(protocol::ModeChangeAddress, handledBy(&frmMain::addressReply));
    m_requests->setHandler(protocol::ModeReadAddressOrBaud, handledBy(&frmMain::addressReply));
    ReadSnList = QStringList(serials::MaxListEntries);
    CreateHistoryTab();
    wireHandlers();
}

frmMain::~frmMain() = default;

void frmMain::wireHandlers()
{
    connect(m_requests, &requests::RequestCore::replyArrived, this, &frmMain::MSComm1_OnComm);
    connect(m_requests, &requests::RequestCore::replyHandled, this,
            [this](const requests::Reply&, bool finished) {
                if (finished)
                    imgConnected->raise();
            });
    connect(m_requests, &requests::RequestCore::overdue, this, &frmMain::onReplyOverdue);
    // Queued: the sender that had the line finishes its step first.
    connect(m_requests, &requests::RequestCore::lineFree, this, &frmMain::SendDeferredRequest,
            Qt::QueuedConnection);
    connect(MSComm1, &port::MSComm::connectionLost, this, &frmMain::onConnectionLost);

    // Combo1's reaction runs for a chosen entry only, by the operator or by start-up.
    connect(Combo1, QOverload<int>::of(&QComboBox::activated), this, [this](int) { Combo1_Click(); });
    connect(cmdCom, &QPushButton::clicked, this, &frmMain::cmdCom_Click);
    connect(cmdOpenComm, &QPushButton::clicked, this, &frmMain::cmdOpenComm_Click);
    connect(cmdCloseComm, &QPushButton::clicked, this, &frmMain::cmdCloseComm_Click);

    connect(comDoOnce, &QPushButton::clicked, this, &frmMain::comDoOnce_Click);
    connect(cmdOneM, &QPushButton::clicked, this, &frmMain::cmdOneM_Click);
    connect(cmdStopOnce, &QPushButton::clicked, this, &frmMain::cmdStopOnce_Click);
    connect(Timer2, &IntervalTimer::Timer, this, &frmMain::Timer2_Timer);
    connect(cmdOnceDo1, &QPushButton::clicked, this, &frmMain::cmdOnceDo1_Click);
    connect(CmdReadDataCircle, &QPushButton::clicked, this, &frmMain::CmdReadDataCircle_Click);
    connect(cmdStopCircle, &QPushButton::clicked, this, &frmMain::cmdStopCircle_Click);
    connect(Timer7, &IntervalTimer::Timer, this, &frmMain::Timer7_Timer);

    connect(cmdSaveSet, &QPushButton::clicked, this, &frmMain::cmdSaveSet_Click);
    connect(cmdReadAdd, &QPushButton::clicked, this, &frmMain::cmdReadAdd_Click);
    connect(cmdChangeID, &QPushButton::clicked, this, &frmMain::cmdChangeID_Click);
    connect(cmdBuadRate, &QPushButton::clicked, this, &frmMain::cmdBuadRate_Click);

    connect(cmdReadSensorID, &QPushButton::clicked, this, &frmMain::cmdReadSensorID_Click);
    connect(cmdSaveSn, &QPushButton::clicked, this, &frmMain::cmdSaveSn_Click);
    connect(cmdClearSn, &QPushButton::clicked, this, &frmMain::cmdClearSn_Click);
    connect(cmdOpenFile, &QPushButton::clicked, this, &frmMain::cmdOpenFile_Click);
    connect(cmdFirst, &QPushButton::clicked, this, &frmMain::cmdFirst_Click);
    connect(cmdWriteNext, &QPushButton::clicked, this, &frmMain::cmdWriteNext_Click);
    connect(cmdWriteAllSn, &QPushButton::clicked, this, &frmMain::cmdWriteAllSn_Click);
    connect(cmdStopWrite, &QPushButton::clicked, this, &frmMain::cmdStopWrite_Click);
    connect(Timer5, &IntervalTimer::Timer, this, &frmMain::Timer5_Timer);
    connect(cmdAutoSearch, &QPushButton::clicked, this, &frmMain::cmdAutoSearch_Click);
    connect(cmdAutoInput, &QPushButton::clicked, this, &frmMain::cmdAutoInput_Click);

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int) {
        if (SSTab1->currentWidget() == tabPages[0])
            EnsureValueCells();
    });
}

void frmMain::Form_Load()
{
    const QString folder = programFolder();

    // 1. Serial settings. A missing file means first run: the designed defaults.
    const port::CommSetLoad comm = port::loadCommSet(folder);
    if (comm.status == port::CommSetLoad::Unreadable)
        dialogs::MsgBox(this,
                        QStringLiteral("无法读取串口设置文件“%1”，已使用默认设置：COM%2，%3波特。")
                            .arg(QDir::toNativeSeparators(comm.path))
                            .arg(comm.port)
                            .arg(comm.baud),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);

    // 2. Module settings.
    const config::ModSetLoad mod = config::loadModSet(folder);
    DefaultAddress = mod.values.defaultAddress;
    ChannelCount = mod.values.channelCount;
    SensorsPerChannel = mod.values.sensorsPerChannel;
    config::ModuleCount = mod.values.moduleCount;
    if (mod.status == config::ModSetLoad::Unreadable)
        dialogs::MsgBox(this,
                        QStringLiteral("无法读取模块设置文件“%1”，已使用默认设置：地址%2，%3个通道，"
                                       "每通道%4个传感器，%5个模块。")
                            .arg(QDir::toNativeSeparators(mod.path))
                            .arg(DefaultAddress)
                            .arg(ChannelCount)
                            .arg(SensorsPerChannel)
                            .arg(config::ModuleCount),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);

    // 3. Pre-fill the boxes the operator works with.
    const QString address = QString::number(DefaultAddress);
    for (QLineEdit* box :
         {txtStationID, txtObjStationID, txtSetID[0], txtSta, txtDoADDress, txtInputAddid, txtSearchAdd})
        box->setText(address);
    txtChnnelNum->setText(QString::number(ChannelCount));
    const QString sensors = QString::number(SensorsPerChannel);
    for (QLineEdit* box : {txtMaxofSensor, TXTsensorID, txtDataLength})
        box->setText(sensors);
    txtModuleNum->setText(QString::number(config::ModuleCount));

    // 4. A single-channel installation: the channel boxes point at channel 1.
    if (ChannelCount == 1) {
        txtObjChnid->setText(QStringLiteral("1"));
        txtChnId->setText(QStringLiteral("1"));
    }

    // 5. The value grid.
    ArrangeValueGrid();

    // 6. The history: how it records, and the choices of its tab; publishing to a broker.
    LoadHistorySettings();
    LoadBrokerSettings();

    // 7. Prepare the port from the saved settings and select the saved entries.
    MSComm1->setCommPort(comm.port);
    ResetPortBuffers();
    MSComm1->setSettings(port::lineSettingsText(comm.baud));
    for (int i = 0; i < Combo2->count(); ++i)
        if (Combo2->itemText(i).toInt() == comm.baud)
            Combo2->setCurrentIndex(i);
    const QString savedPort = QStringLiteral("COM%1").arg(comm.port);
    for (int i = 0; i < Combo1->count(); ++i) {
        if (Combo1->itemText(i) == savedPort) {
            Combo1->setCurrentIndex(i);
            Combo1_Click();
            break;
        }
    }

    // 8. Reading may run from now on.
    PortIsOpen = true;
}
