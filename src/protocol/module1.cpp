#include "module1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace Module1 {

namespace {
// Bridges an old-style SIGNAL() string to a std::function check.
class DoneProbe : public QObject
{
    Q_OBJECT
public:
    DoneProbe(std::function<bool()> done, QEventLoop* loop) : m_done(std::move(done)), m_loop(loop) {}
    bool satisfied = false;
public Q_SLOTS:
    void check()
    {
        if (!satisfied && m_done()) {
            satisfied = true;
            m_loop->quit();
        }
    }

private:
    std::function<bool()> m_done;
    QEventLoop* m_loop;
};
} // namespace

void WaitMilliseconds(int milliseconds)
{
    WaitUntil(milliseconds, nullptr, nullptr, {});
}

bool WaitUntil(int milliseconds, const QObject* source, const char* signal, const std::function<bool()>& done)
{
    if (done && done())
        return true;
    if (milliseconds <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return done && done();
    }
    QEventLoop loop;
    DoneProbe probe(
        done ? done : [] { return false; }, &loop);
    if (source && signal && done)
        QObject::connect(source, signal, &probe, SLOT(check()));
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(milliseconds);
    loop.exec(QEventLoop::AllEvents);
    return probe.satisfied;
}

} // namespace Module1

#include "module1.moc"
