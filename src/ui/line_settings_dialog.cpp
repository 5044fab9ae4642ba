#include "line_settings_dialog.h"

#include "dialogs.h"

#include "config/line_settings_file.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLineEdit* box(QWidget* parent, const QString& objectName, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(objectName);
    return edit;
}

QString labelOf(config::LineNumber field)
{
    return QString::fromUtf8(config::lineNumberField(field).label);
}
} // namespace

LineSettingsDialog::LineSettingsDialog(const requests::LineTuning& tuning,
                                       std::function<bool(const requests::LineTuning&)> save, QWidget* parent)
    : QDialog(parent), m_save(std::move(save))
{
    setObjectName(QStringLiteral("dlgLineSettings"));
    setWindowTitle(QStringLiteral("通讯线路参数"));
    txtLineAddress = box(this, QStringLiteral("txtLineAddress"), tuning.address);
    txtLineAddress->setPlaceholderText(QStringLiteral("空：使用串口设置中的串口"));
    txtReplyTimeout =
        box(this, QStringLiteral("txtReplyTimeout"), QString::number(tuning.replyTimeoutMs));
    txtRetries = box(this, QStringLiteral("txtRetries"), QString::number(tuning.retries));
    txtGap = box(this, QStringLiteral("txtGap"), QString::number(tuning.gapMs));
    chkEcho = new QCheckBox(QStringLiteral("丢弃应答前回送的请求字节（二线制适配器）"), this);
    chkEcho->setObjectName(QStringLiteral("chkEcho"));
    chkEcho->setChecked(tuning.echo);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("线路地址"), txtLineAddress);
    fields->addRow(labelOf(config::LineNumber::ReplyTimeout), txtReplyTimeout);
    fields->addRow(labelOf(config::LineNumber::Retries), txtRetries);
    fields->addRow(labelOf(config::LineNumber::Gap), txtGap);
    fields->addRow(QStringLiteral("本地回波"), chkEcho);
    auto* hint = new QLabel(QStringLiteral("应答超时用于每个通道的应答等待；无可用应答时按重试次数再次请求。\n"
                                           "默认值（500 ms，不重试，无间隔，无回波）即通常的通讯方式。"),
                            this);
    hint->setWordWrap(true);

    cmdSaveLine = new QPushButton(QStringLiteral("保存"), this);
    cmdSaveLine->setObjectName(QStringLiteral("cmdSaveLine"));
    cmdCancelLine = new QPushButton(QStringLiteral("取消"), this);
    cmdCancelLine->setObjectName(QStringLiteral("cmdCancelLine"));
    connect(cmdSaveLine, &QPushButton::clicked, this, &LineSettingsDialog::cmdSaveLine_Click);
    connect(cmdCancelLine, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSaveLine);
    buttons->addWidget(cmdCancelLine);

    auto* page = new QVBoxLayout(this);
    page->addLayout(fields);
    page->addWidget(hint);
    page->addLayout(buttons);
}

void LineSettingsDialog::cmdSaveLine_Click()
{
    requests::LineTuning tuning;
    tuning.address = txtLineAddress->text().trimmed();
    tuning.echo = chkEcho->isChecked();
    struct NumberBox
    {
        config::LineNumber field;
        QLineEdit* box;
        int* value;
    };
    for (const NumberBox& n : {NumberBox{config::LineNumber::ReplyTimeout, txtReplyTimeout, &tuning.replyTimeoutMs},
                               NumberBox{config::LineNumber::Retries, txtRetries, &tuning.retries},
                               NumberBox{config::LineNumber::Gap, txtGap, &tuning.gapMs}}) {
        const std::optional<int> value = config::lineNumberFromText(n.field, n.box->text());
        if (!value) {
            dialogs::MsgBox(this, config::lineNumberRangeText(n.field), QString(), dialogs::Icon::Warning);
            n.box->setFocus();
            n.box->selectAll();
            return;
        }
        *n.value = *value;
    }
    if (m_save(tuning))
        accept();
}
