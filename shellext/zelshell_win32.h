// What the module's entry points share with the rest of zelshell.
#pragma once

#include <windows.h>

#include "icons/icon_cache_win32.h"

namespace zel::shellext {

// The zelshell module's own handle, recorded by DllMain.
HMODULE ModuleHandle();
// The entries' icons, kept for the module: emptied when DllCanUnloadNow finds no handler
// alive and no check of their files running, never in DllMain.
icons::IconCache& ModuleIcons();

}  // namespace zel::shellext
