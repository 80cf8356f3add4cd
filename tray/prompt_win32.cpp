// The tray's prompt window: its controls on the hidden main window, what the entry dispatch
// shows in it, and its buttons: Ok hands the value to the dispatch, "..." picks a file.
#include <windows.h>
#include <commdlg.h>

#include <array>
#include <optional>
#include <string>

#include "launch/launch_win32.h"
#include "tray/prompt_layout.h"
#include "tray/tray_state_win32.h"
#include "win/code_page_win32.h"
#include "win/dpi_win32.h"
#include "win/paths_win32.h"

namespace zel::tray {
namespace {

struct PromptControl {
  const char* className;
  DWORD exStyle;
  DWORD style;
  const char* text;
  HWND TrayState::*handle;
};

// The prompt's five controls, in creation order; their places are PromptControlBoxes'.
const PromptControl kControls[kPromptControls] = {
    {"edit", WS_EX_CLIENTEDGE, 0x50000080, "", &TrayState::edit},
    {"static", 0, 0x50000000, "Parameters:", &TrayState::label},
    {"button", 0, 0x50001000, "Ok", &TrayState::okButton},
    {"button", 0, 0x50001000, "Cancel", &TrayState::cancelButton},
    {"button", 0, 0x50001000, "...", &TrayState::browseButton},
};

// The font's face at `dpi`: the bitmap face at 96 DPI, the size it is drawn for; elsewhere its
// outline twin, since a bitmap face comes in a few sizes only and is not drawn at others.
const char* PromptFontFace(unsigned dpi) {
  return dpi == ui::kBaseDpi ? "MS Sans Serif" : "Microsoft Sans Serif";
}

// Gives the controls the font made for `dpi`. When none can be made they keep theirs (at the
// start, the system font).
void SetPromptFont(unsigned dpi, bool redraw) {
  win::UniqueHfont font(::CreateFontA(PromptFontHeight(dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                      FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, PromptFontFace(dpi)));
  if (!font) return;
  for (const PromptControl& control : kControls) {
    ::SendMessageA(g_tray.*control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()),
                   redraw ? TRUE : FALSE);
  }
  // The old font goes only now that no control uses it.
  g_tray.font = std::move(font);
}

// Lays the prompt out for `dpi`: the window at `suggested` (the system's place for it at that
// DPI) while the user sees it, else mid-way in the work area as at the start; the controls and
// the font made for `dpi`.
void LayOutPrompt(unsigned dpi, const RECT* suggested) {
  g_tray.promptDpi = dpi;
  if (suggested != nullptr && ::IsWindowVisible(g_tray.mainWindow)) {
    ::SetWindowPos(g_tray.mainWindow, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &g_tray.workArea, 0);
    win::Place(g_tray.mainWindow,
               PromptWindowBox(g_tray.workArea.right, g_tray.workArea.bottom, dpi), true);
  }
  const std::array<ui::Box, kPromptControls> boxes = PromptControlBoxes(dpi);
  for (std::size_t i = 0; i < kPromptControls; ++i) {
    win::Place(g_tray.*kControls[i].handle, boxes[i], true);
  }
  SetPromptFont(dpi, true);
}

// The prompt as the entry dispatch drives it.
class PromptWindow final : public tray::PromptView {
 public:
  void ShowPrompt(int parameterNumber) override {
    ::SetWindowTextA(g_tray.label, tray::PromptLabel(parameterNumber).c_str());
    // Hidden, the window may have missed a change of its monitor's DPI.
    const unsigned dpi = win::DpiOf(g_tray.mainWindow);
    if (dpi != g_tray.promptDpi) LayOutPrompt(dpi, nullptr);
    ::ShowWindow(g_tray.mainWindow, SW_SHOWNORMAL);
  }
};

// The tray's launching, with one change: a DLL procedure runs in a thread the system stretches
// from 96 DPI, as the whole program did before it drew itself for each DPI, so that windows a
// procedure lays out in fixed pixels still come out at a readable size.
class StretchedProcedures final : public launch::ForwardingSystem {
 public:
  using ForwardingSystem::ForwardingSystem;
  bool CallProcedure(const std::string& dll, const launch::DllCallPlan& plan) override {
    const win::StretchedThread stretched;
    return ForwardingSystem::CallProcedure(dll, plan);
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
  StretchedProcedures traySystem(system);
  launch::Launcher launcher(traySystem);
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
  StretchedProcedures traySystem(system);
  launch::Launcher launcher(traySystem);
  try {
    tray::RunEntry(g_tray.entries, g_tray.prompt, prompt, launcher);
  } catch (...) {
    // A failed run is dropped: the tray keeps answering its icon.
  }
}

void CreatePromptControls(unsigned dpi) {
  const std::array<ui::Box, kPromptControls> boxes = PromptControlBoxes(dpi);
  for (std::size_t i = 0; i < kPromptControls; ++i) {
    const PromptControl& control = kControls[i];
    const ui::Box& box = boxes[i];
    g_tray.*control.handle = ::CreateWindowExA(
        control.exStyle, control.className, control.text, control.style, box.left, box.top,
        box.width, box.height, g_tray.mainWindow, nullptr, g_tray.instance, nullptr);
  }
  SetPromptFont(dpi, false);
  g_tray.promptDpi = dpi;
}

void FollowDpi(unsigned dpi, const RECT& suggested) { LayOutPrompt(dpi, &suggested); }

}  // namespace zel::tray
