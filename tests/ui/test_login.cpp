// The login window in a fresh program folder: the files it creates, logins
// accepted and refused, remembered logins, the keys, files it cannot use, and
// a main window that fails to start.

#include "window_fixture.h"

#include "ui/login_window.h"
#include "ui/translations.h"

#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <stdexcept>

namespace {

struct LoginFixture : WindowFixture
{
    QPointer<MainWindow> created; // the last main window the login created
    std::unique_ptr<LoginWindow> login;

    ~LoginFixture() { login.reset(); }

    LoginWindow& open()
    {
        login = std::make_unique<LoginWindow>([this] {
            auto main = std::make_unique<MainWindow>(std::make_unique<port::MemoryBackend>());
            created = main.get();
            return main;
        });
        login->startUp();
        login->show();
        return *login;
    }

    bool logIn(const QString& userName = QStringLiteral("qorvi"),
               const QString& password = QStringLiteral("qorvi"), bool remember = false)
    {
        login->txtUserName->setText(userName);
        login->txtPassword->setText(password);
        login->Check1->setChecked(remember);
        login->cmdOK->click();
        return loggedIn();
    }
    bool loggedIn() const
    {
        return login->mainWindow() && login->mainWindow()->isVisible() && login->isHidden();
    }

    // The message boxes shown, as "title|text"; every one of them a warning.
    QStringList shown() const
    {
        QStringList texts;
        for (const dialogs::MessageBoxRequest& box : boxes)
            texts << box.title + QLatin1Char('|') + box.text +
                         (box.icon == dialogs::Icon::Warning ? "" : " (icon?)");
        return texts;
    }
    QString path(const char* name) const { return QDir(folder.path()).filePath(QLatin1String(name)); }
};

const QString kWrong = QStringLiteral("系统出错提示|用户名或密码错误!");
const QString kFailed = QStringLiteral("提示| 登录失败，请检查您是否有此权限或与系统管理员联系！");

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Qt's own dialogs speak the program's language: their buttons, and the
    // question before a file is replaced.
    void standardDialogsSpeakChinese()
    {
        if (!ui::installQtChineseTranslations(*QCoreApplication::instance()))
            QSKIP("Qt's translations are not installed (Debian package qt6-translations-l10n)");
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    }

    // A box without an icon of its own carries the one its title implies.
    void messageBoxesCarryTheIconTheirTitleImplies()
    {
        QVector<dialogs::MessageBoxRequest> shown;
        dialogs::setMessageBoxHandler([&](const dialogs::MessageBoxRequest& r) {
            shown << r;
            return int(dialogs::AnswerOk);
        });
        dialogs::MsgBox(nullptr, QStringLiteral("x"), QStringLiteral("系统出错提示"));
        dialogs::MsgBox(nullptr, QStringLiteral("x"), QStringLiteral("系统提示"));
        dialogs::MsgBox(nullptr, QStringLiteral("x"), QStringLiteral("系统信息"), dialogs::Icon::Warning);
        dialogs::MsgBox(nullptr, QStringLiteral("x"));
        dialogs::setMessageBoxHandler(nullptr);
        QCOMPARE(shown.size(), 4);
        QCOMPARE(shown[0].icon, dialogs::Icon::Critical);
        QCOMPARE(shown[1].icon, dialogs::Icon::Information);
        QCOMPARE(shown[2].icon, dialogs::Icon::Warning); // its own icon stays
        QCOMPARE(shown[3].icon, dialogs::Icon::None);
    }

    void firstStartCreatesBothFilesAndAcceptsTheDefault()
    {
        LoginFixture f;
        LoginWindow& w = f.open();
        QCOMPARE(f.readFile("login.set"), QByteArray("\"qorvi\",\"qorvi\"\r\n"));
        QCOMPARE(f.readFile("startlogin.set"), QByteArray("\"\",\"\"\r\n"));
        QVERIFY(w.txtUserName->text().isEmpty() && w.txtPassword->text().isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("登录"));
        QCOMPARE(w.minimumSize(), QSize(417, 237));
        QCOMPARE(w.maximumSize(), QSize(417, 237));
        w.txtPassword->setText(QStringLiteral("ab"));
        QCOMPARE(w.txtPassword->displayText(), QStringLiteral("**"));

        QVERIFY(f.logIn());
        QCOMPARE(f.shown(), QStringList());
        QVERIFY(w.mainWindow()->MSComm1->PortOpen());                        // its start-up ran
        QCOMPARE(f.readFile("startlogin.set"), QByteArray("\"\",\"\"\r\n")); // not remembered
    }

