// Finds the traps of the menu format: lines that silently read otherwise than they look.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "menu/menu_file.h"

namespace zel::menu {

struct Finding {
  enum class Severity { Warning, Error };
  std::size_t line = 0;  // 1-based; 0 for the file as a whole
  Severity severity = Severity::Warning;
  std::string text;
};

// Reads the menu from `source` as both deliverables would and reports every trap found.
// Throws MenuReadError when the source fails.
std::vector<Finding> CheckMenu(ByteSource& source);

// "LINE: warning: TEXT" or "LINE: error: TEXT".
std::string FormatFinding(const Finding& finding);

}  // namespace zel::menu
