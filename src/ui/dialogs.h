#pragma once
// The one seam for message boxes and file dialogs. The program shows real
// dialogs; tests install handlers that record the request and answer at once,
// so nothing blocks and no display is needed.

#include <QString>
#include <functional>

class QWidget;

namespace dialogs {

enum class Icon { None, Information, Warning, Critical, Question };
enum class Buttons { Ok, OkCancel };
enum Answer { AnswerOk = 1, AnswerCancel = 2 };

struct MessageBoxRequest
{
    QString text;
    QString title;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};

// The application's own title, shown on boxes that carry no title of their own.
QString applicationTitle();

// Shows a message box; an empty title means the application's title.
int MsgBox(QWidget* parent, const QString& text, const QString& title = QString(), Icon icon = Icon::None,
           Buttons buttons = Buttons::Ok);

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;
// Replaces the real box (nullptr restores it).
void setMessageBoxHandler(MessageBoxHandler handler);

struct FileDialogRequest
{
    bool save = false;
    QString folder;
    QString fileName; // the name first offered in `folder` (may be empty)
    QString filter;   // as the program's designer wrote it: "txt|*.txt"
    QString title;
    bool confirmOverwrite = false;
};

// The chosen path, or an empty string when the user cancelled.
QString FileDialog(QWidget* parent, const FileDialogRequest& request);

using FileDialogHandler = std::function<QString(const FileDialogRequest&)>;
void setFileDialogHandler(FileDialogHandler handler);

} // namespace dialogs
