// How a menu file speaks of icons: the line that turns them off and an entry's fifth field.
#pragma once

#include <string_view>

#include "menu/menu_file.h"

namespace zel::menu {

// The line that turns icons off, wherever it stands; it holds none of the keywords.
inline constexpr char kIconsOffLine[] = "icons off";
// The fifth field that asks for no icon.
inline constexpr char kNoIconField[] = "-";

// True for a line that reads "icons off", in any case, blanks around it allowed.
bool IsIconsOffLine(std::string_view line);

// An entry's fifth field: empty (the icon of what it starts), "-" (none), "FILE" or
// "FILE,INDEX" with a whole decimal INDEX (negative: a resource identifier). A field whose last
// comma is followed by anything else, or that names no file, is malformed.
struct IconField {
  enum class Kind { Default, None, File, Malformed };
  Kind kind = Kind::Default;
  std::string_view file;
  int index = 0;
};
IconField ReadIconField(std::string_view field);

}  // namespace zel::menu
