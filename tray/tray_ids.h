// Command identifiers and messages of the tray program.
#pragma once

#include "menu/menu_build.h"

namespace zel::tray {

// Menu command identifiers: the program's own commands sit right below the entries.
inline constexpr unsigned IDM_EXIT = 0x402;
inline constexpr unsigned IDM_ABOUT = 0x403;
inline constexpr unsigned IDM_DISABLESHELLMENU = 0x404;
inline constexpr unsigned IDM_ENABLESHELLMENU = 0x405;
inline constexpr unsigned IDM_STARTWITHWINDOWS = 0x406;
inline constexpr unsigned IDM_MENUEDITOR = 0x407;
inline constexpr unsigned IDM_UPDATECHECK = 0x408;
// The first entry's identifier (0x409), + the entry's index: the menu build numbers from it.
inline constexpr unsigned IDM_FIRSTENTRY =
    static_cast<unsigned>(menu::EntryId(menu::kTrayIdBase, 0));

// The tray icon's callback message: WM_USER + 1.
inline constexpr unsigned WM_TRAYICON = 0x401;

// The hotkey's identifier on the main window (applications use 0 to 0xBFFF).
inline constexpr int kHotkeyId = 1;

// The timer that adds the icon again after the shell refused it: every 2 s for 2 minutes.
inline constexpr unsigned kIconRetryTimer = 1;
inline constexpr unsigned kIconRetryMilliseconds = 2000;
inline constexpr int kIconRetries = 60;

}  // namespace zel::tray
