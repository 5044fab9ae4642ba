#include "main_window.h"

#include "alarms_panel.h"

#include "dialogs.h"
#include "form_zoom.h"
#include "bins_tab.h"
#include "history_tab.h"
#include "line_gutter.h"
#include "program_folder.h"

#include "config/comm_settings.h"
#include "config/module_settings.h"
#include "notify/alarm_delivery.h"
#include "port/line_settings.h"
#include "port/port_names.h"
#include "port/line_backend.h"
#include "protocol/hex_text.h"
#include "serials/serial_file.h"
#include "platform/settings_folder.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>

MainWindow::MainWindow(std::unique_ptr<port::SerialBackend> backend, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    QWidget* form = createFormView();
    setupUi(form);
    if (!backend)
        backend = std::make_unique<port::LineBackend>();
    MSComm1 = new port::MSComm(std::move(backend), this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    MSComm1->setPortNameResolver([](int number) { return port::resolvePortName(number, programFolder()); });

    m_requests = new requests::RequestCore(MSComm1, this);
    m_reading = new acquisition::ReadingController(*m_requests, this);
    m_serials = new serials::SerialNumbersController(*m_requests, this);
    m_moduleConfig = new config::ModuleConfigController(*m_requests, this);
    m_lineTest = new acquisition::LineTest(*m_requests, this);
    m_outlet = std::make_unique<site::ReadingsOutlet>();
    readSerialTexts = QStringList(serials::MaxListEntries);
    m_positionGutter = new LineGutter(txtShowID, txtSn, this);
    txtShowID->hide(); // until there are numbers to show
    createHistoryTab();
    createBinsTab();
    showFormInView(form);
    wireControls();
    wireControllers();
}

MainWindow::~MainWindow()
{
    shutDown();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    shutDown();
    QWidget::closeEvent(event);
}

void MainWindow::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    // Whatever still waits is not read: it records and publishes nothing.
    m_reading->cancel();
    m_serials->cancel();
    m_moduleConfig->cancel();
    m_lineTest->stop();
    for (IntervalTimer* timer : {Timer2, Timer7})
        timer->setEnabled(false);
    Timer5->setInterval(0);
    m_outlet->passEnded(); // the channels a pass did read are kept
    if (m_alarmDelivery) {
        if (const qint64 left = m_alarmDelivery->stop(notify::AlarmDelivery::ClosingFlushMs))
            qWarning("tq5900k: %lld alarm events not sent", static_cast<long long>(left));
    }
    if (const qint64 left = m_outlet->close(site::ReadingsOutlet::CloseFlushMs))
        qWarning("tq5900k: %lld messages not delivered to the broker", static_cast<long long>(left));
}

void MainWindow::wireControllers()
{
    connect(m_requests, &requests::RequestCore::requestWritten, this, &MainWindow::showSent);
    connect(m_requests, &requests::RequestCore::exchangeEnded, this, &MainWindow::showExchangeEnded);
    connect(m_requests, &requests::RequestCore::strayBytes, this, [this](const QByteArray& bytes) {
        // Bytes no request asked for are shown for what they are.
        txtState->setPlainText(protocol::replyDump(bytes));
        imgConnected->raise();
    });
    connect(m_requests, &requests::RequestCore::overdue, this, &MainWindow::onReplyOverdue);
    connect(MSComm1, &port::MSComm::connectionLost, this, &MainWindow::onConnectionLost);
    connect(MSComm1, &port::MSComm::openFailed, this, &MainWindow::onOpenFailed);

    connect(m_reading, &acquisition::ReadingController::passChannelStarting, this,
            &MainWindow::onPassChannelStarting);
    connect(m_reading, &acquisition::ReadingController::temperatureAnswered, this,
            &MainWindow::onTemperatureAnswered);
    connect(m_reading, &acquisition::ReadingController::passFinished, m_outlet.get(),
            &site::ReadingsOutlet::passEnded);
    connect(m_reading, &acquisition::ReadingController::passFinished, this, &MainWindow::showPassSummary);
    connect(m_reading, &acquisition::ReadingController::passFinished, this,
            [this] { alarmsPanel()->roundEnded(QDateTime::currentMSecsSinceEpoch()); });
    wireSerialCommands();
    connect(m_moduleConfig, &config::ModuleConfigController::addressReported, this,
            &MainWindow::showModuleAddress);
    connect(m_moduleConfig, &config::ModuleConfigController::baudChanged, this, &MainWindow::offerNewBaudRate);
}

