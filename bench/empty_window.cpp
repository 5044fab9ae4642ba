// bench_empty_window: the smallest Qt program that shows a window of the main
// window's size (1054 x 898) and paints it once. Its start-up time and memory
// are what any Qt Widgets program pays; bench_startup compares tq5900k with it.
//
// TQ_EXIT_AFTER_SHOW=1 makes it quit after the first paint, as tq5900k does.

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {
class QuitAfterFirstPaint : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1054, 898);
    QuitAfterFirstPaint quitAfterFirstPaint;
    if (qEnvironmentVariableIntValue("TQ_EXIT_AFTER_SHOW") == 1)
        window.installEventFilter(&quitAfterFirstPaint);
    window.show();
    return app.exec();
}
