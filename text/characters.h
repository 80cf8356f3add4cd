// Characters of 8-bit text: which bytes belong together in the text's code page, and the
// searches and case folding that must never split a character. The ground floor, like
// text_kind.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zel {

// Whether a byte of 8-bit text opens a double-byte character in the code page the text is in
// (IsDBCSLeadByteEx on Windows). In code page 932 the second byte of such a character may be
// 0x5C, "\\": paths are scanned by character, never by byte.
using LeadByteTest = bool (*)(unsigned char byte);
// Single-byte code pages: every byte is a character.
inline bool NoLeadBytes(unsigned char) { return false; }

// The length in bytes of the character at `pos` (1, or 2 for a lead byte with a byte after it).
// No code page has an ASCII lead byte: only the others are asked about.
inline std::size_t CharLength(std::string_view text, std::size_t pos, LeadByteTest lead) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  return byte >= 0x80 && lead(byte) && pos + 1 < text.size() ? 2 : 1;
}

// The position of the first (or, with `last`, the last) single-byte character of `text` that is
// one of `set`, scanning by character; npos when there is none.
std::size_t FindChar(std::string_view text, std::string_view set, LeadByteTest lead,
                     bool last = false);

// ASCII A-Z lowered; every other byte as it is, whatever the code page. (No code page has an
// ASCII byte inside a double-byte character's lead.)
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }
std::string LowerAscii(std::string_view text);

}  // namespace zel
