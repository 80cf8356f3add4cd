// Paths between the system's UTF-16 names and the ANSI code page the programs work in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/characters.h"
#include "text/text_kind.h"

namespace zel::win {

// A path the ANSI functions can use for the object the system names `path`: the path itself
// when every character has a form in the ANSI code page, else its short (8.3) form when that
// has one, else nothing. (The ANSI functions would turn the other characters into "?" and name
// another object, or none.)
std::optional<std::string> AnsiPathFor(const std::wstring& path);
// The same in UTF-8: the path itself, else its short form, when the name is no valid UTF-16 (a
// lone surrogate, which NTFS allows), else nothing.
std::optional<std::string> Utf8PathFor(const std::wstring& path);

// A text in UTF-16 and back, from and to the code page of its kind: CP_ACP, or CP_UTF8 for a
// UTF-8 menu file and for texts that portable code cuts at ASCII characters, whatever else they
// hold. Characters the ANSI code page lacks become its default character, as in the "A"
// functions.
std::wstring Widen(std::string_view text, TextKind kind = TextKind::Ansi);
// The same into `wide`, whose storage serves again (one conversion, no allocation once large
// enough): for texts converted one after another, such as a menu's captions.
void Widen(std::string_view text, TextKind kind, std::wstring& wide);
std::string Narrow(std::wstring_view text, TextKind kind);
// A text of a file of `kind` in the ANSI code page: what DLL procedures, which take ANSI
// text, are given. Characters the code page lacks become its default character ("?"), never a
// best-fit look-alike: U+FF02 must not become a quote.
std::string ToAnsiText(const std::string& text, TextKind kind);
// `text` (of `kind`) as a program reading its command line in ANSI gets it: the characters
// that the code page's best-fit mapping (WideCharToMultiByte without WC_NO_BEST_FIT_CHARS, as
// GetCommandLineA converts) turns into an ASCII character other than a letter or digit replaced
// by it, all others kept. An
// ANSI text, and any text under a UTF-8 ANSI code page, comes back as it is.
std::string AnsiReading(const std::string& text, TextKind kind);

// Whether `byte` opens a double-byte character in the ANSI code page (IsDBCSLeadByteEx).
bool AnsiLeadByte(unsigned char byte);
// The lead-byte test of a text of `kind`. A UTF-8 text has no double-byte characters: no byte
// of a character is a backslash.
inline LeadByteTest LeadBytesOf(TextKind kind) {
  return kind == TextKind::Utf8 ? &NoLeadBytes : &AnsiLeadByte;
}

}  // namespace zel::win
