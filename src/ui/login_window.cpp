#include "login_window.h"

#include "dialogs.h"
#include "main_window.h"
#include "program_folder.h"
#include "screen_centre.h"

#include <QDir>
#include <QKeyEvent>
#include <exception>

namespace {

const QString kErrorTitle = QStringLiteral("系统出错提示");
const QString kFileTitle = QStringLiteral("系统提示");

bool isEnter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A message about a login file; the text names it.
void tellAboutFile(QWidget* parent, const QString& text)
{
    dialogs::MsgBox(parent, text, kFileTitle, dialogs::Icon::Warning);
}

QString cutShortText(const QString& file)
{
    return QStringLiteral("文件“%1”中有无法读取的记录，其后的记录已忽略。").arg(file);
}

void tellLoginFailed(QWidget* parent)
{
    dialogs::MsgBox(parent, QStringLiteral(" 登录失败，请检查您是否有此权限或与系统管理员联系！"),
                    QStringLiteral("提示"), dialogs::Icon::Warning);
}

} // namespace

LoginWindow::LoginWindow(MainWindowFactory createMainWindow, QWidget* parent)
    : QWidget(parent), m_createMainWindow(std::move(createMainWindow))
{
    setObjectName(QStringLiteral("frmLogin"));
    setupUi(this);
    if (!m_createMainWindow)
        m_createMainWindow = [] { return std::make_unique<MainWindow>(); };
    // QLineEdit passes Enter on to its window, which would log in from the user-name box.
    for (QWidget* control : {static_cast<QWidget*>(txtUserName), static_cast<QWidget*>(txtPassword),
                             static_cast<QWidget*>(cmdCancel)})
        control->installEventFilter(this);
    connect(cmdOK, &QPushButton::clicked, this, &LoginWindow::logIn);
    connect(cmdCancel, &QPushButton::clicked, this, &LoginWindow::cancelLogin);
}

LoginWindow::~LoginWindow() = default;

void LoginWindow::startUp()
{
    const QString folder = programFolder();

    const config::LoginFileLoad accounts =
        config::loadLoginFile(folder, config::kLoginSetName, config::defaultAccount());
    const QString accountsFile = QDir::toNativeSeparators(accounts.path);
    m_accounts = accounts.content.records;
    if (accounts.status == config::LoginFileLoad::Unreadable)
        tellAboutFile(this, QStringLiteral("无法读取账户文件“%1”，现在无法登录。").arg(accountsFile));
    if (accounts.status == config::LoginFileLoad::NotCreated)
        tellAboutFile(this,
                      QStringLiteral("无法创建账户文件“%1”，本次只能使用默认账户登录。").arg(accountsFile));
    if (accounts.content.cutShort)
        tellAboutFile(this, cutShortText(accountsFile));
    if (m_accounts.size() > config::kAccountPositions)
        tellAboutFile(this, QStringLiteral("账户文件“%1”中的账户超过%2个，只使用前%2个，其余的已忽略。")
                                .arg(accountsFile, QString::number(config::kAccountPositions)));

    const config::LoginFileLoad remembered =
        config::loadLoginFile(folder, config::kStartLoginSetName, config::LoginRecord{});
    const QString rememberedFile = QDir::toNativeSeparators(remembered.path);
    if (remembered.status == config::LoginFileLoad::Unreadable)
        tellAboutFile(this, QStringLiteral("无法读取文件“%1”，用户名和密码框保持为空。").arg(rememberedFile));
    if (remembered.status == config::LoginFileLoad::NotCreated)
        tellAboutFile(this, QStringLiteral("无法创建文件“%1”，无法记住用户名和密码。").arg(rememberedFile));
    if (remembered.content.cutShort)
        tellAboutFile(this, cutShortText(rememberedFile));
    if (!remembered.content.records.isEmpty()) {
        const config::LoginRecord& last = remembered.content.records.constLast();
        txtUserName->setText(last.userName);
        txtPassword->setText(last.password);
    }
}

void LoginWindow::logIn()
{
    const QString userName = txtUserName->text();
    if (userName.isEmpty()) {
        dialogs::MsgBox(this, QStringLiteral("用户名不能为空!"), kErrorTitle, dialogs::Icon::Warning);
        return;
    }
    const QList<config::LoginRecord> matches =
        config::matchingAccounts(m_accounts, userName, txtPassword->text());
    if (matches.isEmpty()) {
        dialogs::MsgBox(this, QStringLiteral("用户名或密码错误!"), kErrorTitle, dialogs::Icon::Warning);
        return;
    }
    if (Check1->isChecked()) {
        for (const config::LoginRecord& account : matches) {
            if (!config::appendLoginRecord(programFolder(), config::kStartLoginSetName, account)) {
                tellLoginFailed(this);
                return;
            }
        }
    }
    std::unique_ptr<MainWindow> window = StartMainWindow();
    if (!window) {
        tellLoginFailed(this);
        return;
    }
    window->setLoggedInUser(userName);
    moveToScreenCentre(*window);
    window->show();
    m_mainWindow = std::move(window);
    close();
}

void LoginWindow::cancelLogin()
{
    close();
}

std::unique_ptr<MainWindow> LoginWindow::StartMainWindow()
{
    try {
        std::unique_ptr<MainWindow> window = m_createMainWindow();
        window->startUp();
        return window;
    } catch (const std::exception& failure) {
        qWarning("The main window failed to start: %s", failure.what());
        return nullptr;
    }
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (!isEnter(event))
        return QWidget::eventFilter(watched, event);
    if (watched == txtUserName)
        txtPassword->setFocus(Qt::OtherFocusReason);
    else if (watched == txtPassword)
        logIn();
    // On the Cancel button Enter is only swallowed: passed on, it would reach the window and log in.
    return true;
}

void LoginWindow::keyPressEvent(QKeyEvent* event)
{
    if (isEnter(event))
        logIn();
    else
        QWidget::keyPressEvent(event);
}
