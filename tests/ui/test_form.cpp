// The main window's controls as built by MainWindowForm::setupUi: names, types,
// designed texts and geometry, buddies, tabs, lamps, lists, timers, and a
// sweep over every frame for overlapping or cut-off controls. Then the form
// builder's own checks: twips to pixels, and the mismatches between a table
// and the members bound to it.

#include "ui/main_window_form.h"

#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <functional>
#include <set>

namespace {

constexpr int Twips = 15; // per pixel
// Tops on a tab page are measured from the top of the tab control; a Qt page
// starts below its tab bar, which the form counts as 300 twips.
constexpr int TabBarTwips = 300;

QRect designed(int left, int top, int width, int height, bool onTabPage)
{
    const int pageTop = onTabPage ? top - TabBarTwips : top;
    return QRect(left / Twips, pageTop / Twips, width / Twips, height / Twips);
}

QString shownText(const QObject* o)
{
    if (auto* label = qobject_cast<const QLabel*>(o))
        return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(o))
        return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(o))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(o))
        return group->title();
    if (auto* combo = qobject_cast<const QComboBox*>(o))
        return combo->currentText();
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(o))
        return plain->toPlainText();
    if (auto* rich = qobject_cast<const QTextEdit*>(o))
        return rich->toPlainText();
    return QStringLiteral("<no text of %1>").arg(QLatin1String(o->metaObject()->className()));
}

// The members of a small window, bound the way setupUi binds its own.
struct SmallForm
{
    QGroupBox* Frame1 = nullptr;
    std::array<QLabel*, 3> lblLabels{}; // sparse: 0 and 1
    QLineEdit* txtUserName = nullptr;
    QLabel* Label1 = nullptr;
    IntervalTimer* Timer1 = nullptr;

    void bind(form::Binder& built)
    {
        FORM_BIND(built, Frame1);
        FORM_BIND(built, lblLabels);
        FORM_BIND(built, txtUserName);
        FORM_BIND(built, Label1);
        FORM_BIND(built, Timer1);
    }
};

// A table matching SmallForm.
form::Description smallWindow()
{
    using form::Kind;
    return form::Description{
        "登录",
        nullptr,
        6255,
        3555,
        {
            {"Frame1", Kind::Group, "", "", 120, 120, 6000, 2000},
            {"lblLabels_0", Kind::Label, "Frame1", "用户名", 120, 300, 900, 315, form::None, "txtUserName"},
            {"txtUserName", Kind::LineEdit, "Frame1", "", 1080, 300, 1500, 315},
            {"lblLabels_1", Kind::Label, "Frame1", "密码", 120, 720, 900, 315},
            {"Label1", Kind::Label, "", "标题", 120, 2400, 3000, 315},
        },
        {{"Timer1", false, 1000}},
    };
}

} // namespace

Q_DECLARE_METATYPE(form::Description)

class TestForm : public QObject
{
    Q_OBJECT

    QWidget window;
    MainWindowForm form;

    QWidget* control(const char* name) const { return window.findChild<QWidget*>(QLatin1String(name)); }

