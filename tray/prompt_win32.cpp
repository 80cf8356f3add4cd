// The tray's prompt window: its controls on the hidden main window, what the entry dispatch
// shows in it, and its buttons: Ok hands the value to the dispatch, "..." picks a file.
#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>

#include "launch/launch_win32.h"
#include "tray/tray_state_win32.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

namespace zel::tray {
namespace {

struct PromptControl {
  const char* className;
  DWORD exStyle;
  DWORD style;
  const char* text;
  int left, top, width, height;
  HWND TrayState::*handle;
};

// The prompt's five controls, in creation order.
const PromptControl kControls[] = {
    {"edit", WS_EX_CLIENTEDGE, 0x50000080, "", 4, 18, 186, 21, &TrayState::edit},
    {"static", 0, 0x50000000, "Parameters:", 4, 4, 100, 13, &TrayState::label},
    {"button", 0, 0x50001000, "Ok", 4, 44, 58, 20, &TrayState::okButton},
    {"button", 0, 0x50001000, "Cancel", 62, 44, 58, 20, &TrayState::cancelButton},
    {"button", 0, 0x50001000, "...", 170, 44, 20, 20, &TrayState::browseButton},
};

// The prompt as the entry dispatch drives it.
class PromptWindow final : public tray::PromptView {
 public:
  void ShowPrompt(int parameterNumber) override {
    ::SetWindowTextA(g_tray.label, tray::PromptLabel(parameterNumber).c_str());
    ::ShowWindow(g_tray.mainWindow, SW_SHOWNORMAL);
  }
};

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
    wchar_t wide[tray::kPromptValueLimit + 1] = {};
    ::GetWindowTextW(g_tray.edit, wide, ARRAYSIZE(wide));
    return win::Narrow(wide, TextKind::Utf8);
  }
  char text[tray::kPromptValueLimit + 1] = {};
  ::GetWindowTextA(g_tray.edit, text, sizeof(text));
  return text;
}

}  // namespace

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
  tray::AcceptPromptValue(g_tray.entries, g_tray.prompt, value, prompt, launcher);
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

void RunChosenEntry(WPARAM wParam) {
  const std::size_t index = menu::EntryIndex(menu::kTrayIdBase, wParam);
  if (index >= g_tray.entries.EntryCount) return;
  g_tray.prompt.CurrentEntry = index;
  g_tray.prompt.ParameterNumber = 1;
  PromptWindow prompt;
  launch::Win32LaunchSystem system(g_tray.entries.kind);
  launch::Launcher launcher(system);
  try {
    tray::RunEntry(g_tray.entries, g_tray.prompt, prompt, launcher);
  } catch (...) {
    // A failed run is dropped: the tray keeps answering its icon.
  }
}

void CreatePromptControls() {
  for (const PromptControl& control : kControls) {
    g_tray.*control.handle = ::CreateWindowExA(
        control.exStyle, control.className, control.text, control.style, control.left, control.top,
        control.width, control.height, g_tray.mainWindow, nullptr, g_tray.instance, nullptr);
  }
  // Held for the whole run: the controls use it until they are gone.
  g_tray.font.reset(::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                                  0, 0, 0, "MS Sans Serif"));
  if (!g_tray.font) return;  // the controls keep the system font
  for (const PromptControl& control : kControls) {
    ::SendMessageA(g_tray.*control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(g_tray.font.get()),
                   0);
  }
}

}  // namespace zel::tray
