// What the Windows tests share: scratch folders, the user's menu file swapped for a test, the
// records of the recorder program and the log of the test DLL, menus read back as text,
// windows and dialogs, the registry. Every handle it opens has an owner.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "win/unique_handle_win32.h"

namespace zel::test {

// Polls `done` every 20 ms for up to `milliseconds`.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 10000);

// A build product by its path under the build folder ("tray/Zelvane.exe").
std::string Built(const std::string& relative);
std::string ReadBytes(const std::string& path);

// A folder under %TEMP% with spaces in its name (where quoting and short names matter),
// removed with everything in it. Write, Copy and MakeFolder return the full path they made.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::string Copy(const std::string& source, const std::string& name) const;
  std::string MakeFolder(const std::string& name) const;
  // An empty file whose name (UTF-8 here) has characters outside the ANSI code page.
  std::wstring WriteWide(const std::string& utf8Name) const;

 private:
  std::string path_;
};

// The user's menu file, set for a test (none when empty) and removed afterwards with the
// editor's backup: the tests run only in the Wine prefixes that ctest makes for them.
class UserMenuFile {
 public:
  explicit UserMenuFile(const std::string& bytes = "");
  ~UserMenuFile();
  UserMenuFile(const UserMenuFile&) = delete;
  UserMenuFile& operator=(const UserMenuFile&) = delete;
  static std::string Path();
  void Set(const std::string& bytes) const;
  void Remove() const;  // neither a file nor a folder of that name
};

// What a copy of the recorder program wrote when it was started: its command line and its
// current folder, a line each, in <folder>\<its name>.txt; empty when nothing came in time.
std::string WaitForRecord(const std::string& folder, const std::string& name,
                          int milliseconds = 10000);
inline std::string Started(const std::string& commandLine, const std::string& folder) {
  return commandLine + "\n" + folder + "\n";
}

// The calls of zel_test_procs.dll's procedures in this process, "; " between them. Holds the
// DLL loaded, so its log outlives the FreeLibrary after every call.
class ProcLog {
 public:
  ProcLog() : dll_(::LoadLibraryA(DllPath().c_str())) {}
  static std::string DllPath() { return Built("tests/win32/zel_test_procs.dll"); }
  std::string Take();

 private:
  win::UniqueHmodule dll_;
};

// A menu as text, one line an item: "<two spaces a level><sep|sub|item> <id>[ checked][
// <caption>]", a line feed after each; captions read wide, in UTF-8. Header-only: the hook library
// inside the tray program writes it too.
inline std::string MenuText(HMENU menu, int depth = 0) {
  std::string text;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t caption[512] = {};
    char utf8[1536] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_STATE;
    info.dwTypeData = caption;
    info.cch = ARRAYSIZE(caption);
    ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    ::WideCharToMultiByte(CP_UTF8, 0, caption, -1, utf8, sizeof(utf8), nullptr, nullptr);
    text += std::string(2 * depth, ' ') +
            ((info.fType & MFT_SEPARATOR) ? "sep"
             : info.hSubMenu              ? "sub"
                                          : "item") +
            " " + std::to_string(info.hSubMenu ? 0u : info.wID) +
            ((info.fState & MFS_CHECKED) ? " checked" : "") + (*utf8 ? " " : "") + utf8 + "\n";
    if (info.hSubMenu != nullptr) text += MenuText(info.hSubMenu, depth + 1);
  }
  return text;
}

std::string WindowText(HWND window);
std::string ClassName(HWND window);

struct Dialog {
  HWND handle = nullptr;
  std::string title;
  std::string text;  // a message box's text
  HWND owner = nullptr;
};
Dialog ReadDialog(HWND window);

// The message boxes shown on this thread while it lives, "CAPTION: text\n" each (with
// " (owned)" when the box has an owner), each closed as soon as it is shown.
class Boxes {
 public:
  Boxes() : hook_(::SetWindowsHookExA(WH_CBT, &Boxes::Hook, nullptr, ::GetCurrentThreadId())) {
    shown.clear();
  }
  ~Boxes() { ::UnhookWindowsHookEx(hook_); }
  static inline std::string shown;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    // Activated, not created: the box has its texts by then.
    if (code == HCBT_ACTIVATE && ClassName(reinterpret_cast<HWND>(wParam)) == "#32770") {
      const Dialog box = ReadDialog(reinterpret_cast<HWND>(wParam));
      shown += box.title + ": " + box.text + (box.owner != nullptr ? " (owned)" : "") + "\n";
      // Posted: it closes the box from its modal loop.
      ::PostMessageA(box.handle, WM_CLOSE, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  HHOOK hook_;
};

std::optional<std::string> ReadText(HKEY root, const std::string& key, const char* valueName);
// "<n> keys, <n> values" directly under a key; empty when there is no such key.
std::string KeyShape(HKEY root, const std::string& key);

}  // namespace zel::test