    // Controls the form placed in a container (window, tab page, frame or
    // picture box), as opposed to the widgets Qt builds inside controls.
    bool isPlacedControl(const QWidget* w) const
    {
        const QWidget* parent = w->parentWidget();
        const bool container =
            parent == &window || parent == form.Picture2 || qobject_cast<const QGroupBox*>(parent) ||
            std::find(form.tabPages.cbegin(), form.tabPages.cend(), parent) != form.tabPages.cend();
        return container && !w->objectName().isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        form.setupUi(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    void window_has_designed_caption_size_and_icon()
    {
        QCOMPARE(window.windowTitle(), QStringLiteral("TQ5900K-64 增强型温度采集模块随机软件V14.11.13"));
        QCOMPARE(window.size(), QSize(15810 / Twips, 13470 / Twips));
        QVERIFY(!window.windowIcon().isNull());
    }

    void control_is_named_member_of_its_type_data()
    {
        QTest::addColumn<QObject*>("member");
        QTest::addColumn<QByteArray>("className");
        using Named = std::pair<const char*, QObject*>;
        const auto rows = [](const char* className, std::initializer_list<Named> members) {
            for (const Named& m : members)
                QTest::newRow(m.first) << m.second << QByteArray(className);
        };
#define M(member) Named(#member, form.member)
        rows("QTabWidget", {M(SSTab1)});
        rows("QGroupBox",
             {M(Frame10), M(Frame6), M(Frame3), M(Frame11), M(Frame18), M(frmView), M(Frame4), M(Frame9),
              M(Frame13), M(Frame16), M(Frame2), M(Frame5), M(Frame12), M(Frame7), M(Frame17), M(Frame1)});
        rows("QLineEdit",
             {M(txtStationID),    M(txtStartID),       M(txtFunID),     M(txtChannel),      M(txtDataLength),
              M(txtSearchAdd),    M(txtSearchChannel), M(txtSearchNum), M(txtObjStationID), M(txtObjChnid),
              M(txtSensorReadID), M(txtSta),           M(txtChnId),     M(TXTsensorID),     M(txtInputAddid),
              M(txtObjChannelID), M(txtObjSensorid),   M(txtTimer5),    M(txtCurrentAdd),   M(txtCurrentBuad),
              M(txtObjectBuad),   M(txtModuleNum),     M(txtDoADDress), M(txtChnnelNum),    M(txtMaxofSensor),
              M(txtCommand)});
        rows("QWidget", {M(Picture2)});
        rows("QLabel", {M(imgConnected), M(ImgYellow), M(imgNotConnected), M(lblCounter), M(Label11),
                        M(Label14), M(Label3), M(lblCurrentAdd), M(lblChangeAddress), M(lblAddressHint),
                        M(lblAddressRange), M(lblCurrentBuad), M(lblObjectBuad), M(Label1), M(Label13),
                        M(Picture3), M(Label4), M(Label6), M(Label7)});
        rows("QPushButton",
             {M(comDoOnce),     M(cmdOneM),     M(cmdStopOnce),   M(cmdOnceDo1),   M(CmdReadDataCircle),
              M(cmdStopCircle), M(cmdClearSn),  M(cmdAutoSearch), M(cmdAutoInput), M(cmdReadSensorID),
              M(cmdSaveSn),     M(cmdOpenFile), M(cmdFirst),      M(cmdWriteNext), M(cmdWriteAllSn),
              M(cmdStopWrite),  M(cmdCom),      M(cmdOpenComm),   M(cmdCloseComm), M(cmdReadAdd),
              M(cmdChangeID),   M(cmdBuadRate), M(cmdSaveSet)});
        rows("QTextEdit", {M(txtShowID), M(txtSn)});
        rows("QComboBox", {M(Combo1), M(Combo2)});
        rows("QPlainTextEdit", {M(txtState)});
#undef M
    }
    void control_is_named_member_of_its_type()
    {
        QFETCH(QObject*, member);
        QFETCH(QByteArray, className);
        QWidget* found = control(QTest::currentDataTag());
        QVERIFY2(found, "no control with this objectName");
        QCOMPARE(static_cast<QObject*>(found), member);
        QCOMPARE(QByteArray(found->metaObject()->className()), className);
    }

    // Sparse arrays hold exactly the designed indices, each named <array>_<i>.
    void control_arrays_hold_designed_elements()
    {
        const auto check = [](const auto& members, const char* name, std::set<int> designed,
                              const char* className) {
            for (int i = 0; i < int(members.size()); ++i) {
                const QString where = QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(i);
                QVERIFY2(bool(members[i]) == (designed.count(i) == 1), qPrintable(where));
                if (!members[i])
                    continue;
                QCOMPARE(members[i]->objectName(), QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
                QVERIFY2(members[i]->inherits(className), qPrintable(where));
            }
        };
        check(form.tabPages, "tabPages", {0, 1, 2, 3}, "QWidget");
        check(form.Label8, "Label8", {0, 1, 2, 3, 4, 5, 6}, "QLabel");
        check(form.FrameShow, "FrameShow", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "QGroupBox");
        check(form.txtTimerSet, "txtTimerSet", {0, 1}, "QLineEdit");
        check(form.Label2, "Label2", {0, 1, 2, 3, 4, 5, 6, 9, 10, 14, 15, 16, 17, 18}, "QLabel");
        check(form.txtSenseSn, "txtSenseSn", {0, 1, 2, 3, 4, 5, 6, 7}, "QLineEdit");
        check(form.Label5, "Label5", {1, 2, 3, 4}, "QLabel");
        check(form.txtSetID, "txtSetID", {0, 1}, "QLineEdit");
        check(form.Label12, "Label12", {0, 2}, "QLabel");
        check(form.Label9, "Label9", {0, 1, 2}, "QLabel");
    }

    void designed_text_data()
    {
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const char* text) {
            QTest::newRow(name) << QString::fromUtf8(text);
        };
        // Frame captions, including the one with a space before its bracket.
        row("Frame10", "MODBUS设置");
        row("Frame6", "运行状态指示");
        row("Frame3", "");
        row("Frame11", "单通道操作");
        row("Frame18", "10通道操作");
        row("frmView", "状态观察窗");
        row("Frame4", "传感器序列号自动搜索");
        row("Frame9", "写传感器序列号");
        row("Frame13", "读传感器序列号");
        row("Frame16", "批量导入序列号到设备");
        row("Frame2", "序列号校对窗口");
        row("Frame5", "串口设置");
        row("Frame12", "设备ID修改操作(子功能号0x0B )");
        row("Frame7", "波特率");
        row("Frame17", "模块设置");
        row("Frame1", "命令执行状态");
        // Captions as designed, odd spellings and inner spaces included.
        row("Label8_1", "超始地址");
        row("Label8_3", "功 能 码");
        row("Label8_4", "定时时长(ms)");
        row("CmdReadDataCircle", "循 坏");
        row("Label2_15", "64位一线传感器序列号");
        row("Label11", "(十六进制)");
        row("Label2_14", "传感器序号");
        row("lblCurrentAdd", "当前地址：");
        row("lblChangeAddress", "将地址      改为");
        row("Label1", "值对应波特率 1-4800 2-9600 3-14400 4-19200 ");
        row("Label7", "发送命令:");
        row("cmdClearSn", "清空观察窗");
        row("cmdSaveSn", "保存序列号");
        row("cmdWriteAllSn", "自动导入");
        row("cmdCloseComm", "关闭端口");
        // Hints and notes.
        row("Label2_10", "操作前请确保传感器已接入到需要操作的设备指定通道");
        row("lblAddressHint", "地址不允许为00,若为00，下位机不响应");
        row("lblAddressRange", "设备地址的值范围为1-249,250为通配地址");
        row("Label5_3", "检测系统中存储的模块总数，本设置表示检测循环中，被检测到的模块总数");
        row("Label12_2", "每个模块包含通道数，TQ5400K共10通道，使用几通道，此处可输入几");
        // Designed texts of the boxes; start-up overwrites some of them.
        row("txtStationID", "2");
        row("txtStartID", "1");
        row("txtFunID", "3");
        row("txtChannel", "4");
        row("txtDataLength", "2");
        row("lblCounter", "0");
        row("txtTimerSet_0", "1000");
        row("txtTimerSet_1", "3000");
        row("txtSta", "01");
        row("txtChnId", "01");
        row("TXTsensorID", "16");
        row("txtSenseSn_0", "40");
        row("txtSenseSn_1", "0");
        row("txtSenseSn_7", "0");
        row("txtObjChannelID", "01");
        row("txtObjSensorid", "01");
        row("txtTimer5", "600");
        row("txtCurrentAdd", "0");
        row("txtSetID_0", "1");
        row("txtSetID_1", "1");
        row("txtCurrentBuad", "2");
        row("txtObjectBuad", "0");
        row("txtMaxofSensor", "40");
        row("txtCommand", "");
        row("txtState", "");
        row("txtSn", "");
    }
    void designed_text()
    {
        QFETCH(QString, text);
        const QWidget* w = control(QTest::currentDataTag());
        QVERIFY(w);
        QCOMPARE(shownText(w), text);
    }

    void tool_tip_data()
    {
        QTest::addColumn<QString>("toolTip");
        // Each lamp says what its colour means.
        QTest::newRow("imgConnected") << QStringLiteral("数据采集通讯状态指示：绿灯，命令已发出或应答正确");
        QTest::newRow("ImgYellow")
            << QStringLiteral("数据采集通讯状态指示：黄灯，正在读取温度（请求已发出，等待应答）");
        QTest::newRow("imgNotConnected")
            << QStringLiteral("数据采集通讯状态指示：红灯，串口未打开、应答有误或3秒内未收到应答");
        QTest::newRow("cmdAutoSearch")
            << QStringLiteral("对选定1个或多个通道进行序列号自动搜索并写入到模块序列号存储器");
        QTest::newRow("cmdAutoInput") << QStringLiteral("操作前请确保传感器已接入到需要操作的设备指定通道");
        QTest::newRow("cmdWriteAllSn") << QStringLiteral("将文件导入的传感器序列号一次性写入到模块存储器");
        QTest::newRow("cmdReadAdd") << QString(); // no tip where none is designed
    }
    void tool_tip()
    {
        QFETCH(QString, toolTip);
        const QWidget* w = control(QTest::currentDataTag());
        QVERIFY(w);
        QCOMPARE(w->toolTip(), toolTip);
    }

    void box_alignment_data()
    {
        QTest::addColumn<bool>("centred");
        for (const char* name : {"txtStationID", "txtStartID", "txtFunID", "txtChannel", "txtDataLength",
                                 "txtSearchAdd", "txtSearchChannel", "txtSearchNum", "txtObjStationID",
                                 "txtObjChnid", "txtSta", "txtChnId", "TXTsensorID", "txtSenseSn_0",
                                 "txtSenseSn_7", "txtInputAddid", "txtObjChannelID", "txtObjSensorid"})
            QTest::newRow(name) << true;
        // Frame9's position box is the one of its three that is not centred.
        for (const char* name : {"txtSensorReadID", "txtTimerSet_0", "txtTimer5", "txtCommand", "txtSetID_0"})
            QTest::newRow(name) << false;
    }
    void box_alignment()
    {
        QFETCH(bool, centred);
        auto* edit = qobject_cast<QLineEdit*>(control(QTest::currentDataTag()));
        QVERIFY(edit);
        QCOMPARE(edit->alignment() == Qt::AlignCenter, centred);
    }

    void designed_geometry_data()
    {
        QTest::addColumn<QRect>("rect");
        const auto row = [](const char* name, int l, int t, int w, int h, bool onTabPage) {
            QTest::newRow(name) << designed(l, t, w, h, onTabPage);
        };
        row("SSTab1", 0, 0, 15645, 11295, false);
        row("Frame10", 120, 360, 11535, 735, true);
        row("Frame6", 11760, 360, 3735, 735, true);
        row("Frame3", 120, 1200, 15375, 6495, true);
        row("Frame11", 120, 7800, 7695, 1215, true);
        row("Frame18", 7920, 7800, 7575, 1215, true);
        row("frmView", 120, 600, 6375, 10455, true);
        row("Frame4", 6720, 480, 8775, 975, true);
        row("Frame9", 6720, 1800, 8775, 1095, true);
        row("Frame13", 6720, 3360, 8775, 1215, true);
        row("Frame16", 6720, 4920, 8835, 3915, true);
        row("Frame5", 360, 840, 14655, 1215, true);
        row("Frame12", 360, 2280, 7815, 2295, true);
        row("Frame7", 8280, 2280, 6735, 2295, true);
        row("Frame17", 360, 4680, 14655, 3855, true);
        row("Frame1", 120, 11640, 15375, 1815, false);
        row("txtCommand", 1080, 240, 10575, 315, false);
        row("txtState", 120, 600, 15135, 1095, false);
        row("txtShowID", 240, 240, 375, 9495, false);
        row("txtSn", 600, 240, 5535, 9495, false);
    }
    void designed_geometry()
    {
        QFETCH(QRect, rect);
        const QWidget* w = control(QTest::currentDataTag());
        QVERIFY(w);
        QCOMPARE(w->geometry(), rect);
    }

    void frames_sit_where_designed()
    {
        QCOMPARE(form.Frame1->parentWidget(), &window); // below the tabs, not on one
        for (QGroupBox* frame : {form.Frame10, form.Frame6, form.Frame3, form.Frame11, form.Frame18})
            QCOMPARE(frame->parentWidget(), form.tabPages[0]);
        for (QGroupBox* frame : {form.frmView, form.Frame4, form.Frame9, form.Frame13, form.Frame16})
            QCOMPARE(frame->parentWidget(), form.tabPages[1]);
        for (QGroupBox* frame : {form.Frame5, form.Frame12, form.Frame7, form.Frame17})
            QCOMPARE(frame->parentWidget(), form.tabPages[2]);
        QCOMPARE(form.Frame2->parentWidget(), form.Frame16);
        QCOMPARE(form.Picture3->parentWidget(), form.tabPages[3]);
        QVERIFY(form.Frame3->title().isEmpty());
        QVERIFY(form.Frame3->isFlat());
    }

    void label_names_its_box_data()
    {
        QTest::addColumn<QString>("box");
        const auto row = [](const char* label, const char* box) {
            QTest::newRow(label) << QString::fromLatin1(box);
        };
        row("Label8_0", "txtStationID");
        row("Label8_1", "txtStartID");
        row("Label8_3", "txtFunID");
        row("Label8_5", "txtChannel");
        row("Label8_2", "txtDataLength");
        row("Label8_4", "txtTimerSet_0");
        row("Label8_6", "txtTimerSet_1");
        row("Label2_16", "txtSearchAdd");
        row("Label2_5", "txtSearchChannel");
        row("Label2_17", "txtSearchNum");
        row("Label2_3", "txtObjStationID");
        row("Label2_2", "txtObjChnid");
        row("Label2_4", "txtSensorReadID");
        row("Label2_0", "txtSta");
        row("Label2_9", "txtChnId");
        row("Label2_6", "TXTsensorID");
        row("Label2_15", "txtSenseSn_0");
        row("Label11", "txtSenseSn_0");
        row("Label2_1", "txtInputAddid");
        row("Label2_18", "txtObjChannelID");
        row("Label2_14", "txtObjSensorid");
        row("Label14", "txtTimer5");
        row("Label3", "Combo1");
        row("Label5_2", "Combo2");
        row("lblCurrentAdd", "txtCurrentAdd");
        row("lblChangeAddress", "txtSetID_1");
        row("lblCurrentBuad", "txtCurrentBuad");
        row("lblObjectBuad", "txtObjectBuad");
        row("Label5_1", "txtModuleNum");
        row("Label13", "txtDoADDress");
        row("Label12_0", "txtChnnelNum");
        row("Label5_4", "txtMaxofSensor");
        row("Label7", "txtCommand");
        row("lblValue1_0", "txtValue1_0");
        row("lblValue10_0", "txtValue10_0");
    }
    void label_names_its_box()
    {
        QFETCH(QString, box);
        auto* label = qobject_cast<QLabel*>(control(QTest::currentDataTag()));
        QVERIFY(label);
        QVERIFY2(label->buddy(), "label has no buddy");
        QCOMPARE(label->buddy()->objectName(), box);
        // The label sits in the same frame as its box.
        QCOMPARE(label->parentWidget(), label->buddy()->parentWidget());
    }

    void tabs_in_one_row_with_about_selected()
    {
        const QStringList captions{QStringLiteral("数据查询"), QStringLiteral("传感器操作"),
                                   QStringLiteral("仪器设置"), QStringLiteral("关于软件")};
        QCOMPARE(form.SSTab1->count(), captions.size());
        QTabBar* bar = form.SSTab1->tabBar();
        for (int i = 0; i < captions.size(); ++i) {
            QCOMPARE(form.SSTab1->tabText(i), captions[i]);
            QCOMPARE(form.SSTab1->widget(i), form.tabPages[i]);
            QCOMPARE(bar->tabRect(i).top(), bar->tabRect(0).top());
            QVERIFY(bar->tabRect(i).right() < form.SSTab1->width());
        }
        QCOMPARE(form.SSTab1->currentIndex(), 3);
    }

    void lamps_stacked_with_red_in_front()
    {
        const QList<QLabel*> lamps{form.imgConnected, form.ImgYellow, form.imgNotConnected};
        for (QLabel* lamp : lamps) {
            QCOMPARE(lamp->parentWidget(), form.Picture2);
            QCOMPARE(lamp->geometry(), form.imgNotConnected->geometry());
            QCOMPARE(lamp->size(), QSize(16, 16));
            QVERIFY(!lamp->pixmap().isNull());
        }
        QVERIFY(form.Picture2->rect().contains(form.imgNotConnected->geometry()));
        QCOMPARE(form.Picture2->childAt(form.imgNotConnected->geometry().center()), form.imgNotConnected);

        // Each lamp shows its own colour at its centre.
        const auto centre = [](const QLabel* lamp) {
            const QImage image = lamp->pixmap().toImage();
            return image.pixelColor(image.width() / 2, image.height() / 2 + 2);
        };
        const QColor green = centre(form.imgConnected);
        const QColor yellow = centre(form.ImgYellow);
        const QColor red = centre(form.imgNotConnected);
        QVERIFY(green.green() > 2 * green.red() && green.green() > 2 * green.blue());
        QVERIFY(yellow.red() > 2 * yellow.blue() && yellow.green() > 2 * yellow.blue());
        QVERIFY(red.red() > 2 * red.green() && red.red() > 2 * red.blue());
    }

    void combo_lists_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("text");
        QStringList ports;
        for (int n = 1; n <= 25; ++n)
            ports << QStringLiteral("COM%1").arg(n);
        QTest::newRow("Combo1") << ports << QStringLiteral("COM4");
        QTest::newRow("Combo2") << QStringList{QStringLiteral("4800"), QStringLiteral("9600"),
                                               QStringLiteral("14400"), QStringLiteral("19200")}
                                << QStringLiteral("9600");
    }
    void combo_lists()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, text);
        auto* combo = qobject_cast<QComboBox*>(control(QTest::currentDataTag()));
        QVERIFY(combo);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
        QCOMPARE(shown, items);
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->currentIndex(), -1); // designed text, no entry chosen
        QCOMPARE(combo->currentText(), text);
    }

    void timers_in_designed_state_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("interval");
        QTest::newRow("Timer2") << false << 3000;
        QTest::newRow("Timer7") << false << 1000;
        QTest::newRow("Timer5") << true << 0;
    }
    void timers_in_designed_state()
    {
        QFETCH(bool, enabled);
        QFETCH(int, interval);
        auto* timer = window.findChild<IntervalTimer*>(QLatin1String(QTest::currentDataTag()));
        QVERIFY(timer);
        QCOMPARE(timer->parent(), &window);
        QCOMPARE(timer->Enabled(), enabled);
        QCOMPARE(timer->Interval(), interval);
        QVERIFY(!timer->isTicking());
    }

    void timer_members_are_the_named_timers()
    {
        QCOMPARE(form.Timer2, window.findChild<IntervalTimer*>(QStringLiteral("Timer2")));
        QCOMPARE(form.Timer7, window.findChild<IntervalTimer*>(QStringLiteral("Timer7")));
        QCOMPARE(form.Timer5, window.findChild<IntervalTimer*>(QStringLiteral("Timer5")));
    }

    void value_group_designed_element_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("valueTop");
        QTest::addColumn<int>("labelWidth");
        for (int g = 1; g <= ValueGroupCount; ++g) {
            const int top = (g == 4 || g == 9) ? 360 : g == 7 ? 240 : 300;
            QTest::addRow("group %d", g) << g << top << (g == 10 ? 375 : 255);
        }
    }
    void value_group_designed_element()
    {
        QFETCH(int, group);
        QFETCH(int, valueTop);
        QFETCH(int, labelWidth);
        QGroupBox* frame = form.FrameShow[group - 1];
        QCOMPARE(frame->title(), QStringLiteral("温度组%1").arg(group));
        QCOMPARE(frame->parentWidget(), form.Frame3);
        QCOMPARE(frame->y(), 0);
        QCOMPARE(frame->height(), 6315 / Twips);

        const QVector<QLineEdit*>& values = form.txtValue[group - 1];
        const QVector<QLabel*>& labels = form.lblValue[group - 1];
        QCOMPARE(values.size(), 1);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(values[0]->objectName(), QStringLiteral("txtValue%1_0").arg(group));
        QCOMPARE(labels[0]->objectName(), QStringLiteral("lblValue%1_0").arg(group));
        QCOMPARE(values[0]->parentWidget(), frame);
        QCOMPARE(labels[0]->parentWidget(), frame);
        QCOMPARE(values[0]->geometry(), designed(420, valueTop, 735, 270, false));
        QCOMPARE(labels[0]->geometry(), designed(120, 300, labelWidth, 255, false));
        QCOMPARE(values[0]->text(), QStringLiteral("0"));
        QCOMPARE(labels[0]->text(), QStringLiteral("1#"));
        QCOMPARE(values[0]->palette().color(QPalette::Text), QColor(0, 0, 0));
    }

    void value_groups_spread_evenly_across_the_grid()
    {
        const int width = form.FrameShow[0]->width();
        for (int k = 1; k < ValueGroupCount; ++k) {
            QVERIFY(qAbs(form.FrameShow[k]->width() - width) <= 1);
            QVERIFY(form.FrameShow[k]->x() > form.FrameShow[k - 1]->geometry().right());
        }
        QVERIFY(form.FrameShow[0]->x() > 0);
        QVERIFY(form.FrameShow[ValueGroupCount - 1]->geometry().right() < form.Frame3->width());
    }

    void status_boxes()
    {
        QVERIFY(form.txtState->isReadOnly());
        QCOMPARE(form.txtState->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(form.txtCommand->isReadOnly());
        QVERIFY(form.txtSn->isReadOnly());
        QVERIFY(form.txtShowID->isReadOnly());
        QVERIFY(!form.txtStationID->isReadOnly()); // the operator's boxes stay editable
    }

    void about_page()
    {
        QVERIFY(!form.Picture3->pixmap().isNull());
        QVERIFY(form.Label4->text().contains(QLatin1String("MODBUS-RTU")));
        for (QLabel* line : {form.Label6, form.Label9[0], form.Label9[1], form.Label9[2]})
            QVERIFY(!line->text().isEmpty());
        QVERIFY(form.Label4->font().pointSizeF() > form.Label7->font().pointSizeF());
    }

    // Inside every container, no two controls overlap and none reaches past
    // its container's edge (on every tab, as shown).
    void controls_neither_overlap_nor_stick_out()
    {
        // Designed to share a place: the stacked lamps; the label of group 10,
        // 120 twips wider than the gap to its value box; and the position
        // column, which reaches 15 twips into the observation window beside it.
        const QSet<QString> stacked{QStringLiteral("imgConnected"), QStringLiteral("ImgYellow"),
                                    QStringLiteral("imgNotConnected")};
        const QList<QSet<QString>> designedOverlaps{
            stacked,
            {QStringLiteral("lblValue10_0"), QStringLiteral("txtValue10_0")},
            {QStringLiteral("txtShowID"), QStringLiteral("txtSn")},
        };
        const auto mayOverlap = [&](const QString& a, const QString& b) {
            return std::any_of(designedOverlaps.cbegin(), designedOverlaps.cend(),
                               [&](const QSet<QString>& set) { return set.contains(a) && set.contains(b); });
        };

        // A page gets its size when first shown.
        for (int i = 0; i < form.SSTab1->count(); ++i) {
            form.SSTab1->setCurrentIndex(i);
            QCoreApplication::processEvents();
        }
        form.SSTab1->setCurrentIndex(3);
        QCOMPARE(form.tabPages[0]->size(), form.tabPages[3]->size());

        QHash<QWidget*, QList<QWidget*>> byParent;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            if (isPlacedControl(w))
                byParent[w->parentWidget()].append(w);
        }
        QVERIFY(byParent.size() > 20);
        for (auto it = byParent.cbegin(); it != byParent.cend(); ++it) {
            QWidget* parent = it.key();
            const QList<QWidget*>& children = it.value();
            for (QWidget* child : children) {
                QVERIFY2(parent->rect().contains(child->geometry()),
                         qPrintable(child->objectName() + QLatin1String(" sticks out of ") +
                                    parent->objectName()));
            }
            for (int i = 0; i < children.size(); ++i) {
                for (int j = i + 1; j < children.size(); ++j) {
                    const QString a = children[i]->objectName();
                    const QString b = children[j]->objectName();
                    if (mayOverlap(a, b))
                        continue;
                    QVERIFY2(!children[i]->geometry().intersects(children[j]->geometry()),
                             qPrintable(a + QLatin1String(" overlaps ") + b));
                }
            }
        }
    }

    // Captions fit their controls in the window's font (needs a CJK font).
    void captions_fit()
    {
        if (!QFontMetrics(window.font()).inFontUcs4(0x6E29))
            QSKIP("no CJK font installed");
        for (QWidget* w : window.findChildren<QWidget*>()) {
            if (!isPlacedControl(w))
                continue;
            const QFontMetrics fm(w->font());
            const QString name = w->objectName();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                // The value cells' "1#" labels keep their designed 255 twips,
                // a pixel short of what this font needs for "1#".
                if (label->text().isEmpty() || name.startsWith(QLatin1String("lblValue")))
                    continue;
                const QRect needed =
                    fm.boundingRect(QRect(0, 0, label->width(), 10000),
                                    label->wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine, label->text());
                QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                         qPrintable(name +
                                    QStringLiteral(" needs %1x%2").arg(needed.width()).arg(needed.height())));
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                QVERIFY2(fm.horizontalAdvance(button->text()) + 8 <= button->width(), qPrintable(name));
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                QVERIFY2(fm.horizontalAdvance(group->title()) + 20 <= group->width(), qPrintable(name));
            }
        }
    }

    // One conversion for the form's whole twips and the value grid's fractional ones.
    void twips_to_pixels_data()
    {
        QTest::addColumn<float>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("frame width") << 15375.0f << 1025;
        QTest::newRow("box left") << 420.0f << 28;
        QTest::newRow("ten-group width") << 1437.5f << 96;
        QTest::newRow("gap of ten") << 1000.0f / 11 << 6;
        QTest::newRow("half rounds up") << 7.5f << 1;
        QTest::newRow("below half") << 7.4f << 0;
        QTest::newRow("zero") << 0.0f << 0;
    }
    void twips_to_pixels()
    {
        QFETCH(float, twips);
        QFETCH(int, pixels);
        QCOMPARE(form::twipsToPixels(twips), pixels);
    }

    // Every way a table and its members can disagree is named; setupUi turns
    // any of these into a fatal error.
    void form_mismatches_are_named_data()
    {
        QTest::addColumn<form::Description>("description");
        QTest::addColumn<QStringList>("problems");
        using form::Kind;
        const auto with = [](const std::function<void(form::Description&)>& change) {
            form::Description d = smallWindow();
            change(d);
            return d;
        };
        const auto row = [](form::Description& d, const char* name) -> form::Row& {
            return *std::find_if(d.rows.begin(), d.rows.end(),
                                 [name](const form::Row& r) { return qstrcmp(r.name, name) == 0; });
        };

        QTest::newRow("matching, sparse array") << smallWindow() << QStringList{};
        QTest::newRow("member without a row") << with([](form::Description& d) { d.rows.pop_back(); })
                                              << QStringList{"Label1: no control of this name"};
        QTest::newRow("parent not built before it")
            << with([&](form::Description& d) { row(d, "Label1").parent = "Frame2"; })
            << QStringList{"Label1: parent Frame2 is not built before it", "Label1: no control of this name"};
        QTest::newRow("buddy naming no control")
            << with([&](form::Description& d) { row(d, "lblLabels_0").buddy = "txtUser"; })
            << QStringList{"lblLabels_0: buddy txtUser names no control"};
        QTest::newRow("buddy on no label")
            << with([&](form::Description& d) { row(d, "txtUserName").buddy = "Label1"; })
            << QStringList{"txtUserName: has a buddy but is no label"};
        QTest::newRow("kind not the member's type")
            << with([&](form::Description& d) { row(d, "Label1").kind = Kind::LineEdit; })
            << QStringList{"Label1: a QLineEdit, bound as QLabel"};
        QTest::newRow("name used twice")
            << with([](form::Description& d) { d.rows.push_back(d.rows.front()); })
            << QStringList{"Frame1: name used twice"};
        QTest::newRow("timer named like a control") << with([](form::Description& d) {
            d.timers.push_back({"Label1", true, 0});
        }) << QStringList{"Label1: name used twice"};
        QTest::newRow("array without elements")
            << with([&](form::Description& d) {
                   row(d, "lblLabels_0").name = "lblLabel_0";
                   row(d, "lblLabels_1").name = "lblLabel_1";
               })
            << QStringList{"lblLabels: no element of this control array",
                           "lblLabel_0: no member is bound to it", "lblLabel_1: no member is bound to it"};
        QTest::newRow("element beyond the array")
            << with([&](form::Description& d) { row(d, "lblLabels_1").name = "lblLabels_3"; })
            << QStringList{"lblLabels_3: no member is bound to it"};
        QTest::newRow("tab page off a tab control") << with([](form::Description& d) {
            d.rows.push_back({"page", Kind::TabPage, "Frame1", "页", 0, 0, 0, 0});
        }) << QStringList{"page: a tab page off a tab control"};
        QTest::newRow("first tab no tab page") << with([](form::Description& d) { d.firstTab = "Frame1"; })
                                               << QStringList{"Frame1: the tab shown first is no tab page"};
    }
    void form_mismatches_are_named()
    {
        QFETCH(form::Description, description);
        QFETCH(QStringList, problems);
        QWidget small;
        form::Binder built = form::build(&small, description);
        SmallForm members;
        members.bind(built);
        QCOMPARE(built.problems(), problems);
    }
};

QTEST_MAIN(TestForm)
#include "test_form.moc"
