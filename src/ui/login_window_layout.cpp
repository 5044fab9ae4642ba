// The login window as data: caption, size, fixed dialog frame, every control
// with its caption and geometry. LoginWindowForm::setupUi builds the window from
// this and binds its members.
//
// Geometry is in twips (15 per pixel), relative to the parent. Rows come in the
// order the operator tabs through them. The title band spans the top; below it
// the icon stands left of the two label/box rows and the check box; the two
// buttons sit centred at the bottom.

#include "login_window_form.h"

#include <iterator>

namespace {

using form::Centred;
using form::Kind;
using form::None;
using form::Password;

const form::Row rows[] = {
    {"Picture1", Kind::Panel, "", nullptr, 0, 0, 6255, 780},
    {"Label1", Kind::Label, "Picture1", "TQ5400多通道温度采集仪工具软件", 120, 180, 6015, 480, Centred},
    {"Picture3", Kind::Image, "", ":/form/icon.png", 360, 960, 960, 960},
    {"lblLabels_0", Kind::Label, "", "用户名(&U):", 1560, 1020, 1200, 315, None, "txtUserName"},
    {"txtUserName", Kind::LineEdit, "", nullptr, 2820, 1020, 3075, 315},
    {"lblLabels_1", Kind::Label, "", "密  码(&P):", 1560, 1500, 1200, 315, None, "txtPassword"},
    {"txtPassword", Kind::LineEdit, "", nullptr, 2820, 1500, 3075, 315, Password},
    {"Check1", Kind::CheckBox, "", "记住用户名和密码", 2820, 1980, 3075, 315},
    {"Label2", Kind::Label, "", nullptr, 360, 2460, 5535, 120},
    {"cmdOK", Kind::Button, "", "确定", 1680, 2700, 1200, 435},
    {"cmdCancel", Kind::Button, "", "取消", 3360, 2700, 1200, 435},
};

} // namespace

const form::Description& LoginWindowForm::layout()
{
    static const form::Description description = [] {
        form::Description d{"登录", ":/form/icon.png", 6255, 3555, {std::begin(rows), std::end(rows)}, {}};
        d.fixedDialog = true;
        return d;
    }();
    return description;
}
