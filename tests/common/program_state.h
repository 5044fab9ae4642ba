#pragma once
// The program-wide values, back to what a fresh start has, so that one test
// cannot lean on what another left behind.

#include "config/module_settings.h"
#include "port/comm_settings.h"

inline void resetProgramWideValues()
{
    port::CommPortNumber = port::kDefaultCommPort;
    port::BaudRate = port::kDefaultBaudRate;
    config::ModuleCount = 1;
}
