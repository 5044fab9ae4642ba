#pragma once
// Layout of the value grid: up to ten temperature groups spread evenly across
// Frame3, each holding one numbered text box per sensor in columns of 20 rows.
// Coordinates are twips relative to the containing control, computed in single
// precision as the form describes them; the window turns them into pixels
// (form::twipsToPixels).

#include <QString>
#include <vector>

namespace acquisition {

inline constexpr int kRowsPerColumn = 20;

// The form's geometry the layout starts from.
inline constexpr float kFrame3Width = 15375.0f;
inline constexpr float kGroupTop = 0.0f;
inline constexpr float kGroupHeight = 6315.0f;
inline constexpr float kGroupMargin = 1000.0f; // shared out as n + 1 equal gaps
inline constexpr float kRowDivisorFull = 21.0f;
inline constexpr float kBoxLeft = 420.0f;
inline constexpr float kLabelLeft = 120.0f;
inline constexpr float kLabelOffset = 300.0f; // label left edge this far before its box
inline constexpr float kLabelTop = 300.0f;

// The form's top of text box 0 in the group of `channel` (1..10): 300, except 360
// in groups 4 and 9 and 240 in group 7.
float formBoxTop(int channel);

struct GridGroup
{
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

struct GridElement
{
    float boxLeft = 0;
    float boxTop = 0;
    float labelLeft = 0;
    float labelTop = 0;
    QString caption; // "<i+1>#"
};

struct GridLayout
{
    int channelCount = 0;          // the channel count, lowered to 10 when larger
    std::vector<GridGroup> groups; // the visible groups (channels 1..channelCount); empty when <= 0
    float groupWidth = 0;          // width of group 0, which the columns divide
    int columns = 1;               // columns of boxes per group
    float rowHeight = 0;
    std::vector<GridElement> elements; // max(N, 1) elements; element 0 with box top 300

    int visibleGroupCount() const { return int(groups.size()); }
    // Element `index` of the group of `channel` (1..10): as `elements`, except that
    // element 0 keeps its group's box top from the form.
    GridElement element(int channel, int index) const;
};

// Lays out `channelCount` groups with `sensorsPerChannel` boxes each.
GridLayout arrangeValueGrid(int channelCount, int sensorsPerChannel, float frameWidth = kFrame3Width,
                            float groupHeight = kGroupHeight);

} // namespace acquisition
