#include "notify_panel.h"

#include "config/settings_file.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// Every text the page shows of its own.
namespace captions {
const QString Mail = QStringLiteral("邮件");
const QString SmtpHost = QStringLiteral("SMTP 服务器");
const QString SmtpPort = QStringLiteral("端口");
const QString SmtpPortHint = QStringLiteral("默认");
const QString SmtpTls = QStringLiteral("加密");
const QString SmtpUser = QStringLiteral("用户名");
const QString SmtpPassword = QStringLiteral("密码");
const QString MailFrom = QStringLiteral("发件人");
const QString MailTo = QStringLiteral("收件人（每行一个）");
const QString Gather = QStringLiteral("汇总（秒）");
const QString Webhooks = QStringLiteral("Webhook 地址（每行一个）");
const QString Save = QStringLiteral("保存");
const QString Test = QStringLiteral("发送测试");
const QString Testing = QStringLiteral("正在发送测试通知……");
const QString NothingToTest = QStringLiteral("未设置 SMTP 服务器或 Webhook 地址，无处发送");
const QString TestSent = QStringLiteral("%1：测试通知已送达");
const QString TestFailed = QStringLiteral("%1：发送失败：%2");
const QString Saved = QStringLiteral("已保存到 %1，重新启动程序后生效");
const QString NotSaved = QStringLiteral("无法写入 %1，设置未保存");
const QString Unusable = QStringLiteral("%1 不可用：%2");
const QString FieldNotWritable = QStringLiteral("设置中含换行或引号，无法保存");
const QString Off = QStringLiteral("报警通知未启用");
const QString OffHint = QStringLiteral("填写邮件服务器或 Webhook 地址并保存，重新启动程序后报警即发送到这里。");
const QString Idle = QStringLiteral("正常");
const QString Retrying = QStringLiteral("发送失败，稍后重试：%1");
const QString Failed = QStringLiteral("被拒绝，不再重试：%1");
const QString Figures = QStringLiteral("%1：%2\n    已送达 %3，等待 %4，失败尝试 %5，已丢弃 %6");
const QStringList Security = {QStringLiteral("不加密"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")};
} // namespace captions

// The page's field for each setting, for the reason a check gives.
QString fieldCaption(QLatin1String field)
{
    const QString name = field;
    if (name == QLatin1String("smtp_host"))
        return captions::SmtpHost;
    if (name == QLatin1String("smtp_port"))
        return captions::SmtpPort;
    if (name == QLatin1String("smtp_user"))
        return captions::SmtpUser;
    if (name == QLatin1String("mail_from"))
        return captions::MailFrom;
    if (name == QLatin1String("mail_to"))
        return captions::MailTo;
    if (name == QLatin1String("webhook"))
        return captions::Webhooks;
    if (name == QLatin1String("gather_seconds"))
        return captions::Gather;
    return name;
}

QStringList lines(const QPlainTextEdit* edit)
{
    QStringList result;
    for (const QString& line : edit->toPlainText().split(u'\n'))
        if (!line.trimmed().isEmpty())
            result << line.trimmed();
    return result;
}

} // namespace

NotifyPanel::NotifyPanel(const QString& programFolder, notify::AlarmDelivery* delivery, const QString& problem,
                         QWidget* parent)
    : QWidget(parent), m_folder(programFolder), m_delivery(delivery), m_problem(problem)
{
    const auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    txtSmtpHost = named(new QLineEdit, "txtSmtpHost");
    txtSmtpPort = named(new QLineEdit, "txtSmtpPort");
    txtSmtpPort->setPlaceholderText(captions::SmtpPortHint);
    txtSmtpPort->setMaximumWidth(80);
    cboSmtpTls = named(new QComboBox, "cboSmtpTls");
    cboSmtpTls->addItems(captions::Security); // in SmtpSecurity's order
    txtSmtpUser = named(new QLineEdit, "txtSmtpUser");
    txtSmtpPassword = named(new QLineEdit, "txtSmtpPassword");
    txtSmtpPassword->setEchoMode(QLineEdit::Password);
    txtMailFrom = named(new QLineEdit, "txtMailFrom");
    txtMailTo = named(new QPlainTextEdit, "txtMailTo");
    txtMailTo->setMaximumHeight(70);
    spnGatherSeconds = named(new QSpinBox, "spnGatherSeconds");
    spnGatherSeconds->setRange(0, 86400); // as notify.set allows
    txtWebhooks = named(new QPlainTextEdit, "txtWebhooks");
    txtWebhooks->setMaximumHeight(70);
    cmdNotifySave = named(new QPushButton(captions::Save), "cmdNotifySave");
    cmdNotifyTest = named(new QPushButton(captions::Test), "cmdNotifyTest");
    lblNotifyResult = named(new QLabel, "lblNotifyResult");
    lblNotifyResult->setWordWrap(true);
    lblNotifyResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblNotifyState = named(new QLabel, "lblNotifyState");
    lblNotifyState->setWordWrap(true);
    lblNotifyState->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* mail = new QGroupBox(captions::Mail);
    auto* mailForm = new QFormLayout(mail);
    auto* server = new QHBoxLayout;
    server->addWidget(txtSmtpHost, 1);
    server->addWidget(new QLabel(captions::SmtpPort));
    server->addWidget(txtSmtpPort);
    server->addWidget(new QLabel(captions::SmtpTls));
    server->addWidget(cboSmtpTls);
    mailForm->addRow(captions::SmtpHost, server);
    mailForm->addRow(captions::SmtpUser, txtSmtpUser);
    mailForm->addRow(captions::SmtpPassword, txtSmtpPassword);
    mailForm->addRow(captions::MailFrom, txtMailFrom);
    mailForm->addRow(captions::MailTo, txtMailTo);
    mailForm->addRow(captions::Gather, spnGatherSeconds);
    auto* hooks = new QGroupBox(captions::Webhooks);
    auto* hooksLayout = new QVBoxLayout(hooks);
    hooksLayout->addWidget(txtWebhooks);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNotifySave);
    buttons->addWidget(cmdNotifyTest);
    buttons->addStretch();

