#pragma once
// Qt's own texts (the buttons and labels of standard dialogs: OK, Cancel, Look
// in, File name, the question before replacing a file) in Simplified Chinese,
// like everything else the program says.

class QCoreApplication;

namespace ui {

// Loads Qt's Simplified Chinese translations (Debian: qt6-translations-l10n)
// into `app`. False when they are not installed: Qt's texts stay English.
bool installQtChineseTranslations(QCoreApplication& app);

} // namespace ui
