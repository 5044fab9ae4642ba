#include "module1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace Module1 {

void WaitMilliseconds(int milliseconds)
{
    detail::waitUntil(milliseconds, {}, {});
}

bool detail::waitUntil(int milliseconds, const Subscribe& subscribe, const std::function<bool()>& done)
{
    if (done && done())
        return true;
    if (milliseconds <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return done && done();
    }
    QEventLoop loop;
    bool satisfied = false;
    if (subscribe && done) {
        subscribe(&loop, [&] {
            if (!satisfied && done()) {
                satisfied = true;
                loop.quit();
            }
        });
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(milliseconds);
    loop.exec(QEventLoop::AllEvents);
    return satisfied;
}

} // namespace Module1
