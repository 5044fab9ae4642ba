// tq5900k: commissioning and reading a multi-channel temperature module.

#include "platform/settings_folder.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/history_tab.h"
#include "ui/screen_centre.h"
#include "ui/translations.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
// TQ_SCREENSHOT and TQ_EXIT_AFTER_SHOW serve documentation and benchmarks: both
// skip the login window and start the main window directly.

// TQ_SCREENSHOT=<folder>: after start-up, read all channels once (when the port
// is open), grab each tab to <folder>/tab<N>.png (the history tab once its chart
// is drawn, or after 5 s) and quit. Used for documentation and on machines
// without a display. Each step follows the event it needs; nothing waits.
class ScreenshotTour : public QObject
{
public:
    ScreenshotTour(MainWindow& window, const QString& folder) : QObject(&window), m_window(window), m_folder(folder)
    {
        QDir().mkpath(folder);
        connect(&m_window.reading(), &acquisition::ReadingController::passFinished, this,
                [this] { QTimer::singleShot(0, this, [this] { grabTab(0); }); });
        // The chart lays itself out after its lines are set: grabbed once that ran.
        connect(m_window.historyTab(), &HistoryTab::trendShown, this, [this] {
            if (m_waitingForChart)
                QTimer::singleShot(0, this, [this] { grabShown(); });
        });
        m_chartDeadline.setSingleShot(true);
        connect(&m_chartDeadline, &QTimer::timeout, this, [this] {
            if (m_waitingForChart)
                grabShown();
        });
        QTimer::singleShot(500, this, [this] {
            m_window.readAllChannelsOnce();
            if (!m_window.reading().passRunning())
                grabTab(0); // the port is closed: the tabs as they are
        });
    }

private:
    void grabTab(int index)
    {
        m_tab = index;
        if (m_tab >= m_window.SSTab1->count()) {
            QCoreApplication::quit();
            return;
        }
        m_window.SSTab1->setCurrentIndex(m_tab);
        // The history tab queries its chart in another thread once shown.
        if (m_window.SSTab1->currentWidget() == m_window.historyTab()) {
            m_waitingForChart = true;
            m_chartDeadline.start(5000);
            return;
        }
        QTimer::singleShot(0, this, [this] { grabShown(); });
    }

    void grabShown()
    {
        if (!m_waitingForChart && m_grabbed == m_tab)
            return; // the deadline and the chart both came
        m_grabbed = m_tab;
        m_waitingForChart = false;
        m_chartDeadline.stop();
        m_window.grab().save(QDir(m_folder).filePath(QStringLiteral("tab%1.png").arg(m_tab + 1)));
        grabTab(m_tab + 1);
    }

    MainWindow& m_window;
    QString m_folder;
    QTimer m_chartDeadline;
    int m_tab = 0;
    int m_grabbed = -1;
    bool m_waitingForChart = false;
};

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
    MainWindow window;
    window.startUp();
    moveToScreenCentre(window);
    QuitAfterFirstPaint quitAfterFirstPaint;
    if (quitAfterShow)
        window.installEventFilter(&quitAfterFirstPaint);
    window.show();
    if (!screenshots.isEmpty())
        new ScreenshotTour(window, screenshots);
    return QApplication::exec();
}
} // namespace

int main(int argc, char* argv[])
{
    // Answered before any window system is needed, so it works over ssh and in scripts.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tq5900k %s\n", qPrintable(platform::versionText()));
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tq5900k"));
    if (!ui::installQtChineseTranslations(app))
        qWarning("tq5900k: Qt's Chinese translations are not installed (qt6-translations-l10n): its dialogs speak English");

    const QString screenshots = qEnvironmentVariable("TQ_SCREENSHOT");
    const bool quitAfterShow = qEnvironmentVariableIntValue("TQ_EXIT_AFTER_SHOW") == 1;
    if (!screenshots.isEmpty() || quitAfterShow)
        return runMainWindowDirectly(screenshots, quitAfterShow);

    // The login window opens the main window and keeps it until the program ends.
    LoginWindow login;
    login.startUp();
    moveToScreenCentre(login);
    login.show();
    return app.exec();
}
