// Text helpers of entry running: delimiter-terminated lists, numbers, command lines, folders,
// and the argument plan of a DLL procedure call.
// Portable: no <windows.h>; environment expansion and the system calls live in launch_win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/characters.h"

namespace zel::launch {

// The number of "," characters in `text`.
std::size_t CountCommas(std::string_view text);

// True when the whole of `text` is a number: leading spaces, then a signed decimal in the
// 32-bit range, or "$", "x", "X", "0x", "0X" and hexadecimal digits fitting 32 bits (taken as
// a bit pattern). `value` is set only on success.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// Item k (from 0) of a list in which every item is followed by `delimiter`; the empty text
// when the list has no item k. A text after the last delimiter is not an item. Scanned by
// character: in code page 932 the second byte of a character may be "|" (ポ is 83 7C).
std::string GetListItem(std::string_view list, char delimiter, std::size_t k,
                        LeadByteTest lead = NoLeadBytes);

// What ExpandEnvironmentStringsA makes of `text`, with the variables' values from `valueOf`
// (nullopt: unset): each "%NAME%" of a set variable is replaced by its value; a reference to an
// unset one stays as written, both signs with it. The portable model of the system's expansion.
std::string ExpandReferences(
    std::string_view text,
    const std::function<std::optional<std::string>(const std::string& name)>& valueOf);

// The command line of one program: the name in double quotes, one space, the arguments.
// Nothing is escaped. The caller expands environment references in both parts first.
std::string BuildCommandLine(std::string_view program, std::string_view arguments);

// The folder part of `path`: up to and including the last "\" before the final character;
// empty when there is none (so a drive root "C:\" gives the empty text).
std::string ExtractFolder(std::string_view path, LeadByteTest lead);

// Stands for the selected path in an entry's arguments until the path is put in: it is
// formatted and expanded in place of the path, so neither wvsprintfA nor the environment
// expansion ever sees the path's own text. No path holds it; an entry that does is refused.
inline constexpr char kPathMarker = '\x01';
// Stands for each value the tray's prompt took for a DLL procedure line, until the line is
// split: so a value is one argument, commas and all.
inline constexpr char kValueMarker = '\x02';

// `arguments` (the program's arguments, after its quoted name and one space) with every
// kPathMarker replaced by `path` so that the command-line parsers (CommandLineToArgvW and the C
// runtime's, old and new) all read the path whole, inside one argument, with the author's other
// arguments unchanged: where the marker stands outside quotes and the path holds a blank, tab,
// ",", ";" or "=", the path is put in quotes (",;=" split batch arguments and Explorer's);
// backslashes that come to stand before a quote are doubled. Nothing, with the reason in `why`,
// when no placement can: the path holds a quote or a control character (no Windows name does) or
// ends inside a double-byte character; a quote follows a closing quote before the marker (the
// parsers part there); or quotes the path needs would stand right after a closing quote or right
// before a quote (`"out"%s`, `%s"x"`, `%s%s`), which some parsers read as a literal quote.
// `at`: where each placed path starts in the line.
std::optional<std::string> PlacePath(std::string_view arguments, std::string_view path,
                                     LeadByteTest lead, std::string* why = nullptr,
                                     std::vector<std::size_t>* at = nullptr);
// Whether PlacePath puts `path` in quotes where it stands outside them.
bool NeedsQuotes(std::string_view path, LeadByteTest lead);

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

// Every `marker` in the plan's texts (the DLL, the procedure, the arguments, in that order)
// replaced by the text `next` gives for it, after the line was split: a value holding commas
// stays one argument. An argument is then read again as a number or a text.
template <typename Next>
void FillMarkers(DllCallPlan& plan, char marker, Next next) {
  const auto fill = [&](std::string& text) {
    for (std::size_t at = text.find(marker); at != std::string::npos;) {
      const std::string value = next();
      text.replace(at, 1, value);
      at = text.find(marker, at + value.size());
    }
  };
  fill(plan.dll);
  fill(plan.procedure);
  for (DllArgument& argument : plan.arguments) {
    if (!argument.isText || argument.text.find(marker) == std::string::npos) continue;
    fill(argument.text);
    argument.isText = !TryStrToInt(argument.text, argument.number);
  }
}

// The bytes a text argument points at: the text and three zero bytes.
std::vector<char> TextArgumentBytes(std::string_view text);

}  // namespace zel::launch
