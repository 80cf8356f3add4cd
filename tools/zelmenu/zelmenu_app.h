// zelmenu: shows a menu file exactly as either program builds it, and checks it for traps.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "menu/menu_file.h"

namespace zel::tools {

// Runs one zelmenu command; returns the exit status (0 fine, 1 findings or an unreadable
// file, 2 usage).
int RunZelmenu(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               menu::MenuFileAccess& files, const std::string& defaultMenuPath);

// Each byte becomes the character U+0000 to U+00FF of the same value, in UTF-8.
std::string BytesToUtf8(std::string_view bytes);

}  // namespace zel::tools
