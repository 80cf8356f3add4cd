#include "tests/win32/support.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include "menu/menu_win32.h"
#include "win/code_page_win32.h"

namespace zel::test {

std::string ClassName(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof(name));
  return name;
}

Dialog ReadDialog(HWND window) {
  return {window, WindowText(window), WindowText(::GetDlgItem(window, 0xFFFF)),
          ::GetWindow(window, GW_OWNER)};
}

bool WaitFor(const std::function<bool()>& done, int milliseconds) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > static_cast<DWORD>(milliseconds)) return false;
    ::Sleep(20);
  }
  return true;
}

std::string Built(const std::string& relative) {
  std::string path = ZEL_BUILD_DIR "\\" + relative;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

ScratchFolder::ScratchFolder() {
  // Unique across processes and runs. The name starts with the tick count's fast-moving digits:
  // Wine makes short names from the first four characters and a hash, and folders that share
  // those four characters can collide, so that a short path leads to another folder.
  static std::atomic<int> serial{0};
  char base[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, base);
  path_ = std::string(base) + std::to_string(10000 + ::GetTickCount() % 10000).substr(1) +
          " zel test " + std::to_string(::GetCurrentProcessId()) + " " + std::to_string(++serial);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
  // The whole tree, read-only files too, without asking; the list of names ends in two NULs.
  const std::string from = path_ + '\0';
  SHFILEOPSTRUCTA operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  ::SHFileOperationA(&operation);
}

std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
  return (std::ofstream(path_ + "\\" + name, std::ios::binary) << bytes), path_ + "\\" + name;
}

std::string ScratchFolder::Copy(const std::string& source, const std::string& name) const {
  return ::CopyFileA(source.c_str(), (path_ + "\\" + name).c_str(), FALSE) ? path_ + "\\" + name
                                                                           : "";
}

std::string ScratchFolder::MakeFolder(const std::string& name) const {
  return ::CreateDirectoryA((path_ + "\\" + name).c_str(), nullptr), path_ + "\\" + name;
}

std::wstring ScratchFolder::WriteWide(const std::string& utf8Name) const {
  const std::wstring path = win::Widen(path_) + L"\\" + win::Widen(utf8Name, TextKind::Utf8);
  ::CloseHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return path;
}

std::string UserMenuFile::Path() { return menu::GetMenuFilePath(); }

UserMenuFile::UserMenuFile(const std::string& bytes) {
  ::CreateDirectoryA(Path().substr(0, Path().find_last_of('\\')).c_str(), nullptr);
  if (!bytes.empty()) Set(bytes);
}

UserMenuFile::~UserMenuFile() {
  Remove();
  ::SetFileAttributesA((Path() + ".bak").c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA((Path() + ".bak").c_str());
}

void UserMenuFile::Set(const std::string& bytes) const {
  Remove();
  std::ofstream(Path(), std::ios::binary) << bytes;
}

void UserMenuFile::Remove() const {
  ::SetFileAttributesA(Path().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(Path().c_str());
  ::RemoveDirectoryA(Path().c_str());
}

std::string WaitForRecord(const std::string& folder, const std::string& name, int milliseconds) {
  std::string record;
  WaitFor([&] { return !(record = ReadBytes(folder + "\\" + name + ".txt")).empty(); },
          milliseconds);
  return record;
}

std::string ProcLog::Take() {
  const auto take = reinterpret_cast<int(__stdcall*)(char*, int)>(
      reinterpret_cast<void*>(::GetProcAddress(dll_.get(), "TakeLog")));
  // A missing DLL or export fails the test instead of crashing the run.
  if (take == nullptr) return "zel_test_procs.dll or its TakeLog cannot be had";
  std::string log(1 << 20, '\0');
  log.resize(static_cast<std::size_t>(take(log.data(), static_cast<int>(log.size()))));
  return log;
}

std::string WindowText(HWND window) {
  // WM_GETTEXT itself: GetWindowText of another process's window reads only its caption.
  DWORD_PTR length = 0, copied = 0;
  ::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::string text(length + 1, '\0');
  ::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

std::optional<std::string> ReadText(HKEY root, const std::string& key, const char* valueName) {
  char data[2048] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  const LONG read = ::RegGetValueA(root, key.c_str(), valueName, RRF_RT_ANY, &type, data, &size);
  return read == ERROR_SUCCESS && type == REG_SZ ? std::optional<std::string>(data) : std::nullopt;
}

std::string KeyShape(HKEY root, const std::string& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return "";
  const win::UniqueHkey owned(opened);
  DWORD keys = 0, values = 0;
  ::RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
  return std::to_string(keys) + " keys, " + std::to_string(values) + " values";
}

}  // namespace zel::test
