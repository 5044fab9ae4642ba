#pragma once
// Every control of the login window, with the names its handlers use. setupUi
// builds them from layout() (frmLogin_layout.cpp) and binds each member to the
// control of its name, as MainWindowForm does for the main window.

#include "form_builder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>

struct LoginWindowForm
{
    QWidget* Picture1 = nullptr;        // the band holding the title line
    QLabel* Label1 = nullptr;           // the title line
    QLabel* Picture3 = nullptr;         // the program's icon beside the boxes
    std::array<QLabel*, 2> lblLabels{}; // captions of the user-name and password boxes
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QCheckBox* Check1 = nullptr; // "记住用户名和密码"
    QLabel* Label2 = nullptr;    // an empty line between the boxes and the buttons
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    // Builds the window and binds every member; a mismatch between layout()
    // and these members ends the program, naming it.
    void setupUi(QWidget* window);
    static const form::Description& layout();
};
