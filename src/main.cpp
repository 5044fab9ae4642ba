// tq5900k: commissioning and reading a multi-channel temperature module.

#include "ui/frmLogin.h"
#include "ui/frmMain.h"
#include "ui/history_tab.h"
#include "ui/screen_centre.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace {
// TQ_SCREENSHOT and TQ_EXIT_AFTER_SHOW serve documentation and benchmarks: both
// skip the login window and start the main window directly.

// TQ_SCREENSHOT=<folder>: after start-up, read all channels once (when the port
// is open), grab each tab to <folder>/tab<N>.png (the history tab with its chart) and quit. Used for
// documentation and on machines without a display.
void scheduleScreenshots(frmMain& window, const QString& folder)
{
    QTimer::singleShot(500, &window, [&window, folder] {
        QDir().mkpath(folder);
        window.cmdOnceDo1_Click();
        for (int i = 0; i < window.SSTab1->count(); ++i) {
            // The history tab queries its chart in another thread once shown: wait for it.
            QEventLoop chartShown;
            QObject::connect(window.historyTab(), &HistoryTab::trendShown, &chartShown, &QEventLoop::quit);
            window.SSTab1->setCurrentIndex(i);
            if (window.SSTab1->currentWidget() == window.historyTab()) {
                QTimer::singleShot(5000, &chartShown, &QEventLoop::quit);
                chartShown.exec();
            }
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

// The main window without a login, for TQ_SCREENSHOT and TQ_EXIT_AFTER_SHOW.
int runMainWindowDirectly(const QString& screenshots, bool quitAfterShow)
{
    frmMain window;
    window.Form_Load();
    moveToScreenCentre(window);
    QuitAfterFirstPaint quitAfterFirstPaint;
    if (quitAfterShow)
        window.installEventFilter(&quitAfterFirstPaint);
    window.show();
    if (!screenshots.isEmpty())
        scheduleScreenshots(window, screenshots);
    return QApplication::exec();
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tq5900k"));

    const QString screenshots = qEnvironmentVariable("TQ_SCREENSHOT");
    const bool quitAfterShow = qEnvironmentVariableIntValue("TQ_EXIT_AFTER_SHOW") == 1;
    if (!screenshots.isEmpty() || quitAfterShow)
        return runMainWindowDirectly(screenshots, quitAfterShow);

    // The login window opens the main window and keeps it until the program ends.
    frmLogin login;
    login.Form_Load();
    moveToScreenCentre(login);
    login.show();
    return app.exec();
}
