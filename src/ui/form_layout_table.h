#pragma once
// The main window's controls as data: one row per control with its kind,
// parent, designed caption or text, tool tip and geometry in twips. Every
// caption and position of the window lives in form_layout_table.cpp;
// frmMainForm::setupUi only turns the rows into widgets.

#include <cstddef>

namespace form {

constexpr int TwipsPerPixel = 15;

// Designed Tops on a tab page were measured from the top of the whole tab
// control, tab bar included (about 300 twips high). Qt places a page's origin
// below its tab bar, so a child's page Top is its designed Top less this.
constexpr int TabBarTwips = 300;

constexpr int twipsToPixels(int twips)
{
    // Rounded to the nearest pixel; all designed sizes are multiples of 15.
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

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
    Button,     // QPushButton
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
};

struct Row
{
    const char* name; // objectName; control array elements are "<array>_<index>"
    Kind kind;
    const char* parent;           // objectName of the parent; "" is the window itself
    const char* text;             // caption, designed text, or resource path (see Kind)
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

extern const char* const WindowCaption;
extern const char* const WindowIcon;
extern const int WindowWidthTwips;
extern const int WindowHeightTwips;
extern const char* const SelectedTab; // name of the tab page shown at start

extern const Row rows[];
extern const std::size_t rowCount;

extern const TimerRow timers[];
extern const std::size_t timerCount;

} // namespace form
