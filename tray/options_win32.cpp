// The tray program's own commands: the Options submenu, "About" and "Exit".
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "launch/command_line.h"
#include "launch/launch_win32.h"
#include "shellext/registration.h"
#include "win/unique_handle_win32.h"
#include "tray/tray_ids.h"
#include "tray/tray_state_win32.h"
#include "win/error_text_win32.h"
#include "zel_version.h"

namespace zel::tray {
namespace {

constexpr char kRunKey[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
constexpr char kRunValue[] = "Zelvane";
constexpr char kShellLibrary[] = "zelshell.dll";
constexpr char kUpdateAddress[] =
    "https://zelvane.example/download.php?action=updatecheck&app=Zelvane," ZEL_VERSION_TEXT;
constexpr char kAboutTitle[] = "About Zelvane#";
constexpr char kAboutText[] =
    "Zelvane v" ZEL_VERSION_TEXT "\r\nCopyright (C) 2026 The Zelvane developers";

std::string ProgramFolder() { return launch::ExtractFolder(win::GetModulePath()); }

void Report(const char* text, const char* caption, UINT icon) {
  ::MessageBoxA(g_tray.mainWindow, text, caption, MB_OK | icon);
}

// Loads zelshell.dll from the program's own folder (never from the current folder or the
// search path, where a planted library could stand) and calls one registration export.
void CallShellRegistration(const char* exportName, const char* doneText, const char* failedText) {
  const std::string path = ProgramFolder() + kShellLibrary;
  win::UniqueHmodule library(::LoadLibraryA(path.c_str()));
  if (!library) {
    Report("Unable to load Context Menu", "ERROR", MB_ICONHAND);
    return;
  }
  using RegistrationExport = HRESULT(STDAPICALLTYPE*)();
  const auto function =
      reinterpret_cast<RegistrationExport>(reinterpret_cast<void*>(::GetProcAddress(library.get(), exportName)));
  if (function == nullptr) {
    const std::string text = std::string("Unable to find ") + exportName + " in Context Menu";
    Report(text.c_str(), "ERROR", MB_ICONHAND);
    return;
  }
  const HRESULT result = function();
  if (FAILED(result)) {
    // The system's words; a Win32 error carried in an HRESULT is said by its own code.
    const DWORD code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                                  : static_cast<DWORD>(result);
    Report((std::string(failedText) + ": " + win::ErrorText(code)).c_str(), "ERROR", MB_ICONHAND);
    return;
  }
  // S_FALSE: a 32-bit library on 64-bit Windows registered itself, but not a 64-bit one.
  const std::string text =
      std::string(doneText) + (result == S_FALSE ? std::string("\n\nThe 64-bit Explorer will not show the menu: ") +
                                                       shellext::kLibrary64 + " is not beside Zelvane.exe."
                                                 : "");
  Report(text.c_str(), "SUCCESS", MB_ICONINFORMATION);
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
  launch::Launcher(system).RunPrograms(ProgramFolder() + launch::kEditorProgram + "|", "");
}

void OpenUpdatePage() {
  // The result is not examined: without a browser for web addresses nothing happens.
  ::ShellExecuteA(nullptr, "OPEN", kUpdateAddress, "", "", SW_SHOW);
}

void ShowAbout() {
  ::ShellAboutA(g_tray.mainWindow, kAboutTitle, kAboutText, g_tray.icon.get());
}

[[noreturn]] void ExitProgram() {
  DeleteTrayIcon();
  ::ExitProcess(0);
}

}  // namespace

bool AutoStartEnabled() {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
    return false;
  }
  const win::UniqueHkey key(opened);
  // Any value of that name counts, whatever its type and data.
  DWORD size = 0;
  return ::RegQueryValueExA(key.get(), kRunValue, nullptr, nullptr, nullptr, &size) ==
         ERROR_SUCCESS;
}

LONG SetAutoStart(bool enabled) {
  HKEY opened = nullptr;
  const LONG open = ::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &opened);
  if (open != ERROR_SUCCESS) return open;
  const win::UniqueHkey key(opened);
  if (!enabled) {
    const LONG deleted = ::RegDeleteValueA(key.get(), kRunValue);
    return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
  }
  // Quoted: Windows reads an unquoted path with a space by its prefixes ("C:\Users\Ann.exe"
  // before "C:\Users\Ann Lee\...\Zelvane.exe"). The count includes the terminating zero byte.
  const std::string command = "\"" + win::GetModulePath() + "\"";
  return ::RegSetValueExA(key.get(), kRunValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>(command.size() + 1));
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
  if (::AppendMenuA(g_tray.currentPopup.get(), MF_POPUP,
                    reinterpret_cast<UINT_PTR>(options.get()), "Options")) {
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
      CallShellRegistration("DllRegisterServer", "Menu Registered",
                            "Menu could not be registered");
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