    auto* page = new QVBoxLayout(this);
    page->addWidget(mail);
    page->addWidget(hooks);
    page->addLayout(buttons);
    page->addWidget(lblNotifyResult);
    page->addWidget(lblNotifyState);
    page->addStretch();

    const notify::NotifySetLoad load =
        notify::loadNotifySet(config::settingsFilePath(m_folder, notify::kNotifySetName));
    fill(load.status == notify::NotifySetLoad::Ok ? load.settings : notify::NotifySettings());

    connect(cmdNotifySave, &QPushButton::clicked, this, &NotifyPanel::save);
    connect(cmdNotifyTest, &QPushButton::clicked, this, &NotifyPanel::sendTest);
    if (m_delivery)
        connect(m_delivery, &notify::AlarmDelivery::statusChanged, this, &NotifyPanel::showDeliveryState);
    showDeliveryState();
}

NotifyPanel::~NotifyPanel() = default;

void NotifyPanel::fill(const notify::NotifySettings& s)
{
    m_loaded = s;
    txtSmtpHost->setText(s.smtpHost);
    txtSmtpPort->setText(s.smtpPort > 0 ? QString::number(s.smtpPort) : QString());
    cboSmtpTls->setCurrentIndex(int(s.smtpSecurity));
    txtSmtpUser->setText(s.smtpUser);
    txtSmtpPassword->setText(s.smtpPassword);
    txtMailFrom->setText(s.mailFrom);
    txtMailTo->setPlainText(s.mailTo.join(u'\n'));
    spnGatherSeconds->setValue(s.gatherMs / 1000);
    txtWebhooks->setPlainText(s.webhooks.join(u'\n'));
}

std::optional<notify::NotifySettings> NotifyPanel::fromFields()
{
    notify::NotifySettings s = m_loaded;
    s.smtpHost = txtSmtpHost->text().trimmed();
    const QString port = txtSmtpPort->text().trimmed();
    bool ok = true;
    s.smtpPort = port.isEmpty() ? 0 : port.toInt(&ok);
    if (!ok || s.smtpPort < 0 || s.smtpPort > 65535) {
        showResult(captions::Unusable.arg(captions::SmtpPort, QStringLiteral("应为 1..65535")), true);
        return std::nullopt;
    }
    s.smtpSecurity = notify::SmtpSecurity(cboSmtpTls->currentIndex());
    s.smtpUser = txtSmtpUser->text().trimmed();
    s.smtpPassword = txtSmtpPassword->text();
    s.smtpPasswordFile = s.smtpUser.isEmpty() ? QString()
                                              : config::settingsFilePath(m_folder, notify::kNotifyPasswordName);
    s.mailFrom = txtMailFrom->text().trimmed();
    s.mailTo = lines(txtMailTo);
    s.gatherMs = spnGatherSeconds->value() * 1000;
    s.webhooks = lines(txtWebhooks);
    if (const std::optional<notify::NotifySetError> wrong = notify::checkNotifySettings(s)) {
        showResult(captions::Unusable.arg(fieldCaption(wrong->field), wrong->rule), true);
        return std::nullopt;
    }
    return s;
}

