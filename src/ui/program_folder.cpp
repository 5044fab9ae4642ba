#include "program_folder.h"

#include <QCoreApplication>

namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    return overrideFolder().isEmpty() ? QCoreApplication::applicationDirPath() : overrideFolder();
}

void setProgramFolderForTests(const QString& folder)
{
    overrideFolder() = folder;
}
