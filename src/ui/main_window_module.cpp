// Device configuration: the module's station address and baud rate, and
// checking and saving the installation's settings.

#include "main_window.h"

#include "bus_scan_dialog.h"
#include "dialogs.h"
#include "program_folder.h"

#include "config/module_address.h"
#include "config/module_settings.h"
#include "protocol/baud_codes.h"

#include <QDir>

void MainWindow::saveModuleSettings()
{
    const config::SaveCheck check = config::checkModuleSettingsForSave(
        txtDoADDress->text(), txtChnnelNum->text(), txtMaxofSensor->text(), txtModuleNum->text());
    for (const QString& message : check.messages)
        dialogs::MsgBox(this, message);
    if (!check.values)
        return;
    if (!config::saveModSet(programFolder(), *check.values)) {
        dialogs::MsgBox(this,
                        QStringLiteral("无法写入模块设置文件“%1”，设置未保存。")
                            .arg(QDir::toNativeSeparators(
                                config::settingsFilePath(programFolder(), config::kModSetName))),
                        QStringLiteral("系统提示"), dialogs::Icon::Warning);
        return;
    }
    // The saved values take effect at the next start; nothing laid out now changes.
    dialogs::MsgBox(this, QStringLiteral("设备初始设置保存成功"), QStringLiteral("系统提示"));
}

// ---- Station address and baud rate

void MainWindow::readModuleAddress()
{
    if (!startModuleCommand(txtObjChnid))
        return;
    const auto submitted = m_moduleConfig->readAddress();
    if (submitted != requests::RequestCore::Submitted::Queued)
        showNotSubmitted(config::readAddressRequest(), submitted);
}

void MainWindow::changeModuleAddress()
{
    if (!startModuleCommand(txtObjChnid))
        return;
    const config::BoxValue present = config::presentAddressBox(txtSetID[0]->text());
    const config::BoxValue changed = config::newAddressBox(txtSetID[1]->text());
    for (const config::BoxValue* box : {&present, &changed}) {
        if (!box->value) {
            dialogs::MsgBox(this, box->message, QString(), dialogs::Icon::Warning);
            return;
        }
    }
    const auto submitted = m_moduleConfig->changeAddress(*present.value, *changed.value);
    if (submitted != requests::RequestCore::Submitted::Queued)
        showNotSubmitted(config::changeAddressRequest(*present.value, *changed.value), submitted);
}

void MainWindow::changeModuleBaud()
{
    if (!startModuleCommand(txtObjChnid))
        return;
    const config::BoxValue present =
        config::presentBaudCodeBox(txtCurrentBuad->text(), captionOf(txtCurrentBuad));
    const config::BoxValue wanted = config::newBaudCodeBox(txtObjectBuad->text(), captionOf(txtObjectBuad));
    for (const config::BoxValue* box : {&present, &wanted}) {
        if (!box->value) {
            dialogs::MsgBox(this, box->message, QString(), dialogs::Icon::Warning);
            return;
        }
    }
    const auto submitted = m_moduleConfig->changeBaud(*present.value, *wanted.value);
    if (submitted != requests::RequestCore::Submitted::Queued)
        showNotSubmitted(config::changeBaudRequest(*present.value, *wanted.value), submitted);
}

void MainWindow::showModuleAddress(int address)
{
    // Every box that names the module to talk to follows it to its address;
    // the stored default (txtDoADDress) stays as saved.
    const QString text = QString::number(address);
    for (QLineEdit* box :
         {txtCurrentAdd, txtStationID, txtObjStationID, txtSetID[0], txtSta, txtInputAddid, txtSearchAdd})
        box->setText(text);
}

void MainWindow::offerNewBaudRate(int newCode)
{
    txtCurrentBuad->setText(QString::number(newCode));
    const int rate = protocol::baudRateForCode(newCode);
    if (rate <= 0 || rate == MSComm1->baudRate())
        return;
    // Asked after the reply has been dealt with: the box's own event loop must
    // not run inside the request core's telling.
    QMetaObject::invokeMethod(
        this,
        [this, rate] {
            if (dialogs::MsgBox(this,
                                QStringLiteral("模块的波特率已改为%1，现在要将串口也改为%1吗？").arg(rate),
                                QStringLiteral("系统提示"), dialogs::Icon::Question,
                                dialogs::Buttons::OkCancel) != dialogs::AnswerOk)
                return;
            switchPortRate(rate);
        },
        Qt::QueuedConnection);
}

void MainWindow::switchPortRate(int rate)
{
    const int entry = Combo2->findText(QString::number(rate));
    if (entry >= 0)
        Combo2->setCurrentIndex(entry);
    else
        Combo2->setEditText(QString::number(rate));
    openPort();
}

// ---- Finding the modules on the line

void MainWindow::openBusScan()
{
    if (!m_busScan) {
        m_busScan = new BusScanDialog(*m_requests, this);
        m_busScan->setWindowFlag(Qt::Window);
        connect(m_busScan, &BusScanDialog::moduleChosen, this, &MainWindow::useFoundModule);
    }
    m_busScan->show();
    m_busScan->raise();
}

void MainWindow::useFoundModule(int station, int baud)
{
    showModuleAddress(station);
    txtCurrentBuad->setText(QString::number(protocol::baudCodeForRate(baud)));
    if (baud != MSComm1->baudRate())
        switchPortRate(baud);
}
