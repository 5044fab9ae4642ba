#include "form_builder.h"

#include "group_box_style.h"
#include "interval_timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <cmath>

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

namespace form {

int twipsToPixels(float twips)
{
    return int(std::lround(twips / float(TwipsPerPixel)));
}

namespace {

QRect pixelGeometry(const Row& row, Kind parentKind)
{
    const int top = parentKind == Kind::TabPage ? row.top - TabBarTwips : row.top;
    return QRect(twipsToPixels(row.left), twipsToPixels(top), twipsToPixels(row.width),
                 twipsToPixels(row.height));
}

QWidget* createControl(const Row& row, QWidget* parent)
{
    const QString text = QString::fromUtf8(row.text ? row.text : "");
    const bool centred = row.flags & Centred;
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
        label->setWordWrap(row.flags & WordWrap);
        label->setAlignment(centred ? Qt::AlignCenter
                                    : (row.flags & WordWrap ? Qt::AlignLeft | Qt::AlignTop
                                                            : Qt::AlignLeft | Qt::AlignVCenter));
        return label;
    }
    case Kind::Image:
    case Kind::Lamp: {
        auto* image = new QLabel(parent);
        image->setPixmap(QPixmap(text, "PNG")); // naming the format spares probing every reader
        image->setAlignment(Qt::AlignCenter);
        // The picture fills its control: as large as it at 100 %, and zoomed with it.
        image->setScaledContents(true);
        return image;
    }
    case Kind::LineEdit: {
        auto* edit = new QLineEdit(text, parent);
        if (centred)
            edit->setAlignment(Qt::AlignCenter);
        edit->setReadOnly(row.flags & ReadOnly);
        if (row.flags & Password) {
            edit->setEchoMode(QLineEdit::Password);
            // The style's own mask character differs between platforms.
            edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
        }
        return edit;
    }
    case Kind::Button: {
        auto* button = new QPushButton(text, parent);
        // Even inside a dialog, Enter is the window's own key handling.
        button->setAutoDefault(false);
        return button;
    }
    case Kind::CheckBox:
        return new QCheckBox(text, parent);
    case Kind::Combo: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        // A typed text stays a text; it never grows the list.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(QString::fromUtf8(row.items).split(QLatin1Char('|')));
        // Given a text but no entry chosen.
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
        return combo;
    }
    case Kind::RichText: {
        auto* edit = new QTextEdit(parent);
        edit->setReadOnly(row.flags & ReadOnly);
        return edit;
    }
    case Kind::PlainText: {
        auto* edit = new QPlainTextEdit(text, parent);
        edit->setReadOnly(row.flags & ReadOnly);
        return edit;
    }
    }
    return nullptr;
}

void applyAppearance(QWidget* w, const Row& row)
{
    if (row.toolTip)
        w->setToolTip(QString::fromUtf8(row.toolTip));
    if (row.flags & ScrollBarAlways) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    if (row.flags & AboutFont) {
        QFont font = w->font();
        font.setPointSizeF(font.pointSizeF() * 4 / 3);
        w->setFont(font);
    }
    if (row.flags & NumberColumn) {
        // Two digits must stay on one line, level with the lines of the box beside it.
        if (auto* edit = qobject_cast<QTextEdit*>(w)) {
            edit->setLineWrapMode(QTextEdit::NoWrap);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        }
    }
    if (row.flags & ValueText) {
        // The value handlers switch this colour between red and black.
        QPalette palette = w->palette();
        palette.setColor(QPalette::Text, QColor(0, 0, 0));
        w->setPalette(palette);
    }
}

} // namespace

QStringList Binder::problems() const
{
    QStringList all = m_problems;
    for (const QString& name : m_created) {
        if (!m_bound.contains(name))
            all << name + QLatin1String(": no member is bound to it");
    }
    return all;
}

void Binder::failOnProblems(const char* window) const
{
    const QStringList found = problems();
    if (!found.isEmpty())
        qFatal("%s: the form does not match its members: %s", window,
               qPrintable(found.join(QLatin1String("; "))));
}

QString Binder::elementName(const QString& array, int index)
{
    return QStringLiteral("%1_%2").arg(array).arg(index);
}

