// Paths from the system: the grow-the-buffer call of the path functions, a module's file and
// an object's short name.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace zel::win {

// The longest path the Unicode-era functions hand out, terminator included.
inline constexpr std::size_t kMaxPathBuffer = 32768;

// Runs `call(buffer, size)` with a buffer that grows until the text fits, and returns the text
// (empty when the call fails). The path functions (GetShortPathNameA, GetFullPathNameA,
// GetCurrentDirectoryA ...) return the size they need, terminator included, when the buffer
// is short; GetModuleFileNameA returns the buffer's size, having cut the path.
template <typename Call>
std::string PathCall(const Call& call) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (;;) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    if (buffer.size() >= kMaxPathBuffer) return {};
    buffer.assign(std::max<std::size_t>(length, buffer.size() * 2), '\0');
  }
}

// The full path of `module`'s file (null: the program itself); empty when it cannot be had.
std::string GetModulePath(HMODULE module = nullptr);

// The short (8.3) form of `path`; `path` itself when it has none, for instance because
// nothing exists there.
std::string ShortPath(const std::string& path);

}  // namespace zel::win
