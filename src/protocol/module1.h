#pragma once
// Waiting while the window stays responsive.

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <type_traits>

namespace Module1 {

// Returns after at least `milliseconds`, running pending events meanwhile
// (timer ticks, the port's receive event, clicks). It sleeps in a nested event
// loop rather than spinning. 0 ms processes pending events once.
void WaitMilliseconds(int milliseconds);

namespace detail {
// Connects the awaited signal to `check` (run in the wait's own context) and
// returns the connection.
using Subscribe = std::function<QMetaObject::Connection(QObject* context, std::function<void()> check)>;
bool waitUntil(int milliseconds, const Subscribe& subscribe, const std::function<bool()>& done);
} // namespace detail

// As WaitMilliseconds, but returns early once `done()` holds, checked on entry
// and each time `source` emits `signal` (e.g. &port::MSComm::bytesArrived).
// Returns whether `done()` held. One nested event loop, ended by the signal that
// satisfies `done` or by the deadline, whichever comes first.
template <typename Sender, typename SignalOwner, typename... Args>
bool WaitUntil(int milliseconds, const Sender* source, void (SignalOwner::*signal)(Args...),
               const std::function<bool()>& done)
{
    static_assert(std::is_base_of_v<SignalOwner, Sender>, "the signal must belong to the source");
    return detail::waitUntil(
        milliseconds,
        [source, signal](QObject* context, std::function<void()> check) {
            return QObject::connect(source, signal, context, std::move(check));
        },
        done);
}

// Returns at the next emission of `signal` by `source` or after `milliseconds`,
// whichever comes first. Returns whether the signal came.
template <typename Sender, typename SignalOwner, typename... Args>
bool WaitForSignal(int milliseconds, const Sender* source, void (SignalOwner::*signal)(Args...))
{
    static_assert(std::is_base_of_v<SignalOwner, Sender>, "the signal must belong to the source");
    bool emitted = false;
    return detail::waitUntil(
        milliseconds,
        [source, signal, &emitted](QObject* context, std::function<void()> check) {
            return QObject::connect(source, signal, context, [&emitted, check] {
                emitted = true;
                check();
            });
        },
        [&emitted] { return emitted; });
}

} // namespace Module1
