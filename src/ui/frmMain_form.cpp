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
// Each member is bound to the control whose objectName is the member's own name.
#define BIND(member) built.bind(member, QStringLiteral(#member))
#define BIND_ARRAY(member) built.bindArray(member, #member)
    BIND(SSTab1);
    BIND_ARRAY(tabPages);

    BIND(Frame10);
    BIND_ARRAY(Label8);
    BIND(txtStationID);
    BIND(txtStartID);
    BIND(txtFunID);
    BIND(txtChannel);
    BIND(txtDataLength);
    BIND(Frame6);
    BIND(Picture2);
    BIND(imgConnected);
    BIND(ImgYellow);
    BIND(imgNotConnected);
    BIND(lblCounter);
    BIND(Frame3);
    BIND_ARRAY(FrameShow);
    for (int g = 0; g < ValueGroupCount; ++g) {
        QLineEdit* value = nullptr;
        QLabel* label = nullptr;
        built.bind(value, QStringLiteral("txtValue%1_0").arg(g + 1));
        built.bind(label, QStringLiteral("lblValue%1_0").arg(g + 1));
        txtValue[g] = {value};
        lblValue[g] = {label};
    }
    BIND(Frame11);
    BIND_ARRAY(txtTimerSet);
    BIND(comDoOnce);
    BIND(cmdOneM);
    BIND(cmdStopOnce);
    BIND(Frame18);
    BIND(cmdOnceDo1);
    BIND(CmdReadDataCircle);
    BIND(cmdStopCircle);

    BIND(frmView);
    BIND(txtShowID);
    BIND(txtSn);
    BIND(cmdClearSn);
    BIND_ARRAY(Label2);
    BIND(Frame4);
    BIND(txtSearchAdd);
    BIND(txtSearchChannel);
    BIND(txtSearchNum);
    BIND(cmdAutoSearch);
    BIND(Frame9);
    BIND(txtObjStationID);
    BIND(txtObjChnid);
    BIND(txtSensorReadID);
    BIND(cmdAutoInput);
    BIND(Frame13);
    BIND(txtSta);
    BIND(txtChnId);
    BIND(TXTsensorID);
    BIND(cmdReadSensorID);
    BIND(cmdSaveSn);
    BIND(Frame16);
    BIND(Frame2);
    BIND(Label11);
    BIND_ARRAY(txtSenseSn);
    BIND(txtInputAddid);
    BIND(txtObjChannelID);
    BIND(txtObjSensorid);
    BIND(Label14);
    BIND(txtTimer5);
    BIND(cmdOpenFile);
    BIND(cmdFirst);
    BIND(cmdWriteNext);
    BIND(cmdWriteAllSn);
    BIND(cmdStopWrite);

    BIND(Frame5);
    BIND(Label3);
    BIND(Combo1);
    BIND_ARRAY(Label5);
    BIND(Combo2);
    BIND(cmdCom);
    BIND(cmdOpenComm);
    BIND(cmdCloseComm);
    BIND(Frame12);
    BIND(cmdReadAdd);
    BIND(lblCurrentAdd);
    BIND(txtCurrentAdd);
    BIND_ARRAY(txtSetID);
    BIND(lblChangeAddress);
    BIND(cmdChangeID);
    BIND(lblAddressHint);
    BIND(lblAddressRange);
    BIND(Frame7);
    BIND(lblCurrentBuad);
    BIND(txtCurrentBuad);
    BIND(lblObjectBuad);
    BIND(txtObjectBuad);
    BIND(Label1);
    BIND(cmdBuadRate);
    BIND(Frame17);
    BIND(txtModuleNum);
    BIND(Label13);
    BIND(txtDoADDress);
    BIND_ARRAY(Label12);
    BIND(txtChnnelNum);
    BIND(txtMaxofSensor);
    BIND(cmdSaveSet);

    BIND(Picture3);
    BIND(Label4);
    BIND(Label6);
    BIND_ARRAY(Label9);

    BIND(Frame1);
    BIND(Label7);
    BIND(txtCommand);
    BIND(txtState);
#undef BIND
#undef BIND_ARRAY

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
