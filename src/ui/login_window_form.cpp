#include "login_window_form.h"

#include <QFontDatabase>

void LoginWindowForm::setupUi(QWidget* window)
{
    form::Binder built = form::build(window, layout());
    FORM_BIND(built, Picture1);
    FORM_BIND(built, Label1);
    FORM_BIND(built, Picture3);
    FORM_BIND(built, lblLabels);
    FORM_BIND(built, txtUserName);
    FORM_BIND(built, txtPassword);
    FORM_BIND(built, Check1);
    FORM_BIND(built, Label2);
    FORM_BIND(built, cmdOK);
    FORM_BIND(built, cmdCancel);
    built.failOnProblems("frmLogin");

    // The title's typeface (SimHei is its English name) where the system has it;
    // elsewhere the window's own font.
    QFont title = Label1->font();
    title.setPointSizeF(title.pointSizeF() * 4 / 3);
    for (const QString& family : {QStringLiteral("黑体"), QStringLiteral("SimHei")}) {
        if (QFontDatabase::hasFamily(family)) {
            title.setFamily(family);
            break;
        }
    }
    Label1->setFont(title);
}
