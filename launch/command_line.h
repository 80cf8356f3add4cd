// Text helpers of entry running: delimiter-terminated lists, numbers, command lines, folders,
// "%input(" placeholders and the argument plan of a DLL procedure call.
// Portable: no <windows.h>; environment expansion and the system calls live in launch_win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::launch {

// Item k (from 0) of a list in which every item is followed by `delimiter`; the empty text
// when the list has no item k. A text after the last delimiter is not an item.
std::string GetListItem(std::string_view list, char delimiter, std::size_t k);

// The number of "," characters in `text`.
std::size_t CountCommas(std::string_view text);

// True when the whole of `text` is a number: leading spaces, then a signed decimal in the
// 32-bit range, or "$", "x", "X", "0x", "0X" and hexadecimal digits fitting 32 bits (taken as
// a bit pattern). `value` is set only on success.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// The command line of one program: the name in double quotes, one space, the arguments.
// Nothing is escaped. The caller expands environment references in both parts first.
std::string BuildCommandLine(std::string_view program, std::string_view arguments);

// The folder part of `path`: up to and including the last "\" before the final character;
// empty when there is none (so a drive root "C:\" gives the empty text).
std::string ExtractFolder(std::string_view path);

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

// The most arguments a DLL procedure is called with, on either architecture.
inline constexpr std::size_t kMaxDllArguments = 32;

// One 32-bit argument of a DLL procedure: an integer, or the address of a text.
struct DllArgument {
  bool isText = false;
  std::int32_t number = 0;  // when !isText
  std::string text;         // when isText: passed with three zero bytes after it
};

// What a DLL procedure line calls, with the arguments in the procedure's order.
struct DllCallPlan {
  std::string dll;
  std::string procedure;
  std::vector<DllArgument> arguments;
};

// Reads a ","-terminated procedure line: item 0 the DLL, item 1 the procedure, items 2 on the
// arguments. The arguments are the items scanned from the last down to index 2, the scan
// ending at the first empty item (which and all before it are not passed). Items are taken
// exactly as written.
DllCallPlan PlanDllCall(std::string_view procedureLine);

// The bytes a text argument points at: the text and three zero bytes.
std::vector<char> TextArgumentBytes(std::string_view text);

}  // namespace zel::launch
