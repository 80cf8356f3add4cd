// The main window's procedure: clicks on the icon, menu commands, the prompt's buttons and the
// shell's "TaskbarCreated" broadcast.
#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>

#include "launch/launch_win32.h"
#include "menu/menu_win32.h"
#include "tray/tray_ids.h"
#include "tray/tray_state_win32.h"
#include "win/code_page_win32.h"

namespace zel::tray {
namespace {

// The prompt as the entry dispatch drives it.
class PromptWindow final : public launch::PromptView {
 public:
  void ShowPrompt(int parameterNumber) override {
    ::SetWindowTextA(g_tray.label, launch::PromptLabel(parameterNumber).c_str());
    ::ShowWindow(g_tray.mainWindow, SW_SHOWNORMAL);
  }
};

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

// The file the user picks in the "Add File" dialog, starting in `initialFolder`; empty when the
// dialog is cancelled, or when the file's name has no form in the ANSI code page of an ANSI
// menu file (said in a message: the entry could not name it). Texts in `kind`.
std::string BrowseForFile(HWND owner, const std::string& initialFolder, TextKind kind) {
  wchar_t file[MAX_PATH + 1] = {};
  const std::wstring folder = win::Widen(initialFolder, kind);
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.hInstance = g_tray.instance;
  dialog.lpstrFilter = L"All Files(*.*)\0*.*\0";  // the literal brings the final zero byte
  dialog.lpstrFile = file;
  dialog.nMaxFile = ARRAYSIZE(file);
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = L"Add File";
  // Without it the dialog makes the chosen file's folder the program's current folder for good
  // (GetOpenFileName documentation).
  dialog.Flags = OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameW(&dialog)) return {};  // cancelled, or the dialog failed
  if (kind == TextKind::Utf8) return win::Narrow(file, TextKind::Utf8);
  const std::optional<std::string> path = win::AnsiPathFor(file);
  if (!path) {
    ::MessageBoxA(owner,
                  "The chosen file's name has characters that this system's code page cannot "
                  "hold, and it has no short name to stand for it. Rename the file, or choose "
                  "another.",
                  "Error", MB_ICONHAND);
    return {};
  }
  return *path;
}

// The edit field's text in `kind`, cut to kPromptValueLimit characters.
std::string ReadEditField(TextKind kind) {
  if (kind == TextKind::Utf8) {
    wchar_t wide[launch::kPromptValueLimit + 1] = {};
    ::GetWindowTextW(g_tray.edit, wide, ARRAYSIZE(wide));
    return win::Narrow(wide, TextKind::Utf8);
  }
  char text[launch::kPromptValueLimit + 1] = {};
  ::GetWindowTextA(g_tray.edit, text, sizeof(text));
  return text;
}

void OnOk() {
  const TextKind kind = g_tray.entries.kind;
  const std::string value = ReadEditField(kind);
  if (value.empty()) {
    ::MessageBoxA(g_tray.mainWindow, "No parameters entered", "Error", MB_ICONHAND);
    return;
  }
  ::SetWindowTextA(g_tray.edit, "");
  ::ShowWindow(g_tray.mainWindow, SW_HIDE);
  PromptWindow prompt;
  launch::Win32LaunchSystem system(kind);
  launch::Launcher launcher(system);
  launch::AcceptPromptValue(g_tray.entries, g_tray.prompt, value, prompt, launcher);
}

void OnCancel() {
  ::SetWindowTextA(g_tray.edit, "");
  ::ShowWindow(g_tray.mainWindow, SW_HIDE);
}

void OnBrowse() {
  const TextKind kind = g_tray.entries.kind;
  const std::string folder = launch::ExpandEnvironment(g_tray.prompt.PlaceholderArgument, kind);
  const std::string chosen = BrowseForFile(g_tray.mainWindow, folder, kind);
  if (!chosen.empty()) ::SetWindowTextW(g_tray.edit, win::Widen(chosen, kind).c_str());
}

void OnEntryCommand(WPARAM wParam) {
  const std::size_t index = menu::EntryIndex(menu::kTrayIdBase, wParam);
  if (index >= g_tray.entries.EntryCount) return;
  g_tray.prompt.CurrentEntry = index;
  g_tray.prompt.ParameterNumber = 1;
  PromptWindow prompt;
  launch::Win32LaunchSystem system(g_tray.entries.kind);
  launch::Launcher launcher(system);
  try {
    launch::RunEntry(g_tray.entries, g_tray.prompt, prompt, launcher);
  } catch (...) {
    // A failed run is dropped: the tray keeps answering its icon.
  }
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
    return OnEntryCommand(wParam);
  }
  if (message == g_tray.taskbarCreatedMessage) return AddTrayIcon();
  if (message == WM_TIMER && wParam == kIconRetryTimer) return RetryTrayIcon();
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
  icons::MenuIcons icons(g_tray.icons, menu::Host::Tray, nullptr);
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
