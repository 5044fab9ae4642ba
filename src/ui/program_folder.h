#pragma once
// The program's own folder: settings files, ports/ links and txt/ live there.

#include <QString>

QString programFolder();
// Tests point the program at a temporary folder; empty restores the default.
void setProgramFolderForTests(const QString& folder);
