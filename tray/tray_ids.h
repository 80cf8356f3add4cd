// Command identifiers and messages of the tray program.
#pragma once

namespace zel::tray {

// Menu command identifiers: the program's own commands sit right below the entries.
inline constexpr unsigned IDM_EXIT = 0x402;
inline constexpr unsigned IDM_ABOUT = 0x403;
inline constexpr unsigned IDM_DISABLESHELLMENU = 0x404;
inline constexpr unsigned IDM_ENABLESHELLMENU = 0x405;
inline constexpr unsigned IDM_STARTWITHWINDOWS = 0x406;
inline constexpr unsigned IDM_MENUEDITOR = 0x407;
inline constexpr unsigned IDM_UPDATECHECK = 0x408;
inline constexpr unsigned IDM_FIRSTENTRY = 0x409;  // + the entry's index

// The tray icon's callback message: WM_USER + 1.
inline constexpr unsigned WM_TRAYICON = 0x401;

}  // namespace zel::tray
