#pragma once
// The program-wide values, back to what a fresh start has, so that one test
// cannot lean on what another left behind.

#include "config/module_settings.h"
#include "serials/import_list.h"

inline void resetProgramWideValues()
{
    config::ModuleCount = 1;
    serials::clearImportList();
}
