#include "win/code_page_win32.h"

#include "win/paths_win32.h"

#include <windows.h>

#include <vector>

namespace zel::win {
namespace {

// The text in the ANSI code page, or nothing when a character has no form there.
std::optional<std::string> ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  // A UTF-8 ANSI code page (the "beta: use Unicode UTF-8" setting) holds every character, and
  // WideCharToMultiByte refuses the flags and the default-character test for it.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* const used = utf8 ? nullptr : &usedDefault;
  const int size = ::WideCharToMultiByte(CP_ACP, flags, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, used);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, text.data(), static_cast<int>(text.size()), ansi.data(),
                        size, nullptr, nullptr);
  return ansi;
}

std::string FromWide(UINT codePage, std::wstring_view text, DWORD flags = 0) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(
      codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
  return narrow;
}

// The text in UTF-8, or nothing when it is no valid UTF-16 (a lone surrogate): converted, it
// would become U+FFFD and name another file.
std::optional<std::string> ToUtf8(const std::wstring& text) {
  std::string utf8 = FromWide(CP_UTF8, text, WC_ERR_INVALID_CHARS);
  if (utf8.empty() && !text.empty()) return std::nullopt;
  return utf8;
}

UINT CodePageOf(TextKind kind) { return kind == TextKind::Utf8 ? CP_UTF8 : CP_ACP; }

// `path` by `convert`, else its short form by `convert`, else nothing. Without a short name (8.3
// names switched off on the volume) the call gives the long path back, which `convert` then
// refuses again.
template <typename Convert>
std::optional<std::string> PathOrShortPath(const std::wstring& path, const Convert& convert) {
  if (std::optional<std::string> text = convert(path)) return text;
  const std::wstring shortPath = ShortPathW(path);
  if (shortPath.empty()) return std::nullopt;
  return convert(shortPath);
}

}  // namespace

std::optional<std::string> Utf8PathFor(const std::wstring& path) {
  return PathOrShortPath(path, ToUtf8);
}

std::optional<std::string> AnsiPathFor(const std::wstring& path) {
  return PathOrShortPath(path, ToAnsi);
}

std::wstring Widen(std::string_view text, TextKind kind) {
  std::wstring wide;
  Widen(text, kind, wide);
  return wide;
}

void Widen(std::string_view text, TextKind kind, std::wstring& wide) {
  // No byte becomes more than one UTF-16 unit, in any code page.
  wide.resize(text.size());
  const int size = text.empty() ? 0
                                : ::MultiByteToWideChar(CodePageOf(kind), 0, text.data(),
                                                        static_cast<int>(text.size()), wide.data(),
                                                        static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(size > 0 ? size : 0));
}

std::string Narrow(std::wstring_view text, TextKind kind) {
  return FromWide(CodePageOf(kind), text);
}

std::string ToAnsiText(const std::string& text, TextKind kind) {
  if (kind == TextKind::Ansi) return text;
  const std::wstring wide = Widen(text, kind);
  if (wide.empty()) return {};
  // The flag is refused for a UTF-8 ANSI code page, which holds every character anyway.
  const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                        size, nullptr, nullptr);
  return ansi;
}

std::string AnsiReading(const std::string& text, TextKind kind) {
  if (kind == TextKind::Ansi || ::GetACP() == CP_UTF8) return text;
  const std::wstring wide = Widen(text, kind);
  std::wstring reading;
  for (std::size_t pos = 0; pos < wide.size();) {
    // A surrogate pair is one character.
    const std::size_t length =
        IS_HIGH_SURROGATE(wide[pos]) && pos + 1 < wide.size() && IS_LOW_SURROGATE(wide[pos + 1])
            ? 2
            : 1;
    char ansi[8] = {};
    BOOL usedDefault = FALSE;
    // One character at a time, with best fit (no flags): what a conversion of the whole
    // command line gives for it.
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data() + pos, static_cast<int>(length),
                                           ansi, sizeof(ansi), nullptr, &usedDefault);
    // Letters and digits are let be: "\u0142" read as "l" changes no argument.
    const auto c = static_cast<unsigned char>(ansi[0]);
    const bool becomesAscii = size == 1 && c < 0x80 && !usedDefault && wide[pos] >= 0x80 &&
                              !::IsCharAlphaNumericA(static_cast<CHAR>(c));
    if (becomesAscii) {
      reading += static_cast<wchar_t>(ansi[0]);
    } else {
      reading.append(wide, pos, length);
    }
    pos += length;
  }
  return Narrow(reading, kind);
}

bool AnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByteEx(CP_ACP, byte) != FALSE; }

}  // namespace zel::win
