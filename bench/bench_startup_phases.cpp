// bench_startup_phases: where tq5900k's start-up time goes, measured inside one
// process with QElapsedTimer around each phase, and the value grid's cost taken
// apart with plain widgets (style sheet on or off, per-cell font and palette).
//
//   bench_startup_phases [--runs R] [--channels C] [--sensors S]
//
// The first round in a process pays one-off costs (fonts, style, images), so it
// is shown on its own; the other rounds give medians.

#include "ui/dialogs.h"
#include "ui/form_layout_table.h"
#include "ui/frmMain.h"
#include "ui/program_folder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// Sets a flag on the first paint of the watched window.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Shows the window and runs events until it has painted once.
double showAndPaint(QWidget& window)
{
    PaintWatch watch;
    window.installEventFilter(&watch);
    QElapsedTimer t;
    t.start();
    window.show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents(); // the rest of the paint pass
    const double ms = msSince(t);
    window.removeEventFilter(&watch);
    return ms;
}

using Figures = std::map<std::string, std::vector<double>>;
std::vector<std::string> order; // phases in the order first seen

// Heap in use (glibc), so growth is measured even where freed memory is reused.
double heapKiB()
{
    return double(mallinfo2().uordblks) / 1024.0;
}
std::map<std::string, double> heapGrowth; // first round only

void note(Figures& f, const std::string& phase, double ms)
{
    if (std::find(order.begin(), order.end(), phase) == order.end())
        order.push_back(phase);
    f[phase].push_back(ms);
}

// The whole start-up of the window, phase by phase.
void windowRound(Figures& f, int sensors)
{
    QElapsedTimer t;
    t.start();
    auto window = std::make_unique<frmMain>();
    note(f, "frmMain constructor (setupUi)", msSince(t));
    double heap = heapKiB();
    t.restart();
    window->Form_Load();
    note(f, "Form_Load (settings, boxes, ArrangeValueGrid, port)", msSince(t));
    heapGrowth.emplace("Form_Load", heapKiB() - heap);
    note(f, "show + first paint", showAndPaint(*window));
    t.restart();
    window.reset();
    note(f, "destruction", msSince(t));

    // ArrangeValueGrid alone, on a window that is not shown.
    window = std::make_unique<frmMain>();
    window->ChannelCount = 10;
    window->SensorsPerChannel = sensors;
    t.restart();
    window->ArrangeValueGrid();
    note(f, "  ArrangeValueGrid alone", msSince(t));
    window.reset();

    // What if the window had no style sheet: the same start-up with it removed
    // right after construction.
    window = std::make_unique<frmMain>();
    t.restart();
    window->setStyleSheet(QString());
    note(f, "  without style sheet: removing it", msSince(t));
    heap = heapKiB();
    t.restart();
    window->Form_Load();
    note(f, "  without style sheet: Form_Load", msSince(t));
    heapGrowth.emplace("Form_Load without style sheet", heapKiB() - heap);
    note(f, "  without style sheet: show + first paint", showAndPaint(*window));
    t.restart();
    window.reset();
    note(f, "  without style sheet: destruction", msSince(t));
}

// Plain widgets in the value grid's shape: 10 groups of `sensors` boxes and labels.
struct GridVariant
{
    const char* name;
    bool styleSheet;
    bool copyLook; // setFont + setPalette on every cell, as the grid copies element 0
    bool showEach; // show() on every cell while the window is still hidden
};

