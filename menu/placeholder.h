// "%input(" placeholders: where an entry's arguments ask the tray's user for a value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zel::menu {

// The keyword that opens a placeholder, matched without regard to case for A to Z.
inline constexpr std::string_view kPlaceholderKeyword = "%input(";
inline constexpr std::string_view kPlaceholderClose = ")%";

// Where a placeholder stands in a text.
struct Placeholder {
  std::size_t start = 0;   // first character of the keyword
  std::size_t length = 0;  // keyword, argument and closing ")%"
  std::string argument;    // the text between the keyword and the closing
  bool closed = true;      // false: no ")%" follows the keyword
};

// The leftmost placeholder of `text`. A keyword with no ")%" after it takes the rest of the
// text as its argument and reaches to the end: it is asked for once like any other, and the
// value replaces everything from the keyword on. (Running the entry with the keyword left in
// would hand an unfinished command to the system; refusing it would leave the user no way on.)
std::optional<Placeholder> FindPlaceholder(std::string_view text);

// `text` with `placeholder` (found in that same text) replaced by `value`.
std::string ReplacePlaceholder(std::string_view text, const Placeholder& placeholder,
                               std::string_view value);

}  // namespace zel::menu