    void loginsRefusedAndAccepted_data()
    {
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("box"); // empty: logged in
        const auto row = [](const char* name, const char* userName, const char* password,
                            const QString& box) {
            QTest::newRow(name) << QString(userName) << QString(password) << box;
        };
        row("wrong password", "qorvi", "qorvi2", kWrong);
        row("empty user name", "", "", QStringLiteral("系统出错提示|用户名不能为空!"));
        row("empty password", "op", "", QString());
    }
    void loginsRefusedAndAccepted()
    {
        QFETCH(QString, userName);
        QFETCH(QString, password);
        QFETCH(QString, box);
        LoginFixture f;
        f.writeFile("login.set", "\"qorvi\",\"qorvi\"\r\n\"op\",\"\"\r\n");
        LoginWindow& w = f.open();
        QCOMPARE(f.logIn(userName, password), box.isEmpty());
        QCOMPARE(f.shown(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(w.txtUserName->text(), userName); // the texts stay as typed
        QCOMPARE(w.txtPassword->text(), password);
    }

    void rememberedLoginsAreAppendedAndShownNextTime()
    {
        LoginFixture f;
        f.writeFile("login.set", "\"qorvi\",\"qorvi\"\r\n\"op\",\"1\"\r\n\"qorvi\",\"qorvi\"\r\n");
        f.open();
        QVERIFY(f.logIn("qorvi", "qorvi", true));
        QCOMPARE(f.readFile("startlogin.set"),
                 QByteArray("\"\",\"\"\r\n\"qorvi\",\"qorvi\"\r\n\"qorvi\",\"qorvi\"\r\n"));

        LoginWindow& next = f.open();
        QCOMPARE(next.txtUserName->text(), QStringLiteral("qorvi"));
        QCOMPARE(next.txtPassword->text(), QStringLiteral("qorvi"));
        QVERIFY(f.logIn("op", "1")); // not ticked: nothing removed
        QCOMPARE(f.open().txtUserName->text(), QStringLiteral("qorvi"));
        QCOMPARE(f.shown(), QStringList());
    }

    void keys_data()
    {
        QTest::addColumn<QString>("target"); // objectName, or "" for the window itself
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("logsIn");
        const auto row = [](const char* name, const char* target, Qt::Key key, bool logsIn) {
            QTest::newRow(name) << QString(target) << int(key) << logsIn;
        };
        row("Enter in the user-name box moves on", "txtUserName", Qt::Key_Return, false);
        row("Enter in the password box", "txtPassword", Qt::Key_Return, true);
        row("keypad Enter in the password box", "txtPassword", Qt::Key_Enter, true);
        row("Enter on the check box reaches the window", "Check1", Qt::Key_Return, true);
        row("Enter on the window", "", Qt::Key_Return, true);
        row("Enter on Cancel", "cmdCancel", Qt::Key_Return, false);
        row("Esc on the window", "", Qt::Key_Escape, false);
    }
    void keys()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(bool, logsIn);
        LoginFixture f;
        LoginWindow& w = f.open();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.txtUserName->setText(QStringLiteral("qorvi"));
        w.txtPassword->setText(QStringLiteral("qorvi"));
        w.txtUserName->setFocus();
        QWidget* receiver = target.isEmpty() ? &w : w.findChild<QWidget*>(target);
        QVERIFY(receiver);
        QTest::keyClick(receiver, Qt::Key(key));
        QCOMPARE(f.loggedIn(), logsIn);
        QVERIFY(logsIn || w.isVisible());
        if (target == "txtUserName")
            QCOMPARE(QApplication::focusWidget(), w.txtPassword);
    }

    void filesThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("broken"); // a folder in that file's place, or "folder": no program folder
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("defaultLogsIn");
        const auto row = [](const char* name, const char* broken, const char* box, bool defaultLogsIn) {
            QTest::newRow(name) << QString(broken) << QString::fromUtf8(box) << defaultLogsIn;
        };
        row("login.set unreadable: no login at all", "login.set",
            "系统提示|无法读取账户文件“%1”，现在无法登录。", false);
        row("startlogin.set unreadable", "startlogin.set",
            "系统提示|无法读取文件“%1”，用户名和密码框保持为空。", true);
        row("neither can be created: the default account in memory", "folder",
            "系统提示|无法创建账户文件“%1/login.set”，本次只能使用默认账户登录。", true);
    }
    void filesThatCannotBeUsed()
    {
        QFETCH(QString, broken);
        QFETCH(QString, box);
        QFETCH(bool, defaultLogsIn);
        LoginFixture f;
        const QString named = f.path(qPrintable(broken));
        if (broken == "folder")
            setProgramFolderForTests(named);
        else
            QVERIFY(QDir(f.folder.path()).mkdir(broken));
        LoginWindow& w = f.open();
        QCOMPARE(f.shown().value(0), box.arg(named));
        QVERIFY(w.txtUserName->text().isEmpty());
        f.boxes.clear();
        QCOMPARE(f.logIn("qorvi", "qorvi", broken != "login.set"), false);
        // Remembering cannot work either: it fails the login.
        QCOMPARE(f.shown(), QStringList{defaultLogsIn ? kFailed : kWrong});
        QCOMPARE(f.logIn(), defaultLogsIn);
    }

    void moreThan101AccountsAreNamed()
    {
        LoginFixture f;
        f.writeFile("login.set", QByteArray("\"a\",\"b\"\r\n").repeated(102));
        f.open();
        QCOMPARE(f.shown(),
                 QStringList{
                     QStringLiteral("系统提示|账户文件“%1”中的账户超过101个，只使用前101个，其余的已忽略。")
                         .arg(f.path("login.set"))});
    }

    void failedMainWindowIsGoneBeforeTheMessageAndARetryWorks()
    {
        LoginFixture f;
        QVERIFY(QDir(f.folder.path()).mkdir("comm.set")); // start-up tells about it: the test fails it there
        bool fail = true;
        bool goneAtMessage = false;
        dialogs::setMessageBoxHandler([&](const dialogs::MessageBoxRequest& request) {
            f.boxes.append(request);
            if (request.text.contains(QLatin1String("comm.set")) && std::exchange(fail, false))
                throw std::runtime_error("start-up failed");
            if (request.title == QStringLiteral("提示"))
                goneAtMessage = f.created.isNull();
            return int(dialogs::AnswerOk);
        });
        LoginWindow& w = f.open();
        QTest::ignoreMessage(QtWarningMsg, "The main window failed to start: start-up failed");
        QVERIFY(!f.logIn());
        QVERIFY(goneAtMessage);
        QCOMPARE(f.shown().constLast(), kFailed);
        QVERIFY(w.isVisible());

        QVERIFY(f.logIn());
        QVERIFY(w.mainWindow()->MSComm1->PortOpen());
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
