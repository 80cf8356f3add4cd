// Paths from the system: the grow-the-buffer call of the path functions, a module's file and
// folder, and an object's short name. Names the system hands out are asked for in UTF-16 and
// made ANSI by AnsiPathFor (code_page_win32.h): the "A" calls put "?" for the characters the
// code page cannot hold, naming another file or none.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "text/text_kind.h"

namespace zel::win {

// The longest path the Unicode-era functions hand out, terminator included.
inline constexpr std::size_t kMaxPathBuffer = 32768;

// Runs `call(buffer, size)` with a buffer that grows until the text fits, and returns the text
// (empty when the call fails). The path functions (GetShortPathNameA, GetFullPathNameA,
// GetCurrentDirectoryA ...) return the size they need, terminator included, when the buffer
// is short; GetModuleFileName returns the buffer's size, having cut the path.
template <typename Char = char, typename Call>
std::basic_string<Char> PathCall(const Call& call) {
  std::basic_string<Char> buffer(MAX_PATH + 1, Char{});
  for (;;) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    if (buffer.size() >= kMaxPathBuffer) return {};
    buffer.assign(std::max<std::size_t>(length, buffer.size() * 2), Char{});
  }
}

// The full path of `module`'s file (null: the program itself), as the system names it; empty
// when it cannot be had.
std::wstring GetModulePathW(HMODULE module = nullptr);
// The same for the ANSI functions (AnsiPathFor): empty when it cannot be had or has no form
// they can use.
std::string GetModulePath(HMODULE module = nullptr);
// The folder of that path with its backslash: where the files shipped beside the module
// (Editor.exe, zelshell.dll) are. Empty under the same conditions. In UTF-8 for a UTF-8 menu
// file's entries.
std::string ModuleFolder(HMODULE module = nullptr, TextKind kind = TextKind::Ansi);

// Whether a "X:\..." path is on a fixed drive; false for network (UNC too), removable and
// optical ones. GetDriveType reads the volume's kind without touching its files, but costs more
// than finding a file: it is asked once per letter, for as long as the object lives (a build of
// a menu, a check of its files).
class FixedDrives {
 public:
  bool Hold(const std::string& path);

 private:
  signed char known_[26] = {};  // per letter: 0 not asked yet, 1 fixed, -1 not
};

// The short (8.3) form of `path`: empty when nothing exists there, the long path itself where
// the volume makes no short names.
std::wstring ShortPathW(const std::wstring& path);
// The short form of `path`, a text of a menu file of `kind`; `path` itself when it has none.
std::string ShortPath(const std::string& path, TextKind kind = TextKind::Ansi);
// The full (GetFullPathName) and long (GetLongPathName) forms of `path`, in `kind`; empty where
// the system gives none.
std::string FullPath(const std::string& path, TextKind kind);
std::string LongPath(const std::string& path, TextKind kind);

}  // namespace zel::win
