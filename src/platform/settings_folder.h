#pragma once
// The folder a program of this installation keeps its files in: the settings
// files, ports/ and txt/. A program run from a build or from a folder copied
// by hand keeps them beside itself; an installed one (its folder is where the
// packages put programs, or one it may not write) in the user's data folder,
// ~/.local/share/tq5900k (XDG_DATA_HOME/tq5900k), made with its ports/ on
// first start. Missing settings files are made with their defaults by the
// programs as before.

#include <QString>

namespace platform {

struct SettingsFolder
{
    QString path;
    bool userData = false; // the user's data folder, not the program's own
    QString error;         // set when the user's data folder could not be made
};

// The choice for a program in `programDir`, installed programs living in
// `installedProgramDir`.
SettingsFolder chooseSettingsFolder(const QString& programDir, const QString& installedProgramDir);

// The choice for this program (QCoreApplication::applicationDirPath()), made once.
const SettingsFolder& settingsFolder();

// The version of this installation, "0.9.0".
QString versionText();

} // namespace platform
