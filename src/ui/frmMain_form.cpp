#include "frmMain_form.h"

#include "group_box_style.h"

#include "form_layout_table.h"

#include <QHash>
#include <QIcon>
#include <QPixmap>

// The images are compiled into the library; a static library needs its
// resources registered by hand, once, from the global namespace.
static void registerFormImages()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(form_images);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

using form::Kind;
using form::Row;
using form::twipsToPixels;

QRect pixelGeometry(const Row& row, Kind parentKind)
{
    const int top = parentKind == Kind::TabPage ? row.top - form::TabBarTwips : row.top;
    return QRect(twipsToPixels(row.left), twipsToPixels(top), twipsToPixels(row.width),
                 twipsToPixels(row.height));
}

QWidget* createControl(const Row& row, QWidget* parent)
{
    const QString text = QString::fromUtf8(row.text ? row.text : "");
    const bool centred = row.flags & form::Centred;
    switch (row.kind) {
    case Kind::TabControl:
        return new QTabWidget(parent);
    case Kind::TabPage:
        return new QWidget(parent);
    case Kind::Group: {
        auto* box = new QGroupBox(text, parent);
        box->setStyle(GroupBoxStyle::instance());
        return box;
    }
    case Kind::BareGroup: {
        auto* box = new QGroupBox(parent);
        box->setFlat(true); // drawn as nothing: a bare container
        box->setStyle(GroupBoxStyle::instance());
        return box;
    }
    case Kind::Panel:
        return new QWidget(parent);
    case Kind::Label: {
        auto* label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(row.flags & form::WordWrap);
        label->setAlignment(centred ? Qt::AlignCenter
                                    : (row.flags & form::WordWrap ? Qt::AlignLeft | Qt::AlignTop
                                                                  : Qt::AlignLeft | Qt::AlignVCenter));
        return label;
    }
    case Kind::Image:
    case Kind::Lamp: {
        auto* image = new QLabel(parent);
        image->setPixmap(QPixmap(text, "PNG")); // naming the format spares probing every reader
        image->setAlignment(Qt::AlignCenter);
        return image;
    }
    case Kind::LineEdit: {
        auto* edit = new QLineEdit(text, parent);
        if (centred)
            edit->setAlignment(Qt::AlignCenter);
        edit->setReadOnly(row.flags & form::ReadOnly);
        return edit;
    }
    case Kind::Button:
        return new QPushButton(text, parent);
    case Kind::Combo: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        // A typed text stays a text; it never grows the designed list.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(QString::fromUtf8(row.items).split(QLatin1Char('|')));
        // Designed with a text but no entry chosen.
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
        return combo;
    }
    case Kind::RichText: {
        auto* edit = new QTextEdit(parent);
        edit->setReadOnly(row.flags & form::ReadOnly);
        return edit;
    }
    case Kind::PlainText: {
        auto* edit = new QPlainTextEdit(text, parent);
        edit->setReadOnly(row.flags & form::ReadOnly);
        return edit;
    }
    }
    return nullptr;
}

void applyAppearance(QWidget* w, const Row& row)
{
    if (row.toolTip)
        w->setToolTip(QString::fromUtf8(row.toolTip));
    if (row.flags & form::ScrollBarAlways) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    if (row.flags & form::AboutFont) {
        QFont font = w->font();
        font.setPointSizeF(font.pointSizeF() * 4 / 3);
        w->setFont(font);
    }
    if (row.flags & form::ValueText) {
        // The value handlers switch this colour between red and black.
        QPalette palette = w->palette();
        palette.setColor(QPalette::Text, QColor(0, 0, 0));
        w->setPalette(palette);
    }
}

// Looks up a built control by name and checks its type; a mismatch between
// the table and this struct is a programming error.
class Built
{
public:
    explicit Built(const QHash<QString, QWidget*>& controls) : m_controls(controls) {}

    template <typename T> void bind(T*& member, const QString& name) const
    {
        member = qobject_cast<T*>(m_controls.value(name));
        Q_ASSERT_X(member, "frmMainForm::setupUi", qPrintable(name));
    }

    // Control arrays: element i is "<name>_<i>"; absent indices stay null.
    template <typename T, std::size_t N> void bindArray(std::array<T*, N>& members, const char* name) const
    {
        for (std::size_t i = 0; i < N; ++i)
            members[i] = qobject_cast<T*>(m_controls.value(elementName(name, int(i))));
    }

    static QString elementName(const char* name, int index)
    {
        return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
    }

private:
    const QHash<QString, QWidget*>& m_controls;
};

} // namespace