void MainWindow::wireControls()
{
    // Combo1's reaction runs for a chosen entry only, by the operator or by start-up.
    connect(Combo1, QOverload<int>::of(&QComboBox::activated), this, [this](int) { portChosen(); });
    m_comEntryCount = Combo1->count();
    // The system's ports are listed when the list first opens: asking the system
    // for them is not start-up's work.
    Combo1->installEventFilter(this);
    connect(cmdCom, &QPushButton::clicked, this, &MainWindow::savePortSettings);
    connect(cmdOpenComm, &QPushButton::clicked, this, &MainWindow::openPort);
    connect(cmdCloseComm, &QPushButton::clicked, this, &MainWindow::closePort);

    connect(comDoOnce, &QPushButton::clicked, this, &MainWindow::readChannelOnce);
    connect(cmdOneM, &QPushButton::clicked, this, &MainWindow::startChannelLoop);
    connect(cmdStopOnce, &QPushButton::clicked, this, &MainWindow::stopChannelLoop);
    connect(Timer2, &IntervalTimer::Timer, this, &MainWindow::channelLoopTick);
    connect(cmdOnceDo1, &QPushButton::clicked, this, &MainWindow::readAllChannelsOnce);
    connect(CmdReadDataCircle, &QPushButton::clicked, this, &MainWindow::startAllChannelsLoop);
    connect(cmdStopCircle, &QPushButton::clicked, this, &MainWindow::stopAllChannelsLoop);
    connect(Timer7, &IntervalTimer::Timer, this, &MainWindow::allChannelsLoopTick);

    connect(cmdSaveSet, &QPushButton::clicked, this, &MainWindow::saveModuleSettings);
    connect(cmdLineSettings, &QPushButton::clicked, this, &MainWindow::openLineSettings);
    connect(cmdBusScan, &QPushButton::clicked, this, &MainWindow::openBusScan);
    connect(cmdReadAdd, &QPushButton::clicked, this, &MainWindow::readModuleAddress);
    connect(cmdChangeID, &QPushButton::clicked, this, &MainWindow::changeModuleAddress);
    connect(cmdBuadRate, &QPushButton::clicked, this, &MainWindow::changeModuleBaud);

    connect(cmdReadSensorID, &QPushButton::clicked, this, &MainWindow::readSerialList);
    connect(cmdSaveSn, &QPushButton::clicked, this, &MainWindow::saveSerialList);
    connect(cmdClearSn, &QPushButton::clicked, this, &MainWindow::clearObservationWindow);
    connect(cmdOpenFile, &QPushButton::clicked, this, &MainWindow::importSerialFile);
    connect(cmdFirst, &QPushButton::clicked, this, &MainWindow::writeFirstSerial);
    connect(cmdWriteNext, &QPushButton::clicked, this, &MainWindow::writeNextSerial);
    connect(cmdWriteAllSn, &QPushButton::clicked, this, &MainWindow::startAutomaticWrite);
    connect(cmdStopWrite, &QPushButton::clicked, this, &MainWindow::stopAutomaticWrite);
    connect(Timer5, &IntervalTimer::Timer, this, &MainWindow::automaticWriteTick);
    connect(cmdAutoSearch, &QPushButton::clicked, this, &MainWindow::searchSensors);
    connect(cmdAutoInput, &QPushButton::clicked, this, &MainWindow::readInSensor);

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int) {
        if (SSTab1->currentWidget() == tabPages[0])
            ensureValueCells();
    });
}

