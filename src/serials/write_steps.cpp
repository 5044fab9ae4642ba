#include "write_steps.h"

namespace serials {

WriteStep nextManualStep(int position, int sensorsPerChannel, int importCount)
{
    if (position > LastManualPosition)
        return {WriteStep::AlreadyLast, position};
    const int next = position + 1;
    if (next > sensorsPerChannel)
        return {WriteStep::Wrap, 1};
    if (importCount < 1)
        return {WriteStep::NothingImported, next};
    // Past the last imported entry the list starts over.
    if (next > importCount)
        return {WriteStep::Write, 1};
    return {WriteStep::Write, next};
}

WriteStep nextAutomaticStep(int position, int sensorsPerChannel, int importCount)
{
    if (position >= sensorsPerChannel + 1)
        return {WriteStep::Finished, position};
    const int next = position + 1;
    // The last position of the channel was written: the next tick ends the run.
    if (next >= sensorsPerChannel + 1)
        return {WriteStep::Skip, next};
    if (next > importCount)
        return {WriteStep::Finished, next};
    return {WriteStep::Write, next};
}

} // namespace serials
