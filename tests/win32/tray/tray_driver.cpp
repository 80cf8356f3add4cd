#include "tests/win32/tray/tray_driver.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zel::test {
namespace {

constexpr UINT kTrayCallback = 0x401;

struct FindRequest {
  DWORD pid;
  const char* className;
  const char* title;
  HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != request->pid || !::IsWindowVisible(window)) return TRUE;
  if (ClassName(window) != request->className) return TRUE;
  if (request->title != nullptr && WindowText(window) != request->title) return TRUE;
  request->found = window;
  return FALSE;
}

HWND FindVisible(DWORD pid, const char* className, const char* title = nullptr) {
  FindRequest request{pid, className, title, nullptr};
  ::EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

BOOL CALLBACK FindMainWindow(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid == request->pid && ClassName(window) == "Zelvane") {
    request->found = window;
    return FALSE;
  }
  return TRUE;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, int milliseconds) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (done()) return true;
    if (::GetTickCount() - start > static_cast<DWORD>(milliseconds)) return false;
    ::Sleep(20);
  }
}

std::string WindowText(HWND window) {
  // WM_GETTEXT itself: GetWindowText of another process's window reads only its caption,
  // which an edit control does not keep.
  char text[1024] = {};
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof(name));
  return name;
}

bool TrayIconExists(HWND owner) {
  NOTIFYICONDATAA data = {};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = owner;
  data.uID = 0;
  data.uFlags = 0;
  return ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

TrayProgram::TrayProgram(const std::string& exe, const std::string& currentFolder) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::string commandLine = "\"" + exe + "\"";
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup,
                        &process_)) {
    throw std::runtime_error("cannot start " + exe);
  }
  FindRequest request{process_.dwProcessId, "Zelvane", nullptr, nullptr};
  WaitFor([&] {
    ::EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&request));
    return request.found != nullptr;
  });
  window_ = request.found;
  if (window_ == nullptr) {
    ::TerminateProcess(process_.hProcess, 1);
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
    std::string windows;
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(w, &owner);
      windows += ClassName(w) + "/" + std::to_string(owner) + " ";
    }
    throw std::runtime_error("no main window of " + std::to_string(process_.dwProcessId) + ": " +
                             windows);
  }
  // The icon is added right after the window; wait for it so that tests start from a settled
  // program.
  WaitFor([&] { return HasTrayIcon(); }, 5000);

  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  dumpPath_ = std::string(temp) + "zelvane-menu-" + std::to_string(pid()) + ".txt";
  hookLibrary_ = ::LoadLibraryA("tray_hook.dll");
  const auto proc = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(::GetProcAddress(hookLibrary_, "CallWndHook")));
  hook_ = ::SetWindowsHookExA(WH_CALLWNDPROC, proc, hookLibrary_, process_.dwThreadId);
}

TrayProgram::~TrayProgram() {
  if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
  if (hookLibrary_ != nullptr) ::FreeLibrary(hookLibrary_);
  if (Running()) {
    ::TerminateProcess(process_.hProcess, 1);
    ::WaitForSingleObject(process_.hProcess, 5000);
  }
  // A terminated program leaves its icon behind; take it away for the next test.
  NOTIFYICONDATAA data = {};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window_;
  ::Shell_NotifyIconA(NIM_DELETE, &data);
  ::DeleteFileA(dumpPath_.c_str());
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
}

bool TrayProgram::Running() const {
  return ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD TrayProgram::WaitForExit(int milliseconds) const {
  ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds));
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

HWND TrayProgram::PopupWindow() const { return FindVisible(pid(), "#32768"); }

