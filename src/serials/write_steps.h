#pragma once
// Which position the writing of imported serial numbers goes to next: the
// manual "next" step and the automatic run's tick. Positions are whole numbers.

namespace serials {

// The position box cannot step past this by hand ("已是最后一个了").
inline constexpr int LastManualPosition = 100;

struct WriteStep
{
    enum Kind {
        Write,           // load entry `position` and write it there
        Wrap,            // the position becomes `position` (1); nothing is sent
        Skip,            // the position becomes `position`; nothing is sent this time
        AlreadyLast,     // manual step beyond LastManualPosition: "已是最后一个了", nothing changes
        NothingImported, // "请按正确的格式，先导入正确的传感器序列号", the position becomes `position`
        Finished,        // the automatic run ends ("操作结束"); the position stays
    };
    Kind kind = Write;
    int position = 0;
};

// The manual step from `position`: one further, wrapping to 1 beyond the
// sensors per channel; beyond the imported count it writes entry 1 at 1 again.
WriteStep nextManualStep(int position, int sensorsPerChannel, int importCount);

// One tick of the automatic run from `position` (0 before the first): positions
// 1, 2, ... up to the smaller of the imported count and the sensors per channel.
WriteStep nextAutomaticStep(int position, int sensorsPerChannel, int importCount);

} // namespace serials
