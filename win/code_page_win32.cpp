#include "win/code_page_win32.h"

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

}  // namespace

std::optional<std::string> AnsiPathFor(const std::wstring& path) {
  if (std::optional<std::string> ansi = ToAnsi(path)) return ansi;
  std::vector<wchar_t> shortPath(MAX_PATH + 1);
  // Without a short name (8.3 names switched off on the volume) the call gives the long path
  // back, which the conversion then refuses again.
  const DWORD length =
      ::GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
  if (length == 0 || length >= shortPath.size()) return std::nullopt;
  return ToAnsi(std::wstring(shortPath.data(), length));
}

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int size =
      ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
  return narrow;
}

UINT CodePageOf(menu::TextKind kind) { return kind == menu::TextKind::Utf8 ? CP_UTF8 : CP_ACP; }

}  // namespace

std::wstring Widen(std::string_view text, menu::TextKind kind) {
  return ToWide(CodePageOf(kind), text);
}

std::string Narrow(std::wstring_view text, menu::TextKind kind) {
  return FromWide(CodePageOf(kind), text);
}

std::string ToAnsiText(const std::string& text, menu::TextKind kind) {
  return kind == menu::TextKind::Ansi ? text : Narrow(Widen(text, kind), menu::TextKind::Ansi);
}

bool AnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByteEx(CP_ACP, byte) != FALSE; }

}  // namespace zel::win
