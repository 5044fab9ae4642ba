#include "device_access.h"

namespace port {

// Elsewhere a refused port and a busy one are told apart by the system's own error.
bool mayReadAndWrite(const QString&)
{
    return true;
}

} // namespace port
