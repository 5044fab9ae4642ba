#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace dialogs {

namespace {
MessageBoxHandler& messageBoxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}
FileDialogHandler& fileDialogHandler()
{
    static FileDialogHandler handler;
    return handler;
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "name|pattern|name|pattern" to Qt's "name (pattern);;name (pattern)".
QString toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts.at(i);
        const QString& pattern = parts.at(i + 1);
        entries << (name.contains(pattern) ? name : QStringLiteral("%1 (%2)").arg(name, pattern));
    }
    return entries.join(QStringLiteral(";;"));
}
// A box shown without an icon of its own carries the one its title implies:
// "系统出错提示" an error, the other notices information.
Icon iconOf(const QString& title, Icon icon)
{
    if (icon != Icon::None)
        return icon;
    if (title == QStringLiteral("系统出错提示"))
        return Icon::Critical;
    if (title == QStringLiteral("系统提示") || title == QStringLiteral("系统信息") || title == QStringLiteral("提示"))
        return Icon::Information;
    return Icon::None;
}
} // namespace

QString applicationTitle()
{
    return QStringLiteral("TQ5900K");
}

int MsgBox(QWidget* parent, const QString& text, const QString& title, Icon icon, Buttons buttons)
{
    MessageBoxRequest request{text, title.isEmpty() ? applicationTitle() : title, iconOf(title, icon), buttons};
    if (messageBoxHandler())
        return messageBoxHandler()(request);
    QMessageBox box(toQt(request.icon), request.title, text,
                    buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    parent);
    return box.exec() == QMessageBox::Cancel ? AnswerCancel : AnswerOk;
}

void setMessageBoxHandler(MessageBoxHandler handler)
{
    messageBoxHandler() = std::move(handler);
}

QString FileDialog(QWidget* parent, const FileDialogRequest& request)
{
    if (fileDialogHandler())
        return fileDialogHandler()(request);
    QFileDialog dialog(parent, request.title, request.folder, toQtFilter(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void setFileDialogHandler(FileDialogHandler handler)
{
    fileDialogHandler() = std::move(handler);
}

} // namespace dialogs
