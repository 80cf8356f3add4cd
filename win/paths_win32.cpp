#include "win/paths_win32.h"

namespace zel::win {

std::string GetModulePath(HMODULE module) {
  return PathCall([&](char* buffer, DWORD size) {
    return ::GetModuleFileNameA(module, buffer, size);
  });
}

std::string ShortPath(const std::string& path) {
  const std::string shortForm = PathCall([&](char* buffer, DWORD size) {
    return ::GetShortPathNameA(path.c_str(), buffer, size);
  });
  return shortForm.empty() ? path : shortForm;
}

}  // namespace zel::win
