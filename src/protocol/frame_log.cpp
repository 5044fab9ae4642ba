#include "frame_log.h"

Q_LOGGING_CATEGORY(lcFrames, "tq5900k.frames", QtWarningMsg)
