#include "tests/win32/editor/editor_driver.h"
#include "win/code_page_win32.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tools/editor/editor_ids.h"

namespace zel::test {
namespace {

struct Search {
  DWORD pid;
  const char* className;
  const char* title;
  HWND found;
};

BOOL CALLBACK FindTopWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || !::IsWindowVisible(window)) return TRUE;
  if (ClassName(window) != search->className) return TRUE;
  if (search->title != nullptr && WindowText(window) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindTop(DWORD pid, const char* className, const char* title = nullptr) {
  Search search{pid, className, title, nullptr};
  ::EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

std::string BinaryPath(const std::string& relative) {
  std::string path = ZEL_BIN_DIR "\\" + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

EditorProgram::EditorProgram(const std::string& argumentText, const std::string& exe)
    : EditorProgram(win::Widen(argumentText), exe) {}

EditorProgram::EditorProgram(const std::wstring& argumentText, const std::string& exe) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  std::wstring commandLine = L"\"" + win::Widen(exe) + L"\" " + argumentText;
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process_)) {
    throw std::runtime_error("cannot start " + exe);
  }
  WaitFor([&] {
    window_ = FindTop(pid(), tools::editor::kEditorClass);
    return window_ != nullptr && !Text(tools::editor::IDC_STATUS).empty();
  });
  if (window_ == nullptr) {
    ::TerminateProcess(process_.hProcess, 1);
    throw std::runtime_error("no editor window appeared");
  }
}

EditorProgram::~EditorProgram() {
  if (Running()) {
    ::TerminateProcess(process_.hProcess, 1);
    ::WaitForSingleObject(process_.hProcess, 5000);
  }
  // The window outlives the process for a moment; the next test must not find it.
  WaitFor([&] { return !::IsWindow(window_); }, 5000);
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
}

HWND EditorProgram::Control(int id) const { return ::GetDlgItem(window_, id); }

bool EditorProgram::Running() const {
  return ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool EditorProgram::WaitForExit(int milliseconds) const {
  return ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds)) ==
         WAIT_OBJECT_0;
}

std::string EditorProgram::Text(int id) const {
  const HWND control = id == 0 ? window_ : Control(id);
  DWORD_PTR length = 0;
  ::SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::vector<char> text(length + 1, '\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  return std::string(text.data(), std::min<std::size_t>(copied, length));
}

std::string EditorProgram::Title() const { return Text(0); }

std::string EditorProgram::SelectedText() const {
  DWORD_PTR range = 0;
  ::SendMessageTimeoutA(Control(tools::editor::IDC_TEXT), EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &range);
  const std::string text = Text(tools::editor::IDC_TEXT);
  const std::size_t start = LOWORD(range);
  const std::size_t end = HIWORD(range);
  if (start > end || end > text.size()) return "<bad selection>";
  return text.substr(start, end - start);
}

void EditorProgram::Type(const std::string& text) const {
  // A replaced selection marks the text changed and notifies the window, as typing does.
  const HWND edit = Control(tools::editor::IDC_TEXT);
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(edit, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, 5000, &result);
  ::SendMessageTimeoutA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &result);
}

void EditorProgram::Press(int id) const {
  // Posted: the button may open a modal message box, and a sent message would wait for it.
  ::PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(id)));
}

bool EditorProgram::WaitForStatus(const std::string& part, int milliseconds) const {
  return WaitFor([&] { return Text(tools::editor::IDC_STATUS).find(part) != std::string::npos; },
                 milliseconds);
}

TopWindow EditorProgram::WaitForDialog(const char* title, int milliseconds) const {
  TopWindow dialog;
  WaitFor([&] {
    dialog.handle = FindTop(pid(), "#32770", title);
    return dialog.handle != nullptr;
  }, milliseconds);
  if (dialog.handle != nullptr) {
    dialog.title = WindowText(dialog.handle);
    dialog.text = WindowText(::GetDlgItem(dialog.handle, 0xFFFF));
  }
  return dialog;
}

EditorWindow::EditorWindow() {
  WaitFor([&] {
    window_ = ::FindWindowA(tools::editor::kEditorClass, nullptr);
    return window_ != nullptr;
  });
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window_, &pid);
  process_ = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
}

EditorWindow::~EditorWindow() {
  if (process_ == nullptr) return;
  if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
  WaitFor([&] { return !::IsWindow(window_); }, 5000);
}

bool EditorWindow::WaitForExit(int milliseconds) const {
  return process_ != nullptr &&
         ::WaitForSingleObject(process_, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

std::string EditorWindow::Text() const {
  const HWND edit = ::GetDlgItem(window_, tools::editor::IDC_TEXT);
  DWORD_PTR length = 0;
  ::SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::vector<char> text(length + 1, '\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  return std::string(text.data(), std::min<std::size_t>(copied, length));
}

void EditorProgram::Answer(const TopWindow& dialog, int button) {
  ::PostMessageA(dialog.handle, WM_COMMAND, button, 0);
  WaitFor([&] { return !::IsWindow(dialog.handle); }, 5000);
}

}  // namespace zel::test
