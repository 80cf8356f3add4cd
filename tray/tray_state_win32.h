// The tray program's state: one of each, for the whole run, on the program's only thread.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "icons/icon_cache_win32.h"
#include "tray/prompt.h"
#include "menu/menu_build.h"
#include "menu/menu_file.h"
#include "win/unique_handle_win32.h"

namespace zel::tray {

struct TrayState {
  HINSTANCE instance = nullptr;
  UINT taskbarCreatedMessage = 0;
  RECT workArea = {};
  HWND mainWindow = nullptr;
  // The prompt's controls, in creation order.
  HWND edit = nullptr;
  HWND label = nullptr;
  HWND okButton = nullptr;
  HWND cancelButton = nullptr;
  HWND browseButton = nullptr;
  win::UniqueHfont font;   // the prompt controls' font
  unsigned promptDpi = 0;  // the DPI the prompt's window, controls and font are made for
  win::UniqueHicon icon;   // the program icon at small-icon size, loaded once
  NOTIFYICONDATAA trayIconData = {};
  int iconRetriesLeft = 0;                // adds of the icon still to try on kIconRetryTimer
  icons::IconCache icons;                 // the entries' icons, kept for the run: after the popup
  icons::ShownBitmaps shownIcons;         // the current popup's icons: they live as long as it
  win::UniqueHmenu currentPopup;          // lives until the next click on the icon
  bool menuShown = false;                 // set at the first popup, never cleared
  bool menuOpen = false;                  // inside TrackPopupMenu: the hotkey leaves the menu alone
  std::optional<std::string> hotkeyText;  // the hotkey line last acted on; none: no line
  bool hotkeyRegistered = false;
  menu::MenuTable entries;  // MenuEntries and EntryCount of the last build
  tray::TrayPromptState prompt;
};

extern TrayState g_tray;

// Start-up helpers and handlers shared between the tray's files.
// Adds the icon; when the shell refuses, tries again on kIconRetryTimer (RetryTrayIcon) until
// it takes the icon or kIconRetries tries have failed.
void AddTrayIcon();
void RetryTrayIcon();
// The program icon "ICO" at a size; none when it cannot be loaded.
win::UniqueHicon ProgramIcon(int width, int height);
// Loads the program icon at the system's small-icon size, as the notification area shows it,
// into g_tray.icon.
void LoadProgramIcon();
void DeleteTrayIcon();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The prompt (prompt_win32): its controls and font, made once on the main window for `dpi`
// and laid out again for the DPI the window moves to (with the system's suggested place) or
// shows at; its buttons; and the dispatch of the entry a menu command chose, which shows it for
// each placeholder.
void CreatePromptControls(unsigned dpi);
void FollowDpi(unsigned dpi, const RECT& suggested);
void OnOk();
void OnCancel();
void OnBrowse();
void RunChosenEntry(WPARAM wParam);

// The right-click menu: the file's entries, a separator, "Options", "About", "Exit".
void BuildFullMenu();
// The left-click menu: the file's entries alone.
void BuildEntryMenu();
// Registers the hotkey line's combination, or says once why it cannot, when the line is new,
// changed or gone since the last build.
void UseHotkey(const menu::BuildResult& build);
// The program's own commands; false when the identifier is none of them.
bool RunOptionsCommand(unsigned id);
// Autostart in the current user's Run key: on when a value "Zelvane" exists and Task Manager
// has not switched it off (StartupApproved). Set writes the program's path, quoted, and clears
// that mark; clear deletes the value. The result is the Win32 error, ERROR_SUCCESS when it
// worked (a value already gone counts as deleted).
bool AutoStartEnabled();
LONG SetAutoStart(bool enabled);

}  // namespace zel::tray
