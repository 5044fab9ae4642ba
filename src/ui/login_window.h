#pragma once
// The login window: asks for a user name and a password, compares them with
// the accounts of "login.set" and on a match opens the main window and closes
// itself. It can remember a login in "startlogin.set" and shows the last one
// remembered when it opens.

#include "login_window_form.h"

#include "config/login_files.h"

#include <QWidget>
#include <functional>
#include <memory>

class MainWindow;

class LoginWindow : public QWidget, public LoginWindowForm
{
    Q_OBJECT
public:
    // Creates the main window a login opens; tests give it a port in memory.
    using MainWindowFactory = std::function<std::unique_ptr<MainWindow>()>;

    // Without a factory the main window talks to the real serial line.
    explicit LoginWindow(MainWindowFactory createMainWindow = nullptr, QWidget* parent = nullptr);
    ~LoginWindow() override;

    // Start: creates missing login files, fills the boxes with the last login
    // remembered and reads the account table. A file that cannot be used is named
    // in a message.
    void startUp();

    // Logs in: on a match (remembering it when Check1 is ticked) starts the main
    // window, shows it centred and closes this window; otherwise a message, and
    // the window stays open with the texts as typed.
    void logIn();
    void cancelLogin();

    // The main window a login opened (this window keeps it); null until then.
    MainWindow* mainWindow() const { return m_mainWindow.get(); }

protected:
    // Enter in the user-name box moves on to the password box; Enter in the
    // password box logs in; Enter on the Cancel button is swallowed.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Enter that no control took logs in. Esc does nothing.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The main window after its start-up, or null when creating or starting it
    // threw; by then it is destroyed and its port closed, so another try finds
    // the port free.
    std::unique_ptr<MainWindow> StartMainWindow();

    MainWindowFactory m_createMainWindow;
    QList<config::LoginRecord> m_accounts; // read at start; a later change to the file counts next time
    std::unique_ptr<MainWindow> m_mainWindow;
};