void gridRound(Figures& f, const GridVariant& v, int channels, int sensors)
{
    QWidget window;
    window.resize(1054, 898);
    if (v.styleSheet)
        window.setStyleSheet(QString::fromUtf8(form::WindowStyleSheet));
    QFont font = window.font();
    QPalette palette = window.palette();
    palette.setColor(QPalette::Text, Qt::black);

    QElapsedTimer t;
    t.start();
    for (int g = 0; g < channels; ++g) {
        auto* group = new QGroupBox(QStringLiteral("%1#").arg(g + 1), &window);
        group->setGeometry(5 + (g % 5) * 209, 5 + (g / 5) * 440, 205, 435);
        for (int i = 0; i < sensors; ++i) {
            auto* box = new QLineEdit(group);
            box->setObjectName(QStringLiteral("txtValue%1_%2").arg(g + 1).arg(i));
            if (v.copyLook) {
                box->setFont(font);
                box->setPalette(palette);
            }
            box->setAlignment(Qt::AlignCenter);
            box->setText(QStringLiteral("0"));
            box->setGeometry(30 + (i / 40) * 45, 20 + (i % 40) * 10, 40, 18);
            if (v.showEach)
                box->show();
            auto* label = new QLabel(QStringLiteral("%1#").arg(i + 1), group);
            label->setObjectName(QStringLiteral("lblValue%1_%2").arg(g + 1).arg(i));
            if (v.copyLook)
                label->setFont(font);
            label->setGeometry(8 + (i / 40) * 45, 20 + (i % 40) * 10, 20, 17);
            label->setBuddy(box);
            if (v.showEach)
                label->show();
        }
    }
    const std::string prefix = std::string("grid ") + v.name + ": ";
    note(f, prefix + "create " + std::to_string(2 * channels * sensors) + " widgets", msSince(t));
    note(f, prefix + "show + first paint", showAndPaint(window));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer appTimer;
    appTimer.start();
    QApplication app(argc, argv);
    const double appMs = msSince(appTimer);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Start-up of tq5900k phase by phase."));
    parser.addHelpOption();
    const QCommandLineOption runsOption({QStringLiteral("r"), QStringLiteral("runs")},
                                        QStringLiteral("Rounds (default 5; the first is shown apart)."),
                                        QStringLiteral("R"), QStringLiteral("5"));
    const QCommandLineOption sensorsOption(QStringLiteral("sensors"),
                                           QStringLiteral("Sensors per channel, 1-160 (default 160)."),
                                           QStringLiteral("S"), QStringLiteral("160"));
    parser.addOptions({runsOption, sensorsOption});
    parser.process(app);
    const int runs = std::max(2, parser.value(runsOption).toInt());
    const int sensors = std::clamp(parser.value(sensorsOption).toInt(), 1, 160);

    QTemporaryDir folder;
    if (!folder.isValid() ||
        !writeFile(folder.filePath(QStringLiteral("ModSet.set")),
                   "1,10," + QByteArray::number(sensors) + ",1\r\n") ||
        !writeFile(folder.filePath(QStringLiteral("comm.set")), "30,9600\r\n")) {
        std::fprintf(stderr, "cannot prepare a program folder\n");
        return 1;
    }
    setProgramFolderForTests(folder.path());
    dialogs::setMessageBoxHandler([](const dialogs::MessageBoxRequest& request) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(request.text));
        return int(dialogs::AnswerOk);
    });

    const GridVariant variants[] = {
        {"plain", false, false, false},
        {"plain + font/palette", false, true, false},
        {"plain + show each", false, false, true},
        {"style sheet", true, false, false},
        {"style sheet + font/palette", true, true, false},
        {"style sheet + show each", true, false, true},
        {"style sheet + font/palette + show each", true, true, true},
    };
    std::vector<Figures> rounds(static_cast<size_t>(runs));
    for (Figures& f : rounds) {
        windowRound(f, sensors);
        for (const GridVariant& v : variants)
            gridRound(f, v, 10, sensors);
    }

    std::printf("tq5900k start-up phases, 10 channels x %d sensors, offscreen, %d rounds\n", sensors, runs);
    std::printf("  QApplication constructor (once): %.1f ms; the form has %zu designed controls\n", appMs,
                form::rowCount);
    std::printf("  %-64s %10s %12s\n", "phase", "first ms", "median ms");
    for (const std::string& phase : order) {
        std::vector<double> rest;
        for (size_t i = 1; i < rounds.size(); ++i)
            for (double ms : rounds[i][phase])
                rest.push_back(ms);
        std::printf("  %-64s %10.1f %12.1f\n", phase.c_str(), rounds[0][phase].front(), median(rest));
    }
    std::printf("  heap growth (first round): Form_Load %.0f KiB, without style sheet %.0f KiB\n",
                heapGrowth["Form_Load"], heapGrowth["Form_Load without style sheet"]);
    setProgramFolderForTests(QString());
    return 0;
}