std::vector<DumpedItem> TrayProgram::OpenMenu(UINT mouseMessage) {
  ::DeleteFileA(dumpPath_.c_str());
  ::PostMessageA(window_, kTrayCallback, 0, mouseMessage);
  std::string dump;
  const bool opened = WaitFor([&] {
    dump = ReadFile(dumpPath_);
    return PopupWindow() != nullptr && dump.find("END\n") != std::string::npos;
  });
  if (!opened) {
    std::string windows;
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(w, &owner);
      windows += ClassName(w) + "/" + std::to_string(owner) + "/" +
                 std::to_string(::IsWindowVisible(w)) + " ";
    }
    throw std::runtime_error(PopupWindow() == nullptr ? "no popup menu appeared: pid " +
                                                            std::to_string(pid()) + " " + windows
                                                      : "the popup menu was not read: " + dump);
  }
  std::vector<DumpedItem> items;
  std::istringstream lines(dump.substr(0, dump.find("END\n")));
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "MENU") continue;
    std::istringstream fields(line);
    DumpedItem item;
    std::string depth, id, state;
    std::getline(fields, depth, '\t');
    std::getline(fields, item.kind, '\t');
    std::getline(fields, id, '\t');
    std::getline(fields, state, '\t');
    std::getline(fields, item.caption);
    item.depth = std::atoi(depth.c_str());
    item.id = static_cast<unsigned>(std::strtoul(id.c_str(), nullptr, 10));
    item.checked = state == "checked";
    items.push_back(item);
  }
  return items;
}

void TrayProgram::CloseMenu() {
  for (int i = 0; i < 3 && PopupWindow() != nullptr; ++i) {
    ::PostMessageA(PopupWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    WaitFor([&] { return PopupWindow() == nullptr; }, 2000);
  }
}

void TrayProgram::ChooseWithKeys(int n) {
  const HWND popup = PopupWindow();
  for (int i = 0; i < n; ++i) ::PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
  ::PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
  WaitFor([&] { return PopupWindow() == nullptr; }, 5000);
}

TopWindow TrayProgram::FindDialog(const char* title) const {
  TopWindow dialog;
  dialog.handle = FindVisible(pid(), "#32770", title);
  if (dialog.handle != nullptr) {
    dialog.title = WindowText(dialog.handle);
    dialog.text = WindowText(::GetDlgItem(dialog.handle, 0xFFFF));
  }
  return dialog;
}

TopWindow TrayProgram::WaitForDialog(const char* title, int milliseconds) const {
  TopWindow dialog;
  WaitFor([&] {
    dialog = FindDialog(title);
    return dialog.handle != nullptr;
  }, milliseconds);
  return dialog;
}

std::vector<HWND> TrayProgram::Controls() const {
  std::vector<HWND> controls;
  for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    controls.push_back(child);
  }
  return controls;
}

std::vector<std::string> TrayProgram::InsideReport() {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "zelvane-report-" + std::to_string(pid()) + ".txt";
  ::DeleteFileA(path.c_str());
  ::SendMessageA(window_, ::RegisterWindowMessageA("ZelvaneTrayTestReport"), 0, 0);
  std::string report;
  WaitFor([&] {
    report = ReadFile(path);
    return report.find("END\n") != std::string::npos;
  }, 5000);
  ::DeleteFileA(path.c_str());
  std::vector<std::string> lines;
  std::istringstream in(report);
  std::string line;
  while (std::getline(in, line) && line != "END") lines.push_back(line);
  return lines;
}

bool TrayProgram::HasTrayIcon() const { return TrayIconExists(window_); }

std::string MenuFileScope::Path() {
  char folder[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::string(folder) + "\\Zelvane\\Menu.txt";
}

MenuFileScope::MenuFileScope(const std::string& bytes) {
  const std::string path = Path();
  ::CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
  hadOne_ = ::MoveFileExA(path.c_str(), (path + ".before-test").c_str(),
                          MOVEFILE_REPLACE_EXISTING) != 0;
  std::ofstream(path, std::ios::binary) << bytes;
}

MenuFileScope::~MenuFileScope() {
  const std::string path = Path();
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a test may have made it read-only
  ::DeleteFileA(path.c_str());
  ::RemoveDirectoryA(path.c_str());  // a test may have put a folder in its place
  if (hadOne_) ::MoveFileA((path + ".before-test").c_str(), path.c_str());
}

}  // namespace zel::test