void frmMainForm::setupUi(QWidget* window)
{
    registerFormImages();

    window->setWindowTitle(QString::fromUtf8(form::WindowCaption));
    window->resize(twipsToPixels(form::WindowWidthTwips), twipsToPixels(form::WindowHeightTwips));
    window->setWindowIcon(QIcon(QPixmap(QString::fromUtf8(form::WindowIcon), "PNG")));

    QHash<QString, QWidget*> controls;
    QHash<QString, Kind> kinds;
    for (std::size_t i = 0; i < form::rowCount; ++i) {
        const Row& row = form::rows[i];
        const QString parentName = QString::fromUtf8(row.parent);
        QWidget* parent = parentName.isEmpty() ? window : controls.value(parentName);
        Q_ASSERT_X(parent, "frmMainForm::setupUi", row.name);
        QWidget* w = createControl(row, parent);
        w->setObjectName(QString::fromUtf8(row.name));
        applyAppearance(w, row);
        if (row.kind == Kind::TabPage)
            qobject_cast<QTabWidget*>(parent)->addTab(w, QString::fromUtf8(row.text));
        else
            w->setGeometry(pixelGeometry(row, kinds.value(parentName, Kind::Panel)));
        controls.insert(w->objectName(), w);
        kinds.insert(w->objectName(), row.kind);
    }
    for (std::size_t i = 0; i < form::rowCount; ++i) {
        const Row& row = form::rows[i];
        if (row.buddy)
            qobject_cast<QLabel*>(controls.value(QString::fromUtf8(row.name)))
                ->setBuddy(controls.value(QString::fromUtf8(row.buddy)));
    }

    const Built built(controls);
    built.bind(SSTab1, QStringLiteral("SSTab1"));
    built.bindArray(tabPages, "tabPages");

    built.bind(Frame10, QStringLiteral("Frame10"));
    built.bindArray(Label8, "Label8");
    built.bind(txtStationID, QStringLiteral("txtStationID"));
    built.bind(txtStartID, QStringLiteral("txtStartID"));
    built.bind(txtFunID, QStringLiteral("txtFunID"));
    built.bind(txtChannel, QStringLiteral("txtChannel"));
    built.bind(txtDataLength, QStringLiteral("txtDataLength"));
    built.bind(Frame6, QStringLiteral("Frame6"));
    built.bind(Picture2, QStringLiteral("Picture2"));
    built.bind(imgConnected, QStringLiteral("imgConnected"));
    built.bind(ImgYellow, QStringLiteral("ImgYellow"));
    built.bind(imgNotConnected, QStringLiteral("imgNotConnected"));
    built.bind(lblCounter, QStringLiteral("lblCounter"));
    built.bind(Frame3, QStringLiteral("Frame3"));
    built.bindArray(FrameShow, "FrameShow");
    for (int g = 0; g < ValueGroupCount; ++g) {
        QLineEdit* value = nullptr;
        QLabel* label = nullptr;
        built.bind(value, QStringLiteral("txtValue%1_0").arg(g + 1));
        built.bind(label, QStringLiteral("lblValue%1_0").arg(g + 1));
        txtValue[g] = {value};
        lblValue[g] = {label};
    }
    built.bind(Frame11, QStringLiteral("Frame11"));
    built.bindArray(txtTimerSet, "txtTimerSet");
    built.bind(comDoOnce, QStringLiteral("comDoOnce"));
    built.bind(cmdOneM, QStringLiteral("cmdOneM"));
    built.bind(cmdStopOnce, QStringLiteral("cmdStopOnce"));
    built.bind(Frame18, QStringLiteral("Frame18"));
    built.bind(cmdOnceDo1, QStringLiteral("cmdOnceDo1"));
    built.bind(CmdReadDataCircle, QStringLiteral("CmdReadDataCircle"));
    built.bind(cmdStopCircle, QStringLiteral("cmdStopCircle"));

    built.bind(frmView, QStringLiteral("frmView"));
    built.bind(txtShowID, QStringLiteral("txtShowID"));
    built.bind(txtSn, QStringLiteral("txtSn"));
    built.bind(cmdClearSn, QStringLiteral("cmdClearSn"));
    built.bindArray(Label2, "Label2");
    built.bind(Frame4, QStringLiteral("Frame4"));
    built.bind(txtSearchAdd, QStringLiteral("txtSearchAdd"));
    built.bind(txtSearchChannel, QStringLiteral("txtSearchChannel"));
    built.bind(txtSearchNum, QStringLiteral("txtSearchNum"));
    built.bind(cmdAutoSearch, QStringLiteral("cmdAutoSearch"));
    built.bind(Frame9, QStringLiteral("Frame9"));
    built.bind(txtObjStationID, QStringLiteral("txtObjStationID"));
    built.bind(txtObjChnid, QStringLiteral("txtObjChnid"));
    built.bind(txtSensorReadID, QStringLiteral("txtSensorReadID"));
    built.bind(cmdAutoInput, QStringLiteral("cmdAutoInput"));
    built.bind(Frame13, QStringLiteral("Frame13"));
    built.bind(txtSta, QStringLiteral("txtSta"));
    built.bind(txtChnId, QStringLiteral("txtChnId"));
    built.bind(TXTsensorID, QStringLiteral("TXTsensorID"));
    built.bind(cmdReadSensorID, QStringLiteral("cmdReadSensorID"));
    built.bind(cmdSaveSn, QStringLiteral("cmdSaveSn"));
    built.bind(Frame16, QStringLiteral("Frame16"));
    built.bind(Frame2, QStringLiteral("Frame2"));
    built.bind(Label11, QStringLiteral("Label11"));
    built.bindArray(txtSenseSn, "txtSenseSn");
    built.bind(txtInputAddid, QStringLiteral("txtInputAddid"));
    built.bind(txtObjChannelID, QStringLiteral("txtObjChannelID"));
    built.bind(txtObjSensorid, QStringLiteral("txtObjSensorid"));
    built.bind(Label14, QStringLiteral("Label14"));
    built.bind(txtTimer5, QStringLiteral("txtTimer5"));
    built.bind(cmdOpenFile, QStringLiteral("cmdOpenFile"));
    built.bind(cmdFirst, QStringLiteral("cmdFirst"));
    built.bind(cmdWriteNext, QStringLiteral("cmdWriteNext"));
    built.bind(cmdWriteAllSn, QStringLiteral("cmdWriteAllSn"));
    built.bind(cmdStopWrite, QStringLiteral("cmdStopWrite"));

    built.bind(Frame5, QStringLiteral("Frame5"));
    built.bind(Label3, QStringLiteral("Label3"));
    built.bind(Combo1, QStringLiteral("Combo1"));
    built.bindArray(Label5, "Label5");
    built.bind(Combo2, QStringLiteral("Combo2"));
    built.bind(cmdCom, QStringLiteral("cmdCom"));
    built.bind(cmdOpenComm, QStringLiteral("cmdOpenComm"));
    built.bind(cmdCloseComm, QStringLiteral("cmdCloseComm"));
    built.bind(Frame12, QStringLiteral("Frame12"));
    built.bind(cmdReadAdd, QStringLiteral("cmdReadAdd"));
    built.bind(lblCurrentAdd, QStringLiteral("lblCurrentAdd"));
    built.bind(txtCurrentAdd, QStringLiteral("txtCurrentAdd"));
    built.bindArray(txtSetID, "txtSetID");
    built.bind(lblChangeAddress, QStringLiteral("lblChangeAddress"));
    built.bind(cmdChangeID, QStringLiteral("cmdChangeID"));
    built.bind(lblAddressHint, QStringLiteral("lblAddressHint"));
    built.bind(lblAddressRange, QStringLiteral("lblAddressRange"));
    built.bind(Frame7, QStringLiteral("Frame7"));
    built.bind(lblCurrentBuad, QStringLiteral("lblCurrentBuad"));
    built.bind(txtCurrentBuad, QStringLiteral("txtCurrentBuad"));
    built.bind(lblObjectBuad, QStringLiteral("lblObjectBuad"));
    built.bind(txtObjectBuad, QStringLiteral("txtObjectBuad"));
    built.bind(Label1, QStringLiteral("Label1"));
    built.bind(cmdBuadRate, QStringLiteral("cmdBuadRate"));
    built.bind(Frame17, QStringLiteral("Frame17"));
    built.bind(txtModuleNum, QStringLiteral("txtModuleNum"));
    built.bind(Label13, QStringLiteral("Label13"));
    built.bind(txtDoADDress, QStringLiteral("txtDoADDress"));
    built.bindArray(Label12, "Label12");
    built.bind(txtChnnelNum, QStringLiteral("txtChnnelNum"));
    built.bind(txtMaxofSensor, QStringLiteral("txtMaxofSensor"));
    built.bind(cmdSaveSet, QStringLiteral("cmdSaveSet"));

    built.bind(Picture3, QStringLiteral("Picture3"));
    built.bind(Label4, QStringLiteral("Label4"));
    built.bind(Label6, QStringLiteral("Label6"));
    built.bindArray(Label9, "Label9");

    built.bind(Frame1, QStringLiteral("Frame1"));
    built.bind(Label7, QStringLiteral("Label7"));
    built.bind(txtCommand, QStringLiteral("txtCommand"));
    built.bind(txtState, QStringLiteral("txtState"));

    QHash<QString, IntervalTimer*> timers;
    for (std::size_t i = 0; i < form::timerCount; ++i) {
        const form::TimerRow& row = form::timers[i];
        auto* timer = new IntervalTimer(window);
        timer->setObjectName(QString::fromUtf8(row.name));
        timer->setInterval(row.interval);
        timer->setEnabled(row.enabled);
        timers.insert(timer->objectName(), timer);
    }
    Timer2 = timers.value(QStringLiteral("Timer2"));
    Timer7 = timers.value(QStringLiteral("Timer7"));
    Timer5 = timers.value(QStringLiteral("Timer5"));

    SSTab1->setCurrentWidget(controls.value(QString::fromUtf8(form::SelectedTab)));
    imgNotConnected->raise(); // the red lamp shows until a request succeeds
}
