#include "stop_signals.h"

namespace platform {

// Without POSIX signals the programs end the way their system ends them.
bool onStopSignals(QObject*, std::function<void()>)
{
    return false;
}

} // namespace platform
