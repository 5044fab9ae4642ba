#pragma once
// The line's settings (line.set) for the operator to edit: where the line is,
// how long a reply is awaited, how often a channel is asked again, the pause
// between requests and the echo of a 2-wire adapter. 保存 checks every box and
// names the first that does not fit; the window saves what it gets.

#include "requests/line_tuning.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

class LineSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    // `save` writes the values and says whether it could; the dialog closes when it did.
    LineSettingsDialog(const requests::LineTuning& tuning, std::function<bool(const requests::LineTuning&)> save,
                       QWidget* parent = nullptr);

    QLineEdit* txtLineAddress = nullptr;
    QLineEdit* txtReplyTimeout = nullptr;
    QLineEdit* txtRetries = nullptr;
    QLineEdit* txtGap = nullptr;
    QCheckBox* chkEcho = nullptr;
    QPushButton* cmdSaveLine = nullptr;
    QPushButton* cmdCancelLine = nullptr;

private:
    void cmdSaveLine_Click();

    std::function<bool(const requests::LineTuning&)> m_save;
};
