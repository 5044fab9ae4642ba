#pragma once
// End to end: a fresh program folder with settings files, the simulated module
// on a pseudo-terminal linked as ports/COM4, and the main window talking to it
// through QSerialPort, driven through its controls.

#include "../common/program_state.h"
#include "../common/line_settles.h"
#include "../common/window_probes.h"

#include "sim/simulated_module.h"

#include "protocol/temperature.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/program_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

struct EndToEnd
{
    QTemporaryDir folder;
    std::unique_ptr<sim::SimulatedModule> module;
    std::unique_ptr<MainWindow> window;
    QVector<dialogs::MessageBoxRequest> boxes;

    explicit EndToEnd(const QByteArray& modSet = "1,10,40,1\r\n", const QByteArray& commSet = "4,9600\r\n")
    {
        resetProgramWideValues();
        setProgramFolderForTests(folder.path());
        dialogs::setMessageBoxHandler([this](const dialogs::MessageBoxRequest& request) {
            boxes.append(request);
            return int(dialogs::AnswerOk);
        });
        writeFile(QStringLiteral("ModSet.set"), modSet);
        writeFile(QStringLiteral("comm.set"), commSet);
    }
    ~EndToEnd()
    {
        window.reset();
        module.reset();
        dialogs::setMessageBoxHandler(nullptr);
        setProgramFolderForTests(QString());
    }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(QDir(folder.path()).filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QByteArray readFile(const QString& name) const
    {
        QFile file(QDir(folder.path()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Starts the module (demo installation unless given) on COM4.
    bool startModule(const sim::ModuleModel& model = sim::ModuleModel::demo())
    {
        module = std::make_unique<sim::SimulatedModule>(folder.path(), 4, model);
        QString error;
        if (!module->start(&error, true)) {
            qWarning("simulated module did not start: %s", qPrintable(error));
            return false;
        }
        return true;
    }

    // Opens the window with the real serial backend; start-up opens COM4.
    MainWindow& openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->startUp();
        return *window;
    }

    // What the cells of a channel should read after a full reply for positions start..start+count-1.
    QStringList expected(int channel, int count, int start = 1) const
    {
        QStringList texts;
        for (int k = 0; k < count; ++k)
            texts << protocol::temperatureText(module->model().registerAt(channel, start + k));
        return texts;
    }
    QStringList cells(int channel, int count) const { return cellTexts(*window, channel, count); }
    bool cellBlack(int channel, int index) const
    {
        return cellColour(*window, channel, index) == QColor(Qt::black);
    }
    QString frontLamp() const { return ::frontLamp(*window); }
};

// A fault from its text as the simulator's --fault option takes it; a bad text ends the test program.
inline sim::Fault fault(const QString& text)
{
    QString error;
    const std::optional<sim::Fault> parsed = sim::Fault::parse(text, &error);
    if (!parsed)
        qFatal("bad fault %s: %s", qPrintable(text), qPrintable(error));
    return *parsed;
}