void MainWindow::startUp()
{
    const QString folder = programFolder();
    showVersionAndFolder(folder);

    // 1. Serial settings. A missing file means first run: the defaults.
    const config::CommSetLoad comm = config::loadCommSet(folder);
    if (comm.status == config::CommSetLoad::Unreadable)
        dialogs::MsgBox(this,
                        QStringLiteral("无法读取串口设置文件“%1”，已使用默认设置：COM%2，%3波特。")
                            .arg(QDir::toNativeSeparators(comm.path))
                            .arg(comm.port)
                            .arg(comm.baud),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);

    // 2. Module settings. A value outside what the window can use is named and
    // its default used: the reading paths size their requests and cells from them.
    const config::ModSetLoad mod = config::loadModSet(folder);
    m_defaultAddress = mod.values.defaultAddress;
    m_channelCount = mod.values.channelCount;
    m_sensorsPerChannel = mod.values.sensorsPerChannel;
    config::ModuleCount = mod.values.moduleCount;
    if (mod.status == config::ModSetLoad::Unreadable)
        dialogs::MsgBox(this,
                        QStringLiteral("无法读取模块设置文件“%1”，已使用默认设置：地址%2，%3个通道，"
                                       "每通道%4个传感器，%5个模块。")
                            .arg(QDir::toNativeSeparators(mod.path))
                            .arg(m_defaultAddress)
                            .arg(m_channelCount)
                            .arg(m_sensorsPerChannel)
                            .arg(config::ModuleCount),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);
    else if (!mod.outOfRange.isEmpty())
        dialogs::MsgBox(this,
                        QStringLiteral("模块设置文件“%1”中%2，已改用默认值。")
                            .arg(QDir::toNativeSeparators(mod.path), mod.outOfRange.join(QStringLiteral("；"))),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);

    // 2b. How the line is driven.
    loadLineTuning();

    // 3. Pre-fill the boxes the operator works with.
    const QString address = QString::number(m_defaultAddress);
    for (QLineEdit* box :
         {txtStationID, txtObjStationID, txtSetID[0], txtSta, txtDoADDress, txtInputAddid, txtSearchAdd})
        box->setText(address);
    txtChnnelNum->setText(QString::number(m_channelCount));
    const QString sensors = QString::number(m_sensorsPerChannel);
    for (QLineEdit* box : {txtMaxofSensor, TXTsensorID, txtDataLength})
        box->setText(sensors);
    txtModuleNum->setText(QString::number(config::ModuleCount));

    // 4. A single-channel installation: the channel boxes point at channel 1.
    if (m_channelCount == 1) {
        txtObjChnid->setText(QStringLiteral("1"));
        txtChnId->setText(QStringLiteral("1"));
    }

    // 5. The value grid.
    arrangeValueGrid();

    // 6. The history: how it records, and the choices of its tab; publishing to a broker.
    loadOutlet();
    m_binsTab->setSource(folder, m_outlet->databasePath(), m_defaultAddress, m_channelCount, m_sensorsPerChannel);
    if (const QString problems = m_binsTab->loadProblems(); !problems.isEmpty())
        dialogs::MsgBox(this, problems, QStringLiteral("系统提示"), dialogs::Icon::Warning);

    // 7. Prepare the port from the saved settings and select the saved entries.
    MSComm1->setCommPort(comm.port);
    resetPortBuffers();
    MSComm1->setSettings(port::lineSettingsText(comm.baud));
    for (int i = 0; i < Combo2->count(); ++i)
        if (Combo2->itemText(i).toInt() == comm.baud)
            Combo2->setCurrentIndex(i);
    const QString savedPort = QStringLiteral("COM%1").arg(comm.port);
    const QString savedLine = m_requests->lineTuning().address;
    if (!savedLine.isEmpty()) {
        // A network line kept by 保存设置 is the line, in place of comm.set's port.
        Combo1->setEditText(savedLine);
        portChosen();
    }
    for (int i = 0; savedLine.isEmpty() && i < Combo1->count(); ++i) {
        if (Combo1->itemText(i) == savedPort) {
            Combo1->setCurrentIndex(i);
            portChosen();
            break;
        }
    }

    // 8. Reading may run from now on, when the port did open.
    m_portIsOpen = MSComm1->PortOpen();

    // 9. The form at the zoom it had, in a window the screen can hold.
    restoreZoom();
}

void MainWindow::showVersionAndFolder(const QString& folder)
{
    lblVersion->setText(QStringLiteral("版本：%1").arg(platform::versionText()));
    const platform::SettingsFolder& chosen = platform::settingsFolder();
    QString text = QStringLiteral("设置文件保存在：%1").arg(QDir::toNativeSeparators(folder));
    if (!chosen.error.isEmpty() && chosen.path == folder)
        text += QStringLiteral("（无法创建该文件夹，设置无法保存）");
    lblDataFolder->setText(text);
}
