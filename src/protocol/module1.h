#pragma once
// Waiting while the window stays responsive.

#include <QObject>
#include <functional>

namespace Module1 {

// Returns after at least `milliseconds`, running pending events meanwhile
// (timer ticks, the port's receive event, clicks). It sleeps in a nested event
// loop rather than spinning. 0 ms processes pending events once.
void WaitMilliseconds(int milliseconds);

// As WaitMilliseconds, but returns early once `done()` holds, checked each time
// `source` emits `signal` (a SIGNAL() string). Returns whether `done()` held.
bool WaitUntil(int milliseconds, const QObject* source, const char* signal,
               const std::function<bool()>& done);

} // namespace Module1
