// Device configuration: the module's station address and baud rate, and
// checking and saving the installation's settings.

#include "frmMain.h"

#include "dialogs.h"
#include "program_folder.h"

#include "config/module_address.h"
#include "config/module_settings.h"

#include <QDir>

void frmMain::cmdSaveSet_Click()
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

void frmMain::cmdReadAdd_Click()
{
    if (StartModuleCommand(txtObjChnid))
        SendRequest(config::readAddressRequest());
}

void frmMain::cmdChangeID_Click()
{
    if (!StartModuleCommand(txtObjChnid))
        return;
    const config::BoxValue present = config::presentAddressBox(txtSetID[0]->text());
    const config::BoxValue changed = config::newAddressBox(txtSetID[1]->text());
    for (const config::BoxValue* box : {&present, &changed}) {
        if (!box->value) {
            dialogs::MsgBox(this, box->message, QString(), dialogs::Icon::Warning);
            return;
        }
    }
    SendRequest(config::changeAddressRequest(*present.value, *changed.value));
}

void frmMain::cmdBuadRate_Click()
{
    if (!StartModuleCommand(txtObjChnid))
        return;
    const config::BoxValue present =
        config::presentBaudCodeBox(txtCurrentBuad->text(), CaptionOf(txtCurrentBuad));
    const config::BoxValue wanted = config::newBaudCodeBox(txtObjectBuad->text(), CaptionOf(txtObjectBuad));
    for (const config::BoxValue* box : {&present, &wanted}) {
        if (!box->value) {
            dialogs::MsgBox(this, box->message, QString(), dialogs::Icon::Warning);
            return;
        }
    }
    SendRequest(config::changeBaudRequest(*present.value, *wanted.value));
}

bool frmMain::addressReply(const requests::Reply& reply)
{
    // Every box that names the module to talk to follows it to its address;
    // the stored default (txtDoADDress) stays as saved.
    if (!ReplyUsable(reply, config::judgeAddressReply(reply.bytes, reply.request)))
        return false;
    const std::optional<int> address = config::addressInReply(reply.bytes, reply.request.context.kind);
    if (!address)
        return true;
    const QString text = QString::number(*address);
    for (QLineEdit* box :
         {txtCurrentAdd, txtStationID, txtObjStationID, txtSetID[0], txtSta, txtInputAddid, txtSearchAdd})
        box->setText(text);
    return true;
}
