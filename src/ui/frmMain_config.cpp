// Module settings: checking and saving the installation's settings.

#include "frmMain.h"

#include "dialogs.h"
#include "program_folder.h"

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
