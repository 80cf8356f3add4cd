// Calls of the Win32 path functions that fill a caller's buffer (GetShortPathNameA,
// GetFullPathNameA, GetCurrentDirectoryA ...): on a short buffer they return the size needed,
// terminator included, and 0 on failure.
#pragma once

#include <windows.h>

#include <string>

namespace zel {

// Runs `call(buffer, size)` with a buffer that grows to the size the call asks for; the text
// it stored, or empty when it fails.
template <typename Call>
std::string PathCall(const Call& call) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, '\0');
  }
  return {};
}

}  // namespace zel
