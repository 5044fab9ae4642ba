#include "settings_folder.h"

#include "tq_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

SettingsFolder chooseSettingsFolder(const QString& programDir, const QString& installedProgramDir)
{
    const QString own = QDir::cleanPath(programDir);
    // Root may write anywhere, so being writable alone does not tell an
    // installed program from a build.
    const bool installed = own == QDir::cleanPath(installedProgramDir);
    if (!installed && QFileInfo(own).isWritable())
        return {own, false, {}};

    SettingsFolder folder;
    folder.userData = true;
    folder.path = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                      .filePath(QStringLiteral("tq5900k"));
    if (!QDir().mkpath(QDir(folder.path).filePath(QStringLiteral("ports"))))
        folder.error = QStringLiteral("cannot make %1").arg(QDir::toNativeSeparators(folder.path));
    return folder;
}

const SettingsFolder& settingsFolder()
{
    static const SettingsFolder folder =
        chooseSettingsFolder(QCoreApplication::applicationDirPath(), QStringLiteral(TQ_INSTALLED_PROGRAM_DIR));
    return folder;
}

QString versionText()
{
    return QStringLiteral(TQ_VERSION);
}

} // namespace platform
