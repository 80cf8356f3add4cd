// How a menu file's bytes are to be read: in the ANSI code page (every file without a mark), or
// as UTF-8 (a file that starts with the UTF-8 byte-order mark). The texts stay bytes either way;
// the Windows layer converts them with the file's code page. The ground floor: every other part
// may include it, and it includes nothing of theirs.
#pragma once

#include <string>
#include <string_view>

namespace zel {

enum class TextKind { Ansi, Utf8 };

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// The kind of a whole file's bytes: what its first bytes say.
inline TextKind KindOfBytes(std::string_view bytes) {
  return bytes.starts_with(kUtf8Mark) ? TextKind::Utf8 : TextKind::Ansi;
}
// U+FFFD, which stands for each invalid sequence.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// `text` with each invalid UTF-8 sequence replaced by U+FFFD, one per maximal subpart (the
// longest start of a well-formed sequence; at least one byte), as Unicode recommends. ASCII
// bytes are never part of an invalid sequence, so quotes and commas stay where they were.
// True when anything was replaced; `repaired` is then the text to use.
bool RepairUtf8(std::string_view text, std::string& repaired);

// The last `count` characters of a UTF-8 text (fewer when it has fewer).
std::string_view LastCharacters(std::string_view text, std::size_t count);

}  // namespace zel
