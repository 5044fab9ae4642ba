#include "program_folder.h"

#include "platform/settings_folder.h"

namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    return overrideFolder().isEmpty() ? platform::settingsFolder().path : overrideFolder();
}

void setProgramFolderForTests(const QString& folder)
{
    overrideFolder() = folder;
}
