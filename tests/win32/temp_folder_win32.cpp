#include "tests/win32/temp_folder_win32.h"

#include <windows.h>

#include <atomic>
#include <fstream>

namespace zel::test {

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
        ::DeleteFileA(full.c_str());
      }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryA(path.c_str());
}

TempFolder::TempFolder(const std::string& stem) {
  // Unique across processes (the pid) and across runs that reuse a pid (the tick count). The
  // name starts with the tick count's fast-moving digits: Wine makes short names from the
  // first four characters and a three-character hash, and folders that share those four
  // characters can collide, so that a short path leads back to another folder's long name.
  static std::atomic<int> serial{0};
  char base[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, base);
  const DWORD tick = ::GetTickCount();
  path_ = std::string(base) + std::to_string(10000 + tick % 10000).substr(1) + " " + stem + " " +
          std::to_string(::GetCurrentProcessId()) + " " + std::to_string(tick) + " " +
          std::to_string(++serial);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::Write(const std::string& name, const std::string& bytes) const {
  const std::string full = path_ + "\\" + name;
  std::ofstream(full, std::ios::binary) << bytes;
  return full;
}

std::string TempFolder::Copy(const std::string& source, const std::string& name) const {
  const std::string full = path_ + "\\" + name;
  return ::CopyFileA(source.c_str(), full.c_str(), FALSE) ? full : std::string();
}

std::string TempFolder::MakeFolder(const std::string& name) const {
  const std::string full = path_ + "\\" + name;
  ::CreateDirectoryA(full.c_str(), nullptr);
  return full;
}

}  // namespace zel::test
