// The property every selected path must keep: run by the shell through an entry's format, it
// reaches the program as exactly one argument where a plain name would stand, by every reading
// of a command line (CommandLineToArgvW's and the C runtimes', which part at a quote after a
// closing quote), and a DLL procedure as exactly one text; or the entry is refused, which only a
// quote or a control character in the path may cause, a path ending inside a character, quotes
// in a row that refuse a plain name too, or a path that needs quotes beside a quote or a %s.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/unit/fake_system.h"

namespace zel::test {

// How a reader takes a quote that follows a closing quote inside quotes ("" while quoted): as
// a new quoted part (the documented rules), or as a literal quote, staying inside quotes (C
// runtimes since 2008) or leaving them (older ones).
enum class QuoteRule { Documented, LiteralStays, LiteralLeaves };
inline constexpr QuoteRule kQuoteRules[] = {QuoteRule::Documented, QuoteRule::LiteralStays,
                                            QuoteRule::LiteralLeaves};

// The arguments of a command line: a quoted program name up to the next quote; then blanks
// (space, tab) end an argument outside quotes, 2n backslashes and a quote give n backslashes
// and open or close quotes, 2n+1 backslashes and a quote give n backslashes and a literal
// quote, and other backslashes stand for themselves; "" inside quotes as `rule` says.
inline std::vector<std::string> SplitCommandLine(std::string_view line, LeadByteTest lead,
                                                 QuoteRule rule = QuoteRule::Documented) {
  std::vector<std::string> args;
  const std::size_t nameEnd = line.find('"', 1);
  args.emplace_back(line.substr(1, nameEnd - 1));
  std::string current;
  bool inArgument = false, quoted = false;
  std::size_t backslashes = 0;
  for (std::size_t pos = nameEnd + 1, length; pos < line.size(); pos += length) {
    length = CharLength(line, pos, lead);
    const char c = length == 1 ? line[pos] : 'x';
    inArgument = inArgument || quoted || (c != ' ' && c != '\t');
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    current.append(c == '"' ? backslashes / 2 : backslashes, '\\');
    if (c == '"') {
      if (backslashes % 2 == 1) {
        current += '"';
      } else if (quoted && rule != QuoteRule::Documented && pos + 1 < line.size() &&
                 line[pos + 1] == '"') {
        current += '"';
        quoted = rule == QuoteRule::LiteralStays;
        ++pos;
      } else {
        quoted = !quoted;
      }
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (!current.empty() || inArgument) args.push_back(current);
      current.clear();
      inArgument = false;
    } else {
      current.append(line, pos, length);
    }
    backslashes = 0;
  }
  current.append(backslashes, '\\');
  if (inArgument) args.push_back(current);
  return args;
}

// Empty when `path` (a selected file in C:\D\) keeps the property under `format` for the
// program E:\w.exe and for a DLL procedure; else what went wrong.
inline std::string PathPropertyFailure(const std::string& format, const std::string& path,
                                       LeadByteTest lead) {
  const auto run = [&](const std::string& command, const std::string& arguments,
                       const std::string& selected) {
    FakeSystem system;
    system.folders = {"C:\\D\\"};
    system.everyFileExists = true;
    system.leadBytes = lead;
    system.variables["T"] = "C:\\Tmp";
    std::string selection = selected;
    launch::RunShellEntry({command, arguments}, selection, "C:\\App\\", system);
    return system;
  };
  const std::string plain = "C:\\D\\plain";
  // A quote or control byte, or a final byte that opens a character.
  bool refusable = false;
  for (std::size_t pos = 0, length; pos < path.size(); pos += length) {
    length = CharLength(path, pos, lead);
    refusable = refusable || path[pos] == '"' || (unsigned char)path[pos] < 0x20 ||
                (length == 2 && (path[pos + 1] == '"' || (unsigned char)path[pos + 1] < 0x20)) ||
                (length == 1 && lead((unsigned char)path[pos]));
  }

  const FakeSystem plainRun = run("E:\\w.exe", format, plain);
  const FakeSystem program = run("E:\\w.exe", format, path);
  if (program.starts.empty()) {
    const bool splits = path.find_first_of(" \t,;=\xA0\xFF") != std::string::npos;
    const bool besideQuote = format.find("\"%") != std::string::npos ||
                             format.find("s\"") != std::string::npos ||
                             format.find("s%") != std::string::npos;
    return refusable || plainRun.starts.empty() || (splits && besideQuote) ? ""
                                                                           : "refused: " + format;
  }
  if (plainRun.starts.empty()) return "placed where a plain name is refused: " + format;
  for (const QuoteRule rule : kQuoteRules) {
    std::vector<std::string> expected;
    for (std::string arg : SplitCommandLine(plainRun.starts.at(0).commandLine, lead, rule)) {
      for (auto at = arg.find(plain); at != std::string::npos;
           at = arg.find(plain, at + path.size())) {
        arg.replace(at, plain.size(), path);
      }
      expected.push_back(arg);
    }
    if (SplitCommandLine(program.starts[0].commandLine, lead, rule) != expected) {
      return "split apart: " + program.starts[0].commandLine;
    }
  }
  const FakeSystem dll = run("DllProc", "x.dll,P," + format + ",7", path);
  if (dll.calls.size() != 1 || dll.calls[0].arguments.size() != 2 ||
      dll.calls[0].arguments[0].text.find(path) == std::string::npos ||
      dll.calls[0].arguments[1].number != 7) {
    return "not one text of the procedure: " + format;
  }
  return {};
}

}  // namespace zel::test
