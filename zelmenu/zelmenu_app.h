// zelmenu: shows a menu file exactly as either program builds it, and checks it for traps.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/launcher.h"
#include "menu/menu_file.h"

namespace zel::zelmenu {

// Portable stand-ins for `zelmenu plan` where the real system is not at hand: variables from
// the process environment, no short names, no best-fit reading, the arguments formatted as
// wvsprintfA does, and every name found: paths ending in a slash are folders, any other path a
// file. The plan records the actions.
class PortablePlanSystem final : public launch::LaunchSystem {
 public:
  std::string ExpandEnvironment(const std::string& text) override;
  std::string FormatArguments(const std::string& format, const std::string& path) override;
  // No code page to read with: every text reaches a program as it is.
  std::string AnsiReading(const std::string& text) override { return text; }
  std::string ShortPath(const std::string& path) override { return path; }
  std::string FullPath(const std::string& path) override { return path; }
  std::string LongPath(const std::string& path) override { return path; }
  LeadByteTest LeadBytes() override { return NoLeadBytes; }
  launch::Object Find(const std::string& path) override;
  // One empty folder: a bare name is found as it is written.
  std::vector<std::string> SearchFolders() override { return {std::string()}; }
  void ShowError(const std::string&, const std::string&) override {}
  void StartProgram(const std::string&, const std::string&, const std::string&) override {}
  bool CallProcedure(const std::string&, const launch::DllCallPlan&) override { return true; }
};

// The system `plan` asks, made for the texts of a menu file of the kind given.
using SystemFor = std::function<launch::LaunchSystem&(TextKind)>;

// Runs one zelmenu command, appending what it prints to `out` and `err`; returns the exit
// status (0 fine, 1 findings, an unreadable file or an identifier that selects no entry, 2
// usage). `plan` asks the system what the deliverables
// would find and records what they would do; "Add to..." starts the editor from `moduleFolder`.
int RunZelmenu(const std::vector<std::string>& args, std::string& out, std::string& err,
               menu::MenuFileAccess& files, const std::string& defaultMenuPath,
               const SystemFor& systemFor, const std::string& moduleFolder);

// Each byte becomes the character U+0000 to U+00FF of the same value, in UTF-8.
std::string BytesToUtf8(std::string_view bytes);
// A menu file's text for --json: a UTF-8 file's as it is (the reader has made it valid), an
// ANSI file's bytes one to one (BytesToUtf8).
std::string JsonText(std::string_view text, TextKind kind);

}  // namespace zel::zelmenu
