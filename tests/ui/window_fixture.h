#pragma once
// A main window over the in-memory serial backend, in a fresh program folder,
// with message boxes and file dialogs answered by the test.

#include "../common/program_state.h"
#include "../common/line_settles.h"
#include "../common/window_probes.h"

#include "port/memory_backend.h"
#include "protocol/crc16.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/program_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// A module that answers every temperature request with channel x 100 + position
// hundredths (channel 2, position 3 reads 2.03).
inline QByteArray answerTemperatures(const QByteArray& request)
{
    if (request.size() != 8 || !protocol::hasValidCrc(request))
        return {};
    const int channel = quint8(request[2]), start = quint8(request[3]), count = quint8(request[5]);
    QByteArray reply;
    reply.append(request[0]).append(request[1]).append(char(2 * count));
    for (int k = 0; k < count; ++k) {
        const int value = channel * 100 + start + k;
        reply.append(char(value >> 8)).append(char(value & 0xFF));
    }
    return protocol::appendCrc(reply);
}

inline QByteArray hexBytes(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

struct WindowFixture
{
    QTemporaryDir folder;
    port::MemoryBackend* backend = nullptr; // owned by the window's port
    std::unique_ptr<MainWindow> window;
    QVector<dialogs::MessageBoxRequest> boxes;

    WindowFixture()
    {
        resetProgramWideValues();
        setProgramFolderForTests(folder.path());
        dialogs::setMessageBoxHandler([this](const dialogs::MessageBoxRequest& request) {
            boxes.append(request);
            return int(dialogs::AnswerOk);
        });
    }
    ~WindowFixture()
    {
        window.reset();
        dialogs::setMessageBoxHandler(nullptr);
        dialogs::setFileDialogHandler(nullptr);
        setProgramFolderForTests(QString());
    }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(QDir(folder.path()).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile(const QString& name) const
    {
        QFile file(QDir(folder.path()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    MainWindow& create(bool runStartUp = true)
    {
        auto memory = std::make_unique<port::MemoryBackend>();
        backend = memory.get();
        window = std::make_unique<MainWindow>(std::move(memory));
        if (runStartUp)
            window->startUp();
        return *window;
    }

    QString frontLamp() const { return ::frontLamp(*window); }
    QStringList cellTexts(int channel, int count) const { return ::cellTexts(*window, channel, count); }
    QColor cellColour(int channel, int index) const { return ::cellColour(*window, channel, index); }
};
