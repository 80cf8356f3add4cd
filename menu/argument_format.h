// The shell menu's arguments are a wvsprintfA format: the selected object's path is the value of
// every text conversion ("%s"), "%%" is one percent sign. This is how the system reads such a
// format, for the shell menu's checks before it formats and for the portable plan, which cannot
// call the system. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zel::menu {

// The buffer wvsprintfA writes into: at most 1023 characters and the terminator.
inline constexpr std::size_t kFormatCapacity = 1024;

// One "%" sequence of a format: %[-][#][0][width][.precision][prefix]type.
struct Conversion {
  enum class Type {
    Percent,    // "%%": one percent sign
    Text,       // s, hs, hS: the value as 8-bit text
    WideText,   // S, ls, lS: the value as 16-bit text, written in the ANSI code page
    Number,     // d, i, u, x, X, p: the value as a number
    Character,  // c, C, hc, lc ...: the value as one character
    Unknown,    // any other letter: the sequence up to it vanishes, the letter stays as text
  };
  Type type = Type::Unknown;
  std::size_t start = 0;  // the "%"
  std::size_t end = 0;    // after the sequence; for Unknown, at the letter that stays
  bool leftAlign = false;
  std::uint32_t width = 0;      // wraps as the system's unsigned count does
  std::uint32_t precision = 0;  // for a text: 0 means the whole text
  char prefix = 0;              // 'h', 'l', or the undocumented 'w' and 'I' (I32, I64)
  char letter = 0;              // the type letter (or the unknown one); 0 at the end

  // Whether the shell menu refuses to format it: it takes a number or a character (the value
  // is the path's address, which no one can want printed), or its prefix is one the system's
  // documentation does not list, or its flags stand in another order than "-#0" (Wine reads
  // "%0-5s" as text): Windows may read those otherwise.
  bool Refused() const;
  // The sequence as written.
  std::string_view In(std::string_view format) const {
    return format.substr(start, end - start + (type == Type::Unknown ? 1 : 0));
  }
};

// The conversion whose "%" stands at `percent`.
Conversion ParseConversion(std::string_view format, std::size_t percent);

// The first conversion the shell menu refuses (Conversion::Refused), if any.
std::optional<Conversion> FirstRefusedConversion(std::string_view format);

// What wvsprintfA writes for `format` when every text conversion gets `text`, within
// kFormatCapacity: a width pads with blanks (never zeros) and never cuts, a precision cuts a
// text (0: not at all), a sequence with an unknown letter writes only its padding, a "%" at the
// end vanishes, and the format ends at a NUL. `cut`: the format did not fit. Only for formats
// that FirstRefusedConversion finds nothing in.
struct Formatted {
  std::string text;
  bool cut = false;
};
Formatted FormatWithText(std::string_view format, std::string_view text);

}  // namespace zel::menu
