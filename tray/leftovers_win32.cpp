// The start-up's removal of what setup set aside beside the program.
#include "tray/leftovers.h"

#include <windows.h>

#include <string>

#include "win/unique_handle_win32.h"

namespace zel::tray {
namespace {

// The folder of this program's own file, with its final backslash; empty when unknown.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    // A full buffer means the name was cut (GetModuleFileName documentation).
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool EndsWithSuffix(const std::wstring& name) {
  const std::wstring suffix = kLeftoverSuffix;
  return name.size() > suffix.size() &&
         ::CompareStringOrdinal(name.c_str() + name.size() - suffix.size(), -1, suffix.c_str(), -1,
                                TRUE) == CSTR_EQUAL;
}

}  // namespace

void DeleteLeftovers() {
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) return;
  WIN32_FIND_DATAW found = {};
  const win::UniqueFind search(::FindFirstFileW((folder + L"*" + kLeftoverSuffix).c_str(), &found));
  if (!search) return;  // none
  do {
    // The pattern also matches 8.3 names: only a long name with the suffix counts. A folder or a
    // link is not something setup made.
    const DWORD skipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((found.dwFileAttributes & skipped) != 0 || !EndsWithSuffix(found.cFileName)) continue;
    ::DeleteFileW((folder + found.cFileName).c_str());  // fails while in use: next start
  } while (::FindNextFileW(search.get(), &found));
}

}  // namespace zel::tray
