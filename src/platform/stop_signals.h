#pragma once
// SIGINT and SIGTERM as an event: the handler runs in the event loop (through a
// socket pair the signal handler writes to), so a program can finish what it is
// doing and clean up instead of dying mid-way. For the programs without windows.

#include <QObject>
#include <functional>

namespace platform {

// Calls `handler` in `context`'s thread once the first SIGINT or SIGTERM arrives;
// later ones are ignored. False when the signals cannot be caught.
bool onStopSignals(QObject* context, std::function<void()> handler);

} // namespace platform
