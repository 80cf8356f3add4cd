// zelmenu: shows a menu file exactly as either program builds it, and checks it for traps.
#pragma once

#include <iosfwd>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "menu/menu_file.h"

namespace zel::tools {

// What `zelmenu plan` asks of the system it runs on, so that its dry run shows what the
// deliverables would really start there.
class PlanSystem {
 public:
  virtual ~PlanSystem() = default;
  // Environment references expanded as the deliverables expand them before a start.
  virtual std::string ExpandEnvironment(const std::string& text) = 0;
  // The short form of an existing object's path; the path as given when there is none.
  virtual std::string ShortPath(const std::string& path) = 0;
  // The shell extension's formatting of an entry's arguments around the selected path.
  virtual std::string FormatArguments(const std::string& format, const std::string& path) = 0;
  // The folder, with its final backslash, that "Add to..." starts Editor.exe from.
  virtual std::string ModuleFolder() = 0;
};

// Portable stand-ins: variables from the process environment, no short names, "%s"-style
// conversions (with flags, width and precision) and "%%" formatted, other conversions kept as
// written, and the folder given at construction.
class PortablePlanSystem final : public PlanSystem {
 public:
  explicit PortablePlanSystem(std::string moduleFolder = {}) : moduleFolder_(std::move(moduleFolder)) {}
  std::string ExpandEnvironment(const std::string& text) override;
  std::string ShortPath(const std::string& path) override { return path; }
  std::string FormatArguments(const std::string& format, const std::string& path) override;
  std::string ModuleFolder() override { return moduleFolder_; }

 private:
  std::string moduleFolder_;
};

// Runs one zelmenu command; returns the exit status (0 fine, 1 findings, an unreadable file
// or an identifier that selects no entry, 2 usage).
int RunZelmenu(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               menu::MenuFileAccess& files, const std::string& defaultMenuPath,
               PlanSystem& system);
// The same with the portable stand-ins for `plan`.
int RunZelmenu(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               menu::MenuFileAccess& files, const std::string& defaultMenuPath);

// Each byte becomes the character U+0000 to U+00FF of the same value, in UTF-8.
std::string BytesToUtf8(std::string_view bytes);

}  // namespace zel::tools
