// The tray program's own commands: the Options submenu, "About" and "Exit".
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "launch/launch_win32.h"
#include "shellext/registration.h"
#include "win/unique_handle_win32.h"
#include "tray/tray_ids.h"
#include "tray/tray_state_win32.h"
#include "win/dpi_win32.h"
#include "win/error_text_win32.h"
#include "win/paths_win32.h"
#include "zel_version.h"

namespace zel::tray {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
constexpr wchar_t kRunValue[] = L"Zelvane";
constexpr wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const wchar_t* kApprovedValue = kRunValue;  // named like the Run value
constexpr char kShellLibrary[] = "zelshell.dll";
constexpr char kUpdateAddress[] =
    "https://zelvane.example/download.php?action=updatecheck&app=Zelvane," ZEL_VERSION_TEXT;
constexpr char kAboutTitle[] = "About Zelvane#";
constexpr char kAboutText[] =
    "Zelvane v" ZEL_VERSION_TEXT "\r\nCopyright (C) 2026 The Zelvane developers";

void Report(const char* text, const char* caption, UINT icon) {
  ::MessageBoxA(g_tray.mainWindow, text, caption, MB_OK | icon);
}

// The program's folder with its backslash; empty, and said, when its name has no form the
// ANSI functions can use: a bare file name would be searched for elsewhere.
std::string ProgramFolder() {
  std::string folder = win::ModuleFolder();
  if (folder.empty()) {
    Report(
        "Zelvane's folder has a name with characters this system's code page cannot hold, "
        "and no short name. Install Zelvane in a folder with another name.",
        "ERROR", MB_ICONHAND);
  }
  return folder;
}

// What a registration command says: text, caption and icon.
struct Outcome {
  std::string text;
  const char* caption;
  UINT icon;
};

// Loads zelshell.dll from `path` (the program's own folder, never the current folder or the
// search path, where a planted library could stand), calls one registration export and frees
// the library again, before anything is said: a message box would keep it loaded while the
// user reads it.
Outcome CallRegistrationExport(const std::string& path, const char* exportName,
                               const char* doneText, const char* failedText) {
  const win::UniqueHmodule library(::LoadLibraryA(path.c_str()));
  if (!library) return {"Unable to load Context Menu", "ERROR", MB_ICONHAND};
  using RegistrationExport = HRESULT(STDAPICALLTYPE*)();
  const auto function = reinterpret_cast<RegistrationExport>(
      reinterpret_cast<void*>(::GetProcAddress(library.get(), exportName)));
  if (function == nullptr) {
    return {std::string("Unable to find ") + exportName + " in Context Menu", "ERROR", MB_ICONHAND};
  }
  const HRESULT result = function();
  if (FAILED(result)) {
    // The system's words; a Win32 error carried in an HRESULT is said by its own code.
    const DWORD code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                                  : static_cast<DWORD>(result);
    return {std::string(failedText) + ": " + win::ErrorText(code), "ERROR", MB_ICONHAND};
  }
  // S_FALSE: a 32-bit library on 64-bit Windows registered itself, but not a 64-bit one.
  if (result == S_FALSE) {
    return {std::string(doneText) + "\n\nThe 64-bit Explorer will not show the menu: " +
                shellext::kLibrary64 + " is not beside Zelvane.exe.",
            "SUCCESS", MB_ICONINFORMATION};
  }
  return {doneText, "SUCCESS", MB_ICONINFORMATION};
}

void CallShellRegistration(const char* exportName, const char* doneText, const char* failedText) {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return;
  const Outcome outcome =
      CallRegistrationExport(folder + kShellLibrary, exportName, doneText, failedText);
  Report(outcome.text.c_str(), outcome.caption, outcome.icon);
}

// Nothing is shown when it worked: the new state shows as the check mark at the next right
// click. A failure is said, with the system's words.
void ToggleAutoStart() {
  const bool enable = !AutoStartEnabled();
  const LONG error = SetAutoStart(enable);
  if (error == ERROR_SUCCESS) return;
  const std::string text = std::string(enable ? "Zelvane could not be set to start with Windows"
                                              : "Zelvane could not be kept from starting with "
                                                "Windows") +
                           ": " + win::ErrorText(static_cast<DWORD>(error));
  Report(text.c_str(), "ERROR", MB_ICONHAND);
}

void StartMenuEditor() {
  launch::Win32LaunchSystem system;
  const std::string folder = ProgramFolder();
  if (folder.empty()) return;
  launch::Launcher(system).RunPrograms(folder + menu::kEditorProgram + "|", "");
}

void OpenUpdatePage() {
  // The result is not examined: without a browser for web addresses nothing happens.
  ::ShellExecuteA(nullptr, "OPEN", kUpdateAddress, "", "", SW_SHOW);
}

void ShowAbout() {
  // The box shows a large icon: made at that size for the DPI the box shows at.
  const int size = win::MetricAt(SM_CXICON, win::DpiOf(g_tray.mainWindow));
  const win::UniqueHicon icon = ProgramIcon(size, size);
  ::ShellAboutA(g_tray.mainWindow, kAboutTitle, kAboutText, icon ? icon.get() : g_tray.icon.get());
}

[[noreturn]] void ExitProgram() {
  DeleteTrayIcon();
  ::ExitProcess(0);
}

}  // namespace

