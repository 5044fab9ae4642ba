#pragma once
// Whether this program may read and write a device, as the system's own
// permissions say. Qt reports a refused device and its own lock file alike.

#include <QString>

namespace port {

// False only where the system says the device is not ours to use; true where it
// cannot tell (then another handle holds it).
bool mayReadAndWrite(const QString& devicePath);

} // namespace port
