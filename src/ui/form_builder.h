#pragma once
// A window's controls as data, and the builder that turns them into widgets.
// A window describes itself (caption, icon, size, one row per control, its
// timers), form::build creates the widgets, and the returned Binder hands
// each control to the member of the same name. Every mismatch between the
// rows and the members is collected as a problem; failOnProblems ends the
// program naming them, in every build type.
//
// Adding a kind: a value in Kind and its case in createControl
// (form_builder.cpp); the compiler flags a kind without a case.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class QObject;
class QWidget;
struct QMetaObject;

namespace form {

constexpr int TwipsPerPixel = 15;

// Twips to pixels, rounded to the nearest pixel. Form rows are whole twips
// (exact as float), the value grid's geometry is computed in float twips.
int twipsToPixels(float twips);

// The form's Tops on a tab page are measured from the top of the whole tab
// control, tab bar included (about 300 twips high). Qt places a page's origin
// below its tab bar, so a child's page Top is its form Top less this.
constexpr int TabBarTwips = 300;

enum class Kind {
    TabControl, // QTabWidget
    TabPage,    // a page of the tab control; text is the tab caption
    Group,      // QGroupBox; text is the caption
    BareGroup,  // QGroupBox without border or caption
    Panel,      // plain QWidget container (picture box)
    Label,      // QLabel
    Image,      // QLabel showing a picture; text is the resource path
    Lamp,       // 16 x 16 QLabel showing a lamp; text is the resource path
    LineEdit,   // QLineEdit
    Button,     // QPushButton; never a default button, Enter on it does not press it
    CheckBox,   // QCheckBox, not ticked; text is the caption
    Combo,      // editable QComboBox; text is the edit text, items are '|'-separated
    RichText,   // QTextEdit
    PlainText,  // QPlainTextEdit
};

enum Flag : unsigned {
    None = 0,
    Centred = 1u << 0,         // text centred (boxes and labels)
    ReadOnly = 1u << 1,        // the operator cannot edit it
    WordWrap = 1u << 2,        // label text wraps at its width
    AboutFont = 1u << 3,       // the larger font of the about page
    ScrollBarAlways = 1u << 4, // vertical scroll bar always shown
    ValueText = 1u << 5,       // value cell: explicit black palette text colour
    NumberColumn = 1u << 6,    // narrow column of line numbers: no wrapping, no scroll bars
    Password = 1u << 7,        // line edit showing every character as "*"
};

struct Row
{
    const char* name; // objectName; control array elements are "<array>_<index>"
    Kind kind;
    const char* parent;           // objectName of the parent; "" is the window itself
    const char* text;             // caption, starting text, or resource path (see Kind)
    int left, top, width, height; // twips, relative to the parent (see TabBarTwips)
    unsigned flags = None;
    const char* buddy = nullptr; // labels: the box the label names
    const char* toolTip = nullptr;
    const char* items = nullptr; // combo lists, '|'-separated
};

struct TimerRow
{
    const char* name;
    bool enabled;
    int interval; // milliseconds
};

struct Description
{
    const char* caption;
    const char* icon;  // resource path; nullptr for none
    int width, height; // twips
    // In creation order, which is also the order the operator tabs through
    // them: every parent before its children.
    std::vector<Row> rows;
    std::vector<TimerRow> timers;
    const char* firstTab = nullptr; // name of the tab page shown at start, if any
    // A dialog frame of fixed size, without minimise and maximise buttons;
    // otherwise an ordinary resizable window.
    bool fixedDialog = false;
};

// The built controls and timers by name. Each bind looks a control up and
// checks that it exists and is exactly the member's type; every row must end
// up bound to some member.
class Binder
{
public:
    template <typename T> void bind(T*& member, const QString& name)
    {
        member = static_cast<T*>(take(name, T::staticMetaObject));
    }

    // Control arrays: element i is "<name>_<i>". Arrays may be sparse (absent
    // indices stay null), but one without any element is a wrong name.
    template <typename T, std::size_t N> void bind(std::array<T*, N>& members, const QString& name)
    {
        bool any = false;
        for (std::size_t i = 0; i < N; ++i) {
            const QString element = elementName(name, int(i));
            members[i] = nullptr;
            if (!m_objects.contains(element))
                continue;
            any = true;
            members[i] = static_cast<T*>(take(element, T::staticMetaObject));
        }
        if (!any)
            m_problems << name + QLatin1String(": no element of this control array");
    }

    // What is wrong, once every member is bound: the problems found while
    // building and binding, then every control no member was bound to.
    QStringList problems() const;
    // Ends the program with a message naming every problem (in every build
    // type); returns when there is none.
    void failOnProblems(const char* window) const;

private:
    static QString elementName(const QString& array, int index);
    friend Binder build(QWidget* window, const Description& description);

    // The object of that name if it is exactly of `type`, else nullptr and a problem.
    QObject* take(const QString& name, const QMetaObject& type);

    QHash<QString, QObject*> m_objects;
    QStringList m_created; // names in creation order, for the unbound report
    QSet<QString> m_bound;
    QStringList m_problems;
};

// Builds the window's controls and timers as described.
Binder build(QWidget* window, const Description& description);

} // namespace form

// Binds a member (or control array) to the control of the member's own name.
#define FORM_BIND(binder, member) (binder).bind(member, QStringLiteral(#member))
