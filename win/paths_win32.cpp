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

std::string ModuleFolder(HMODULE module, TextKind kind) {
  const std::string path = kind == TextKind::Utf8 ? Narrow(GetModulePathW(module), TextKind::Utf8)
                                                  : GetModulePath(module);
  return path.substr(0, path.find_last_of('\\') + 1);  // npos + 1: no backslash, no folder
}

bool FixedDrives::Hold(const std::string& path) {
  if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return false;
  const char letter = static_cast<char>(path[0] | 0x20);
  if (letter < 'a' || letter > 'z') return false;
  signed char& known = known_[letter - 'a'];
  if (known == 0) {
    const char root[] = {letter, ':', '\\', '\0'};
    known = ::GetDriveTypeA(root) == DRIVE_FIXED ? 1 : -1;
  }
  return known > 0;
}

std::string ShortPath(const std::string& path, TextKind kind) {
  const std::wstring wide = Widen(path, kind);
  const std::wstring shortForm = PathCall<wchar_t>(
      [&](wchar_t* buffer, DWORD size) { return ::GetShortPathNameW(wide.c_str(), buffer, size); });
  return shortForm.empty() ? path : Narrow(shortForm, kind);
}

}  // namespace zel::win
