#pragma once
// The program-wide values, back to what a fresh start has, so that one test
// cannot lean on what another left behind.

#include "config/module_settings.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"

inline void resetProgramWideValues()
{
    protocol::CrcLow = 0;
    protocol::CrcHigh = 0;
    protocol::ReplyThreshold = 0;
    config::ModuleCount = 1;
}
