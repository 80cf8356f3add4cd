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

std::wstring ShortPathW(const std::wstring& path) {
  return PathCall<wchar_t>(
      [&](wchar_t* buffer, DWORD size) { return ::GetShortPathNameW(path.c_str(), buffer, size); });
}

std::string ShortPath(const std::string& path, TextKind kind) {
  const std::wstring shortForm = ShortPathW(Widen(path, kind));
  return shortForm.empty() ? path : Narrow(shortForm, kind);
}

namespace {

// A path function's answer for `path`, both in `kind`.
template <typename Call>
std::string PathIn(TextKind kind, const std::string& path, const Call& call) {
  const std::wstring wide = Widen(path, kind);
  return Narrow(PathCall<wchar_t>(
                    [&](wchar_t* buffer, DWORD size) { return call(wide.c_str(), buffer, size); }),
                kind);
}

}  // namespace

std::string FullPath(const std::string& path, TextKind kind) {
  return PathIn(kind, path, [](const wchar_t* from, wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(from, size, buffer, nullptr);
  });
}

std::string LongPath(const std::string& path, TextKind kind) {
  return PathIn(kind, path, ::GetLongPathNameW);
}

}  // namespace zel::win
