// tq5900k: commissioning and reading a multi-channel temperature module.

#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QScreen>
#include <QTimer>

namespace {
// TQ_SCREENSHOT=<folder>: after start-up, read all channels once (when the port
// is open), grab each tab to <folder>/tab<N>.png and quit. Used for documentation
// and on machines without a display.
void scheduleScreenshots(frmMain& window, const QString& folder)
{
    QTimer::singleShot(500, &window, [&window, folder] {
        QDir().mkpath(folder);
        window.cmdOnceDo1_Click();
        for (int i = 0; i < window.SSTab1->count(); ++i) {
            window.SSTab1->setCurrentIndex(i);
            QCoreApplication::processEvents();
            window.grab().save(QDir(folder).filePath(QStringLiteral("tab%1.png").arg(i + 1)));
        }
        QCoreApplication::quit();
    });
}

// TQ_EXIT_AFTER_SHOW=1: quit once the window has painted for the first time,
// so that start-up can be timed as a whole process (bench/bench_startup).
class QuitAfterFirstPaint : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued, so the paint in progress (children included) completes first.
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tq5900k"));

    frmMain window;
    window.Form_Load();
    // Centred on the screen when it opens.
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    QuitAfterFirstPaint quitAfterFirstPaint;
    if (qEnvironmentVariableIntValue("TQ_EXIT_AFTER_SHOW") == 1)
        window.installEventFilter(&quitAfterFirstPaint);
    window.show();

    const QString screenshots = qEnvironmentVariable("TQ_SCREENSHOT");
    if (!screenshots.isEmpty())
        scheduleScreenshots(window, screenshots);
    return app.exec();
}
