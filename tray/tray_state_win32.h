// The tray program's state: one of each, for the whole run, on the program's only thread.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "launch/run_entry.h"
#include "menu/menu_file.h"

namespace zel::tray {

struct TrayState {
  HINSTANCE instance = nullptr;
  UINT TaskbarCreatedMessage = 0;
  RECT workArea = {};
  HWND mainWindow = nullptr;
  // The prompt's controls, in creation order.
  HWND edit = nullptr;
  HWND label = nullptr;
  HWND okButton = nullptr;
  HWND cancelButton = nullptr;
  HWND browseButton = nullptr;
  NOTIFYICONDATAA TrayIconData = {};
  HMENU currentPopup = nullptr;  // lives until the next click on the icon
  bool MenuShown = false;        // set at the first popup, never cleared
  menu::MenuTable entries;       // MenuEntries and EntryCount of the last build
  launch::TrayPromptState prompt;
};

extern TrayState g_tray;

// Start-up helpers and handlers shared between the tray's files.
void AddTrayIcon();
// The program icon "ICO" at small-icon size.
HICON LoadProgramIcon();
void DeleteTrayIcon();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The right-click menu: the file's entries, a separator, "Options", "About", "Exit".
void BuildFullMenu();
// The left-click menu: the file's entries alone.
void BuildEntryMenu();
// The program's own commands; false when the identifier is none of them.
bool RunOptionsCommand(unsigned id);
// Autostart in the current user's Run key: mode 0 query, 1 set, 2 delete.
enum class AutoStartMode { Query = 0, Set = 1, Delete = 2 };
bool AutoStart(AutoStartMode mode);

}  // namespace zel::tray
