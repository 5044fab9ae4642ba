// The main window as data: caption, icon, size, every control with its
// caption or text, tool tip and geometry, and the timers. MainWindowForm::setupUi
// builds the window from this and binds its members.
//
// Geometry is in twips (15 per pixel), relative to the parent; on a tab page,
// Tops count from the top of the tab control (see form::TabBarTwips). Rows come
// in the order the operator tabs through them: each label stands just before the
// box it names. Where the form's sizes give no position, controls sit on a
// common grid per frame: labels at the left of their boxes, buttons in a row.

#include "main_window_form.h"

#include <iterator>

namespace {

using form::AboutFont;
using form::Centred;
using form::Kind;
using form::None;
using form::NumberColumn;
using form::ReadOnly;
using form::ScrollBarAlways;
using form::WordWrap;

constexpr const char* ComPorts = "COM1|COM2|COM3|COM4|COM5|COM6|COM7|COM8|COM9|COM10|COM11|COM12|COM13|"
                                 "COM14|COM15|COM16|COM17|COM18|COM19|COM20|COM21|COM22|COM23|COM24|COM25";
constexpr const char* BaudRates = "4800|9600|14400|19200";
// Each lamp says what its colour means.
constexpr const char* GreenLampTip = "数据采集通讯状态指示：绿灯，命令已发出或应答正确";
constexpr const char* YellowLampTip = "数据采集通讯状态指示：黄灯，正在读取温度（请求已发出，等待应答）";
constexpr const char* RedLampTip = "数据采集通讯状态指示：红灯，串口未打开、应答有误或3秒内未收到应答";
constexpr const char* SensorHint = "操作前请确保传感器已接入到需要操作的设备指定通道";
constexpr unsigned Value = form::ValueText;

const form::Row rows[] = {
    {"SSTab1", Kind::TabControl, "", nullptr, 0, 0, 15645, 11295},
    {"tabPages_0", Kind::TabPage, "SSTab1", "数据查询", 0, 0, 0, 0},
    {"tabPages_1", Kind::TabPage, "SSTab1", "传感器操作", 0, 0, 0, 0},
    {"tabPages_2", Kind::TabPage, "SSTab1", "仪器设置", 0, 0, 0, 0},
    {"tabPages_3", Kind::TabPage, "SSTab1", "关于软件", 0, 0, 0, 0},

    // Tab 1: data query. Five label/box pairs 2280 twips apart.
    {"Frame10", Kind::Group, "tabPages_0", "MODBUS设置", 120, 360, 11535, 735},
    {"Label8_0", Kind::Label, "Frame10", "设备地址", 240, 300, 840, 315, None, "txtStationID"},
    {"txtStationID", Kind::LineEdit, "Frame10", "2", 1140, 300, 960, 315, Centred},
    {"Label8_1", Kind::Label, "Frame10", "超始地址", 2520, 300, 840, 315, None, "txtStartID"},
    {"txtStartID", Kind::LineEdit, "Frame10", "1", 3420, 300, 960, 315, Centred},
    {"Label8_3", Kind::Label, "Frame10", "功 能 码", 4800, 300, 840, 315, None, "txtFunID"},
    {"txtFunID", Kind::LineEdit, "Frame10", "3", 5700, 300, 960, 315, Centred},
    {"Label8_5", Kind::Label, "Frame10", "通道号", 7080, 300, 840, 315, None, "txtChannel"},
    {"txtChannel", Kind::LineEdit, "Frame10", "4", 7980, 300, 960, 315, Centred},
    {"Label8_2", Kind::Label, "Frame10", "数据长度", 9360, 300, 840, 315, None, "txtDataLength"},
    {"txtDataLength", Kind::LineEdit, "Frame10", "2", 10260, 300, 960, 315, Centred},

    // The three lamps share one place; the one raised last is the one seen.
    {"Frame6", Kind::Group, "tabPages_0", "运行状态指示", 11760, 360, 3735, 735},
    {"Picture2", Kind::Panel, "Frame6", nullptr, 360, 300, 300, 300},
    {"imgConnected", Kind::Lamp, "Picture2", ":/form/lamp_green.png", 30, 30, 240, 240, None, nullptr,
     GreenLampTip},
    {"ImgYellow", Kind::Lamp, "Picture2", ":/form/lamp_yellow.png", 30, 30, 240, 240, None, nullptr,
     YellowLampTip},
    {"imgNotConnected", Kind::Lamp, "Picture2", ":/form/lamp_red.png", 30, 30, 240, 240, None, nullptr,
     RedLampTip},
    {"lblCounter", Kind::Label, "Frame6", "0", 960, 300, 2400, 300, Centred},

    // The value grid: element 0 of each group's cells as the form places it; the grid
    // layout spreads the groups and adds the other cells at start-up.
    {"Frame3", Kind::BareGroup, "tabPages_0", nullptr, 120, 1200, 15375, 6495},
    {"FrameShow_0", Kind::Group, "Frame3", "温度组1", 91, 0, 1438, 6315},
    {"lblValue1_0", Kind::Label, "FrameShow_0", "1#", 120, 300, 255, 255, None, "txtValue1_0"},
    {"txtValue1_0", Kind::LineEdit, "FrameShow_0", "0", 420, 300, 735, 270, Value},
    {"FrameShow_1", Kind::Group, "Frame3", "温度组2", 1619, 0, 1438, 6315},
    {"lblValue2_0", Kind::Label, "FrameShow_1", "1#", 120, 300, 255, 255, None, "txtValue2_0"},
    {"txtValue2_0", Kind::LineEdit, "FrameShow_1", "0", 420, 300, 735, 270, Value},
    {"FrameShow_2", Kind::Group, "Frame3", "温度组3", 3148, 0, 1438, 6315},
    {"lblValue3_0", Kind::Label, "FrameShow_2", "1#", 120, 300, 255, 255, None, "txtValue3_0"},
    {"txtValue3_0", Kind::LineEdit, "FrameShow_2", "0", 420, 300, 735, 270, Value},
    {"FrameShow_3", Kind::Group, "Frame3", "温度组4", 4676, 0, 1438, 6315},
    {"lblValue4_0", Kind::Label, "FrameShow_3", "1#", 120, 300, 255, 255, None, "txtValue4_0"},
    {"txtValue4_0", Kind::LineEdit, "FrameShow_3", "0", 420, 360, 735, 270, Value},
    {"FrameShow_4", Kind::Group, "Frame3", "温度组5", 6205, 0, 1438, 6315},
    {"lblValue5_0", Kind::Label, "FrameShow_4", "1#", 120, 300, 255, 255, None, "txtValue5_0"},
    {"txtValue5_0", Kind::LineEdit, "FrameShow_4", "0", 420, 300, 735, 270, Value},
    {"FrameShow_5", Kind::Group, "Frame3", "温度组6", 7733, 0, 1438, 6315},
    {"lblValue6_0", Kind::Label, "FrameShow_5", "1#", 120, 300, 255, 255, None, "txtValue6_0"},
    {"txtValue6_0", Kind::LineEdit, "FrameShow_5", "0", 420, 300, 735, 270, Value},
    {"FrameShow_6", Kind::Group, "Frame3", "温度组7", 9261, 0, 1438, 6315},
    {"lblValue7_0", Kind::Label, "FrameShow_6", "1#", 120, 300, 255, 255, None, "txtValue7_0"},
    {"txtValue7_0", Kind::LineEdit, "FrameShow_6", "0", 420, 240, 735, 270, Value},
    {"FrameShow_7", Kind::Group, "Frame3", "温度组8", 10790, 0, 1438, 6315},
    {"lblValue8_0", Kind::Label, "FrameShow_7", "1#", 120, 300, 255, 255, None, "txtValue8_0"},
    {"txtValue8_0", Kind::LineEdit, "FrameShow_7", "0", 420, 300, 735, 270, Value},
    {"FrameShow_8", Kind::Group, "Frame3", "温度组9", 12318, 0, 1438, 6315},
    {"lblValue9_0", Kind::Label, "FrameShow_8", "1#", 120, 300, 255, 255, None, "txtValue9_0"},
    {"txtValue9_0", Kind::LineEdit, "FrameShow_8", "0", 420, 360, 735, 270, Value},
    {"FrameShow_9", Kind::Group, "Frame3", "温度组10", 13847, 0, 1438, 6315},
    {"lblValue10_0", Kind::Label, "FrameShow_9", "1#", 120, 300, 375, 255, None, "txtValue10_0"},
    {"txtValue10_0", Kind::LineEdit, "FrameShow_9", "0", 420, 300, 735, 270, Value},

    {"Frame11", Kind::Group, "tabPages_0", "单通道操作", 120, 7800, 7695, 1215},
    {"Label8_4", Kind::Label, "Frame11", "定时时长(ms)", 240, 480, 1200, 315, None, "txtTimerSet_0"},
    {"txtTimerSet_0", Kind::LineEdit, "Frame11", "1000", 1500, 480, 960, 315},
    {"comDoOnce", Kind::Button, "Frame11", "单次", 2820, 450, 1200, 375},
    {"cmdOneM", Kind::Button, "Frame11", "循环", 4260, 450, 1200, 375},
    {"cmdStopOnce", Kind::Button, "Frame11", "停止", 5700, 450, 1200, 375},

    {"Frame18", Kind::Group, "tabPages_0", "10通道操作", 7920, 7800, 7575, 1215},
    {"Label8_6", Kind::Label, "Frame18", "定时时长(ms)", 240, 480, 1200, 315, None, "txtTimerSet_1"},
    {"txtTimerSet_1", Kind::LineEdit, "Frame18", "3000", 1500, 480, 960, 315},
    {"cmdOnceDo1", Kind::Button, "Frame18", "单次", 2820, 450, 1200, 375},
    {"CmdReadDataCircle", Kind::Button, "Frame18", "循 坏", 4260, 450, 1200, 375},
    {"cmdStopCircle", Kind::Button, "Frame18", "停止", 5700, 450, 1200, 375},

    // Tab 2: sensor operations. Frames 4, 9, 13 and 16 share their columns:
    // boxes at 900, 2820 and 4800, buttons from 5880.
    {"frmView", Kind::Group, "tabPages_1", "状态观察窗", 120, 600, 6375, 10455},
    {"txtShowID", Kind::RichText, "frmView", nullptr, 240, 240, 375, 9495, ReadOnly | NumberColumn},
    {"txtSn", Kind::RichText, "frmView", nullptr, 600, 240, 5535, 9495, ReadOnly},
    {"cmdClearSn", Kind::Button, "frmView", "清空观察窗", 4335, 9840, 1800, 435},

    {"Frame4", Kind::Group, "tabPages_1", "传感器序列号自动搜索", 6720, 480, 8775, 975},
    {"Label2_16", Kind::Label, "Frame4", "地址", 240, 360, 600, 315, None, "txtSearchAdd"},
    {"txtSearchAdd", Kind::LineEdit, "Frame4", "1", 900, 360, 840, 315, Centred},
    {"Label2_5", Kind::Label, "Frame4", "通道号", 2040, 360, 720, 315, None, "txtSearchChannel"},
    {"txtSearchChannel", Kind::LineEdit, "Frame4", "1", 2820, 360, 840, 315, Centred},
    {"Label2_17", Kind::Label, "Frame4", "通道数", 3900, 360, 840, 315, None, "txtSearchNum"},
    {"txtSearchNum", Kind::LineEdit, "Frame4", "1", 4800, 360, 840, 315, Centred},
    {"cmdAutoSearch", Kind::Button, "Frame4", "自动搜索", 5880, 330, 1500, 375, None, nullptr,
     "对选定1个或多个通道进行序列号自动搜索并写入到模块序列号存储器"},

    {"Frame9", Kind::Group, "tabPages_1", "写传感器序列号", 6720, 1800, 8775, 1095},
    {"Label2_3", Kind::Label, "Frame9", "地址", 240, 300, 600, 315, None, "txtObjStationID"},
    {"txtObjStationID", Kind::LineEdit, "Frame9", "1", 900, 300, 840, 315, Centred},
    {"Label2_2", Kind::Label, "Frame9", "通道号", 2040, 300, 720, 315, None, "txtObjChnid"},
    {"txtObjChnid", Kind::LineEdit, "Frame9", "1", 2820, 300, 840, 315, Centred},
    {"Label2_4", Kind::Label, "Frame9", "位置编号", 3900, 300, 840, 315, None, "txtSensorReadID"},
    {"txtSensorReadID", Kind::LineEdit, "Frame9", "1", 4800, 300, 840, 315},
    {"cmdAutoInput", Kind::Button, "Frame9", "手动读入", 5880, 270, 1500, 375, None, nullptr, SensorHint},
    {"Label2_10", Kind::Label, "Frame9", SensorHint, 240, 720, 7200, 255},

    {"Frame13", Kind::Group, "tabPages_1", "读传感器序列号", 6720, 3360, 8775, 1215},
    {"Label2_0", Kind::Label, "Frame13", "地址", 240, 480, 600, 315, None, "txtSta"},
    {"txtSta", Kind::LineEdit, "Frame13", "01", 900, 480, 840, 315, Centred},
    {"Label2_9", Kind::Label, "Frame13", "通道号", 2040, 480, 720, 315, None, "txtChnId"},
    {"txtChnId", Kind::LineEdit, "Frame13", "01", 2820, 480, 840, 315, Centred},
    {"Label2_6", Kind::Label, "Frame13", "读取总数", 3900, 480, 840, 315, None, "TXTsensorID"},
    {"TXTsensorID", Kind::LineEdit, "Frame13", "16", 4800, 480, 840, 315, Centred},
    {"cmdReadSensorID", Kind::Button, "Frame13", "读序列号", 5880, 450, 1260, 375},
    {"cmdSaveSn", Kind::Button, "Frame13", "保存序列号", 7260, 450, 1320, 375},

    {"Frame16", Kind::Group, "tabPages_1", "批量导入序列号到设备", 6720, 4920, 8835, 3915},
    {"Frame2", Kind::Group, "Frame16", "序列号校对窗口", 240, 300, 8355, 1575},
    {"Label2_15", Kind::Label, "Frame2", "64位一线传感器序列号", 240, 360, 2280, 315, None, "txtSenseSn_0"},
    {"Label11", Kind::Label, "Frame2", "(十六进制)", 240, 900, 2280, 315, None, "txtSenseSn_0"},
    {"txtSenseSn_0", Kind::LineEdit, "Frame2", "40", 2760, 360, 1080, 315, Centred},
    {"txtSenseSn_1", Kind::LineEdit, "Frame2", "0", 4080, 360, 1080, 315, Centred},
    {"txtSenseSn_2", Kind::LineEdit, "Frame2", "0", 5400, 360, 1080, 315, Centred},
    {"txtSenseSn_3", Kind::LineEdit, "Frame2", "0", 6720, 360, 1080, 315, Centred},
    {"txtSenseSn_4", Kind::LineEdit, "Frame2", "0", 2760, 900, 1080, 315, Centred},
    {"txtSenseSn_5", Kind::LineEdit, "Frame2", "0", 4080, 900, 1080, 315, Centred},
    {"txtSenseSn_6", Kind::LineEdit, "Frame2", "0", 5400, 900, 1080, 315, Centred},
    {"txtSenseSn_7", Kind::LineEdit, "Frame2", "0", 6720, 900, 1080, 315, Centred},
    {"Label2_1", Kind::Label, "Frame16", "地址", 240, 2220, 600, 315, None, "txtInputAddid"},
    {"txtInputAddid", Kind::LineEdit, "Frame16", "1", 900, 2220, 840, 315, Centred},
    {"Label2_18", Kind::Label, "Frame16", "通道号", 2040, 2220, 720, 315, None, "txtObjChannelID"},
    {"txtObjChannelID", Kind::LineEdit, "Frame16", "01", 2820, 2220, 840, 315, Centred},
    {"Label2_14", Kind::Label, "Frame16", "传感器序号", 3840, 2220, 900, 315, None, "txtObjSensorid"},
    {"txtObjSensorid", Kind::LineEdit, "Frame16", "01", 4800, 2220, 840, 315, Centred},
    {"Label14", Kind::Label, "Frame16", "定时时长", 5880, 2220, 840, 315, None, "txtTimer5"},
    {"txtTimer5", Kind::LineEdit, "Frame16", "600", 6780, 2220, 840, 315},
    {"cmdOpenFile", Kind::Button, "Frame16", "从文件导入", 240, 3000, 1440, 450},
    {"cmdFirst", Kind::Button, "Frame16", "第一个", 1920, 3000, 1440, 450},
    {"cmdWriteNext", Kind::Button, "Frame16", "下一个", 3600, 3000, 1440, 450},
    {"cmdWriteAllSn", Kind::Button, "Frame16", "自动导入", 5280, 3000, 1440, 450, None, nullptr,
     "将文件导入的传感器序列号一次性写入到模块存储器"},
    {"cmdStopWrite", Kind::Button, "Frame16", "停止导入", 6960, 3000, 1440, 450},

    // Tab 3: instrument settings.
    {"Frame5", Kind::Group, "tabPages_2", "串口设置", 360, 840, 14655, 1215},
    {"Label3", Kind::Label, "Frame5", "串口号", 480, 450, 720, 345, None, "Combo1"},
    {"Combo1", Kind::Combo, "Frame5", "COM4", 1260, 450, 1500, 345, None, nullptr, nullptr, ComPorts},
    {"Label5_2", Kind::Label, "Frame5", "波特率", 3240, 450, 720, 345, None, "Combo2"},
    {"Combo2", Kind::Combo, "Frame5", "9600", 4020, 450, 1500, 345, None, nullptr, nullptr, BaudRates},
    {"cmdCom", Kind::Button, "Frame5", "保存设置", 6240, 420, 1500, 405},
    {"cmdOpenComm", Kind::Button, "Frame5", "打开端口", 8100, 420, 1500, 405},
    {"cmdCloseComm", Kind::Button, "Frame5", "关闭端口", 9960, 420, 1500, 405},
    // Beyond the form's controls: whether the port is open, and which.
    {"lblPortState", Kind::Label, "Frame5", "未打开", 11700, 450, 2760, 345},

    {"Frame12", Kind::Group, "tabPages_2", "设备ID修改操作(子功能号0x0B )", 360, 2280, 7815, 2295},
    {"cmdReadAdd", Kind::Button, "Frame12", "读取地址", 360, 420, 1320, 405},
    {"lblCurrentAdd", Kind::Label, "Frame12", "当前地址：", 2040, 465, 1080, 315, None, "txtCurrentAdd"},
    {"txtCurrentAdd", Kind::LineEdit, "Frame12", "0", 3180, 465, 840, 315},
    // Reads "[X] 将地址 改为 [Y]": the caption stands between the two boxes.
    {"txtSetID_0", Kind::LineEdit, "Frame12", "1", 360, 1020, 840, 315},
    {"lblChangeAddress", Kind::Label, "Frame12", "将地址      改为", 1320, 1020, 1440, 315, None,
     "txtSetID_1"},
    {"txtSetID_1", Kind::LineEdit, "Frame12", "1", 2820, 1020, 840, 315},
    {"cmdChangeID", Kind::Button, "Frame12", "修改", 4020, 975, 1080, 405},
    {"lblAddressHint", Kind::Label, "Frame12", "地址不允许为00,若为00，下位机不响应", 360, 1560, 7200, 255},
    {"lblAddressRange", Kind::Label, "Frame12", "设备地址的值范围为1-249,250为通配地址", 360, 1860, 7200,
     255},

    {"Frame7", Kind::Group, "tabPages_2", "波特率", 8280, 2280, 6735, 2295},
    {"lblCurrentBuad", Kind::Label, "Frame7", "当前波特率值", 360, 465, 1200, 315, None, "txtCurrentBuad"},
    {"txtCurrentBuad", Kind::LineEdit, "Frame7", "2", 1620, 465, 720, 315},
    {"lblObjectBuad", Kind::Label, "Frame7", "目标波特率值", 2640, 465, 1200, 315, None, "txtObjectBuad"},
    {"txtObjectBuad", Kind::LineEdit, "Frame7", "0", 3900, 465, 720, 315},
    {"cmdBuadRate", Kind::Button, "Frame7", "修改", 5040, 420, 1080, 405},
    {"Label1", Kind::Label, "Frame7", "值对应波特率 1-4800 2-9600 3-14400 4-19200 ", 360, 1080, 6000, 315},

    {"Frame17", Kind::Group, "tabPages_2", "模块设置", 360, 4680, 14655, 3855},
    {"Label5_1", Kind::Label, "Frame17", "模块总数", 480, 480, 2160, 315, None, "txtModuleNum"},
    {"txtModuleNum", Kind::LineEdit, "Frame17", "1", 2760, 480, 1080, 315},
    {"Label5_3", Kind::Label, "Frame17", "检测系统中存储的模块总数，本设置表示检测循环中，被检测到的模块总数",
     4200, 480, 9960, 315},
    {"Label13", Kind::Label, "Frame17", "默认操作设备地址", 480, 1080, 2160, 315, None, "txtDoADDress"},
    {"txtDoADDress", Kind::LineEdit, "Frame17", "1", 2760, 1080, 1080, 315},
    {"Label12_0", Kind::Label, "Frame17", "通道数", 480, 1680, 2160, 315, None, "txtChnnelNum"},
    {"txtChnnelNum", Kind::LineEdit, "Frame17", "1", 2760, 1680, 1080, 315},
    {"Label12_2", Kind::Label, "Frame17", "每个模块包含通道数，TQ5400K共10通道，使用几通道，此处可输入几",
     4200, 1680, 9960, 315},
    {"Label5_4", Kind::Label, "Frame17", "每个通道支持传感器数", 480, 2280, 2160, 315, None,
     "txtMaxofSensor"},
    {"txtMaxofSensor", Kind::LineEdit, "Frame17", "40", 2760, 2280, 1080, 315},
    {"cmdSaveSet", Kind::Button, "Frame17", "保存设置", 2760, 2940, 1440, 450},

    // Beyond the form's controls: how the line is driven (line.set).
    {"fraLine", Kind::Group, "tabPages_2", "通讯线路", 360, 8640, 14655, 1095},
    {"lblLineSummary", Kind::Label, "fraLine", "", 480, 420, 9360, 345},
    {"cmdBusScan", Kind::Button, "fraLine", "查找模块...", 10080, 390, 1920, 405},
    {"cmdLineSettings", Kind::Button, "fraLine", "线路参数...", 12240, 390, 1920, 405},

    // Tab 4: about the software.
    {"Picture3", Kind::Image, "tabPages_3", ":/form/logo.png", 1200, 1200, 2400, 2400},
    {"Label4", Kind::Label, "tabPages_3",
     "本软件是本公司TQ5900K-64增强型温度采集模块的随机配套软件。\n"
     "软件基于标准MODBUS-RTU通讯协议开发，除用于本公司的温度采集模块外，\n"
     "也可用于采用该协议的其他模块及仪器仪表。",
     4200, 1200, 10200, 1320, WordWrap | AboutFont},
    {"Label6", Kind::Label, "tabPages_3", "生产厂家：本公司", 4200, 2700, 10200, 450, AboutFont},
    {"Label9_0", Kind::Label, "tabPages_3", "技术支持：请联系设备供应商", 4200, 3150, 10200, 450, AboutFont},
    {"Label9_1", Kind::Label, "tabPages_3", "联系地址：详见产品说明书", 4200, 3600, 10200, 450, AboutFont},
    {"Label9_2", Kind::Label, "tabPages_3", "服务电话：详见产品合格证", 4200, 4050, 10200, 450, AboutFont},
    // Filled at start-up: the version, and the folder the settings files are kept in.
    {"lblVersion", Kind::Label, "tabPages_3", "", 4200, 4500, 10200, 450, AboutFont},
    {"lblDataFolder", Kind::Label, "tabPages_3", "", 4200, 4950, 10200, 900, WordWrap},

    // Below the tabs, on the window itself.
    {"Frame1", Kind::Group, "", "命令执行状态", 120, 11640, 15375, 1815},
    {"Label7", Kind::Label, "Frame1", "发送命令:", 120, 240, 900, 315, None, "txtCommand"},
    {"txtCommand", Kind::LineEdit, "Frame1", nullptr, 1080, 240, 10575, 315, ReadOnly},
    {"txtState", Kind::PlainText, "Frame1", nullptr, 120, 600, 15135, 1095, ReadOnly | ScrollBarAlways},
};

const form::TimerRow timers[] = {
    {"Timer2", false, 3000},
    {"Timer7", false, 1000},
    {"Timer5", true, 0}, // enabled, but an interval of 0 does not tick
};

} // namespace

const form::Description& MainWindowForm::layout()
{
    static const form::Description description{
        "TQ5900K-64 增强型温度采集模块随机软件V14.11.13",
        ":/form/icon.png",
        15810,
        13470,
        {std::begin(rows), std::end(rows)},
        {std::begin(timers), std::end(timers)},
        "tabPages_3",
    };
    return description;
}
