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
        AlreadyLast,     // manual step beyond LastManualPosition: alreadyLastMessage(), nothing changes
        NothingImported, // nothingImportedMessage(); the position becomes `position`
        Finished,        // the automatic run ends (finishedMessage()); the position becomes `position`
    };
    Kind kind = Write;
    int position = 0;
};

// The manual step from `position`: one further, wrapping to 1 beyond the
// sensors per channel; beyond the imported count it writes entry 1 at 1 again.
WriteStep nextManualStep(int position, int sensorsPerChannel, int importCount);

// One tick of the automatic run from `position` (0 before the first): positions
// 1, 2, ... up to the smaller of the imported count and the sensors per channel.
// The tick that finds the list used up leaves the position one past its last entry.
WriteStep nextAutomaticStep(int position, int sensorsPerChannel, int importCount);

} // namespace serials
