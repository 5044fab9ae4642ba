#pragma once
// Which device "COMn" stands for on this machine.

#include <QString>

namespace port {

// On Windows "COMn". Elsewhere the device that the link <programFolder>/ports/COMn
// points to (a relative target counts from the ports folder; a dangling link
// still gives its target, so opening it fails as a missing device), and
// /dev/ttyS<n-1> where there is no such link. Empty for n < 1: no port has it.
QString resolvePortName(int number, const QString& programFolder);

} // namespace port