QObject* Binder::take(const QString& name, const QMetaObject& type)
{
    QObject* object = m_objects.value(name);
    if (!object) {
        m_problems << name + QLatin1String(": no control of this name");
        return nullptr;
    }
    m_bound.insert(name);
    if (object->metaObject() != &type) {
        m_problems << QStringLiteral("%1: a %2, bound as %3")
                          .arg(name, QLatin1String(object->metaObject()->className()),
                               QLatin1String(type.className()));
        return nullptr;
    }
    return object;
}

Binder build(QWidget* window, const Description& description)
{
    registerFormImages();

    window->setWindowTitle(QString::fromUtf8(description.caption));
    const QSize size(twipsToPixels(description.width), twipsToPixels(description.height));
    window->resize(size);
    if (description.fixedDialog) {
        window->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                               Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        window->setFixedSize(size);
    }
    if (description.icon)
        window->setWindowIcon(QIcon(QPixmap(QString::fromUtf8(description.icon), "PNG")));

    Binder built;
    const auto add = [&built](const QString& name, QObject* object) {
        built.m_objects.insert(name, object);
        built.m_created << name;
    };
    const auto unique = [&built](const QString& name) {
        if (!built.m_objects.contains(name))
            return true;
        built.m_problems << name + QLatin1String(": name used twice");
        return false;
    };

    QHash<QString, Kind> kinds;
    QHash<QString, QTabWidget*> tabControlOf; // tab page name -> its tab control
    for (const Row& row : description.rows) {
        const QString name = QString::fromUtf8(row.name);
        const QString parentName = QString::fromUtf8(row.parent);
        QWidget* parent =
            parentName.isEmpty() ? window : qobject_cast<QWidget*>(built.m_objects.value(parentName));
        if (!parent) {
            built.m_problems << name + QLatin1String(": parent ") + parentName +
                                    QLatin1String(" is not built before it");
            continue;
        }
        auto* tabs = qobject_cast<QTabWidget*>(parent);
        if (row.kind == Kind::TabPage && !tabs) {
            built.m_problems << name + QLatin1String(": a tab page off a tab control");
            continue;
        }
        if (!unique(name))
            continue;
        QWidget* w = createControl(row, parent);
        w->setObjectName(name);
        applyAppearance(w, row);
        if (row.kind == Kind::TabPage) {
            tabs->addTab(w, QString::fromUtf8(row.text));
            tabControlOf.insert(name, tabs);
        } else {
            w->setGeometry(pixelGeometry(row, kinds.value(parentName, Kind::Panel)));
        }
        add(name, w);
        kinds.insert(name, row.kind);
    }

    // A buddy may be a control further down the table.
    for (const Row& row : description.rows) {
        const QString name = QString::fromUtf8(row.name);
        if (!row.buddy || !built.m_objects.contains(name))
            continue;
        const QString buddyName = QString::fromUtf8(row.buddy);
        auto* label = qobject_cast<QLabel*>(built.m_objects.value(name));
        auto* buddy = qobject_cast<QWidget*>(built.m_objects.value(buddyName));
        if (!label)
            built.m_problems << name + QLatin1String(": has a buddy but is no label");
        else if (!buddy)
            built.m_problems << name + QLatin1String(": buddy ") + buddyName +
                                    QLatin1String(" names no control");
        else
            label->setBuddy(buddy);
    }

    for (const TimerRow& row : description.timers) {
        const QString name = QString::fromUtf8(row.name);
        if (!unique(name))
            continue;
        auto* timer = new IntervalTimer(window);
        timer->setObjectName(name);
        timer->setInterval(row.interval);
        timer->setEnabled(row.enabled);
        add(name, timer);
    }

    if (description.firstTab) {
        const QString name = QString::fromUtf8(description.firstTab);
        if (QTabWidget* tabs = tabControlOf.value(name))
            tabs->setCurrentWidget(qobject_cast<QWidget*>(built.m_objects.value(name)));
        else
            built.m_problems << name + QLatin1String(": the tab shown first is no tab page");
    }
    return built;
}

} // namespace form
