// The main window's procedure: clicks on the icon, menu commands, the prompt's buttons and the
// shell's "TaskbarCreated" broadcast; the prompt itself is prompt_win32's.
#include <windows.h>

#include <string>

#include "menu/menu_win32.h"
#include "tray/tray_ids.h"
#include "tray/tray_state_win32.h"
#include "win/dpi_win32.h"

namespace zel::tray {
namespace {

void ShowTrayMenu(bool fromKeyboard = false) {
  g_tray.menuShown = true;
  ::SetForegroundWindow(g_tray.mainWindow);
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  // Opened by the hotkey, the menu starts with its first item selected: the menu's loop reads
  // the keys waiting in the thread's queue.
  if (fromKeyboard) ::PostMessageA(g_tray.mainWindow, WM_KEYDOWN, VK_DOWN, 0);
  // The choice arrives afterwards as a posted WM_COMMAND.
  g_tray.menuOpen = true;
  ::TrackPopupMenu(g_tray.currentPopup.get(), 0, cursor.x, cursor.y, 0, g_tray.mainWindow, nullptr);
  g_tray.menuOpen = false;
  // A tray menu must be followed by a message to its owner, or it does not close properly
  // when the user clicks elsewhere and opens badly the next time (TrackPopupMenu remarks).
  ::PostMessageA(g_tray.mainWindow, WM_NULL, 0, 0);
}

void HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND from = reinterpret_cast<HWND>(lParam);
  if (message == WM_COMMAND && from != nullptr && from == g_tray.okButton) return OnOk();
  if (message == WM_COMMAND && from != nullptr && from == g_tray.cancelButton) return OnCancel();
  if (message == WM_TRAYICON && lParam == WM_RBUTTONUP) {
    BuildFullMenu();
    return ShowTrayMenu();
  }
  if (message == WM_TRAYICON && lParam == WM_LBUTTONUP) {
    BuildEntryMenu();
    return ShowTrayMenu();
  }
  if (message == WM_HOTKEY && wParam == kHotkeyId && !g_tray.menuOpen) {
    BuildEntryMenu();
    return ShowTrayMenu(true);
  }
  if (message == WM_COMMAND && from != nullptr && from == g_tray.browseButton) return OnBrowse();
  if (message == WM_COMMAND && RunOptionsCommand(static_cast<unsigned>(wParam))) return;
  if (message == WM_COMMAND && static_cast<LONG>(wParam) >= static_cast<LONG>(IDM_FIRSTENTRY) &&
      g_tray.menuShown) {
    return RunChosenEntry(wParam);
  }
  if (message == g_tray.taskbarCreatedMessage) return AddTrayIcon();
  if (message == WM_TIMER && wParam == kIconRetryTimer) return RetryTrayIcon();
  if (message == WM_DPICHANGED && lParam != 0) {
    return FollowDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
  }
  // The main window closed (the default processing of WM_CLOSE destroys it): take the icon
  // away with it; the message loop then ends.
  if (message == WM_DESTROY) {
    DeleteTrayIcon();
    ::PostQuitMessage(0);
  }
}

// Destroys the current popup (with its submenus) and makes a fresh empty one current.
void ReplaceCurrentPopup() { g_tray.currentPopup.reset(::CreatePopupMenu()); }

}  // namespace

void BuildEntryMenu() {
  ReplaceCurrentPopup();
  // At the size for the tray's own DPI, which its menus show at.
  const int iconSize = win::MetricAt(SM_CXSMICON, win::DpiOf(g_tray.mainWindow));
  icons::MenuIcons icons(g_tray.icons, menu::Host::Tray, nullptr, iconSize);
  UseHotkey(
      menu::BuildMenu(g_tray.currentPopup.get(), menu::BuildRequest{}, g_tray.entries, &icons));
  // Taken after the build: the old popup's icons, still held, cannot lend their handles to new
  // ones.
  g_tray.shownIcons = icons.Shown();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Every message gets the default processing first; its result is the procedure's result.
  const LRESULT result = ::DefWindowProcA(window, message, wParam, lParam);
  try {
    HandleMessage(window, message, wParam, lParam);
  } catch (...) {
    // Nothing may unwind through the system's frames (dw2 unwinding cannot cross them).
  }
  return result;
}

}  // namespace zel::tray