bool AutoStartEnabled() {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
    return false;
  }
  const win::UniqueHkey key(opened);
  // Any value of that name counts, whatever its type and data, unless switched off (below).
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), kRunValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  // Task Manager and Settings switch an entry off without touching the Run value: a binary
  // value of the same name under StartupApproved whose first byte is odd.
  BYTE approval[64] = {};
  DWORD approvalSize = sizeof(approval);
  return ::RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, kApprovedValue, RRF_RT_ANY, nullptr,
                        approval, &approvalSize) != ERROR_SUCCESS ||
         approvalSize == 0 || (approval[0] & 1) == 0;
}

LONG SetAutoStart(bool enabled) {
  HKEY opened = nullptr;
  const LONG open = ::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &opened);
  if (open != ERROR_SUCCESS) return open;
  const win::UniqueHkey key(opened);
  if (!enabled) {
    const LONG deleted = ::RegDeleteValueW(key.get(), kRunValue);
    return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
  }
  const std::wstring path = win::GetModulePathW();
  if (path.empty()) return ERROR_BAD_PATHNAME;
  // The real path in UTF-16, whatever the code page holds, written over any value that names
  // another copy. Quoted: Windows reads an unquoted path with a space by its prefixes
  // ("C:\Users\Ann.exe" before "C:\Users\Ann Lee\...\Zelvane.exe"). The count includes the
  // terminating zero.
  const std::wstring command = L"\"" + path + L"\"";
  const LONG written = ::RegSetValueExW(key.get(), kRunValue, 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(command.c_str()),
                                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  if (written != ERROR_SUCCESS) return written;
  // The switched-off mark goes: no value is how Windows finds every new entry, switched on,
  // so nothing of an undocumented layout is written.
  const LONG cleared = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, kApprovedValue);
  return cleared == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : cleared;
}

void BuildFullMenu() {
  BuildEntryMenu();  // the file's entries in a fresh popup
  ::AppendMenuA(g_tray.currentPopup.get(), MF_SEPARATOR, 0, nullptr);
  win::UniqueHmenu options(::CreatePopupMenu());
  ::AppendMenuA(options.get(), MF_STRING, IDM_MENUEDITOR, "Menu Editor");
  ::AppendMenuA(options.get(), MF_STRING, IDM_UPDATECHECK, "Update Check");
  ::AppendMenuA(options.get(), MF_STRING, IDM_ENABLESHELLMENU, "Enable Shell Menu");
  ::AppendMenuA(options.get(), MF_STRING, IDM_DISABLESHELLMENU, "Disable Shell Menu");
  const UINT check = AutoStartEnabled() ? MF_CHECKED : MF_STRING;
  ::AppendMenuA(options.get(), check, IDM_STARTWITHWINDOWS, "Start with Windows");
  if (::AppendMenuA(g_tray.currentPopup.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(options.get()),
                    "Options")) {
    options.release();  // the popup menu owns it now
  }
  ::AppendMenuA(g_tray.currentPopup.get(), MF_STRING, IDM_ABOUT, "About");
  ::AppendMenuA(g_tray.currentPopup.get(), MF_STRING, IDM_EXIT, "Exit");
}

bool RunOptionsCommand(unsigned id) {
  switch (id) {
    case IDM_EXIT:
      ExitProgram();
    case IDM_ABOUT:
      ShowAbout();
      return true;
    case IDM_DISABLESHELLMENU:
      CallShellRegistration("DllUnregisterServer", "Menu Unregistered",
                            "Menu could not be unregistered");
      return true;
    case IDM_ENABLESHELLMENU:
      CallShellRegistration("DllRegisterServer", "Menu Registered", "Menu could not be registered");
      return true;
    case IDM_STARTWITHWINDOWS:
      ToggleAutoStart();
      return true;
    case IDM_MENUEDITOR:
      StartMenuEditor();
      return true;
    case IDM_UPDATECHECK:
      OpenUpdatePage();
      return true;
    default:
      return false;
  }
}

}  // namespace zel::tray