void NotifyPanel::save()
{
    std::optional<notify::NotifySettings> s = fromFields();
    if (!s)
        return;
    // The password lives in its own file beside notify.set, which names it.
    notify::NotifySettings inFile = *s;
    if (!inFile.smtpPasswordFile.isEmpty())
        inFile.smtpPasswordFile = QLatin1String(notify::kNotifyPasswordName);
    const QByteArray content = notify::formatNotifySet(inFile);
    if (content.isEmpty()) {
        showResult(captions::FieldNotWritable, true);
        return;
    }
    const QString path = config::settingsFilePath(m_folder, notify::kNotifySetName);
    if (!s->smtpPasswordFile.isEmpty() && !config::saveWholeFile(s->smtpPasswordFile, s->smtpPassword.toUtf8() + '\n')) {
        showResult(captions::NotSaved.arg(QDir::toNativeSeparators(s->smtpPasswordFile)), true);
        return;
    }
    if (!config::saveWholeFile(path, content)) {
        showResult(captions::NotSaved.arg(QDir::toNativeSeparators(path)), true);
        return;
    }
    m_loaded = *s;
    showResult(captions::Saved.arg(QDir::toNativeSeparators(path)), false);
}

void NotifyPanel::sendTest()
{
    std::optional<notify::NotifySettings> s = fromFields();
    if (!s)
        return;
    if (!s->mailConfigured() && s->webhooks.isEmpty()) {
        showResult(captions::NothingToTest, true);
        return;
    }
    // A delivery of its own: the window's keeps its queues, and the test is tried once.
    m_test = std::make_unique<notify::AlarmDelivery>(*s);
    connect(m_test.get(), &notify::AlarmDelivery::testFinished, this, &NotifyPanel::showTestResult);
    if (const QString problem = m_test->start(); !problem.isEmpty()) {
        showResult(problem, true);
        m_test.reset();
        return;
    }
    m_testsLeft = int(m_test->status().size());
    m_testResults.clear();
    cmdNotifyTest->setEnabled(false);
    showResult(captions::Testing, false);
    m_test->sendTest(QString());
}

void NotifyPanel::showTestResult(const QString& destination, const QString& error)
{
    m_testResults << (error.isEmpty() ? captions::TestSent.arg(destination)
                                      : captions::TestFailed.arg(destination, error));
    if (--m_testsLeft > 0)
        return;
    cmdNotifyTest->setEnabled(true);
    bool failed = false;
    for (const QString& line : m_testResults)
        failed = failed || line.contains(QStringLiteral("发送失败"));
    showResult(m_testResults.join(u'\n'), failed);
    // Every destination has answered: the test's thread is idle and ends at once.
    m_test.reset();
}

void NotifyPanel::showDeliveryState()
{
    if (!m_delivery || m_delivery->status().isEmpty()) {
        lblNotifyState->setText(m_problem.isEmpty() ? captions::Off + u'\n' + captions::OffHint : m_problem);
        lblNotifyState->setStyleSheet(m_problem.isEmpty() ? QString() : QStringLiteral("color: #b00000"));
        return;
    }
    QStringList text;
    bool trouble = false;
    for (const notify::DestinationStatus& d : m_delivery->status()) {
        using State = notify::DestinationStatus::State;
        const QString state = d.state == State::Idle       ? captions::Idle
                              : d.state == State::Retrying ? captions::Retrying.arg(d.lastError)
                                                           : captions::Failed.arg(d.lastError);
        trouble = trouble || d.state != State::Idle || d.dropped > 0;
        text << captions::Figures.arg(d.name, state)
                    .arg(d.delivered)
                    .arg(d.waiting)
                    .arg(d.failedAttempts)
                    .arg(d.dropped);
    }
    lblNotifyState->setText(text.join(u'\n'));
    lblNotifyState->setStyleSheet(trouble ? QStringLiteral("color: #b00000") : QString());
}

void NotifyPanel::showResult(const QString& text, bool problem)
{
    lblNotifyResult->setText(text);
    lblNotifyResult->setStyleSheet(problem ? QStringLiteral("color: #b00000") : QString());
}
