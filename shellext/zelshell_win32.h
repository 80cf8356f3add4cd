// What the module's entry points share with the rest of zelshell.
#pragma once

#include <windows.h>

#include "icons/icon_cache_win32.h"
#include "menu/menu_file.h"

namespace zel::shellext {

// The zelshell module's own handle, recorded by DllMain.
HMODULE ModuleHandle();
// The entries' icons, kept for the module: emptied when DllCanUnloadNow finds no handler
// alive and no check of their files running, never in DllMain.
icons::IconCache& ModuleIcons();
// The entry table a released handler left, emptied (no entry of it can run), for the next
// handler: its texts' storage serves the next menu, as the tray program's one table serves
// all of its menus.
menu::MenuTable TakeSpareTable();
void LeaveSpareTable(menu::MenuTable&& table) noexcept;

}  // namespace zel::shellext
