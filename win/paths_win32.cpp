#include "win/paths_win32.h"

#include "win/code_page_win32.h"

namespace zel::win {

std::wstring GetModulePathW(HMODULE module) {
  return PathCall<wchar_t>(
      [&](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(module, buffer, size); });
}

std::string GetModulePath(HMODULE module) {
  return AnsiPathFor(GetModulePathW(module)).value_or(std::string());
}

std::string ModuleFolder(HMODULE module, menu::TextKind kind) {
  const std::string path = kind == menu::TextKind::Utf8
                               ? Narrow(GetModulePathW(module), menu::TextKind::Utf8)
                               : GetModulePath(module);
  return path.substr(0, path.find_last_of('\\') + 1);  // npos + 1: no backslash, no folder
}

bool StaysLocal(const std::wstring& path) {
  if (path.size() < 3 || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return false;
  const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
  if (::GetDriveTypeW(root) != DRIVE_FIXED) return false;
  // FILE_ATTRIBUTE_RECALL_ON_OPEN and FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS: cloud files.
  constexpr DWORD kElsewhere =
      FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE | 0x00040000 | 0x00400000;
  for (std::size_t end = 2; end != std::wstring::npos && end + 1 < path.size();) {
    end = path.find_first_of(L"\\/", end + 1);
    const DWORD attributes = ::GetFileAttributesW(path.substr(0, end).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kElsewhere) != 0) return false;
  }
  return true;
}

std::string ShortPath(const std::string& path, menu::TextKind kind) {
  const std::wstring wide = Widen(path, kind);
  const std::wstring shortForm = PathCall<wchar_t>(
      [&](wchar_t* buffer, DWORD size) { return ::GetShortPathNameW(wide.c_str(), buffer, size); });
  return shortForm.empty() ? path : Narrow(shortForm, kind);
}

}  // namespace zel::win
