#pragma once
// Logging category for frames on the line. Enable the hex dump of every frame
// with QT_LOGGING_RULES="tq5900k.frames.debug=true".

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFrames)
