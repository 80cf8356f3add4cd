// Which file an entry's icon comes from: the one it starts, or the one its fifth field names.
// Portable: the decision only; the Windows layer finds the file and extracts the icon.
#pragma once

#include <string_view>

#include "launch/command_line.h"
#include "menu/menu_file.h"

namespace zel::launch {

// What an entry's icon is taken from. `name` points into the texts it was chosen from.
struct IconChoice {
  enum class Kind {
    None,
    Program,  // the first program of the entry's list, found as it would be started
    Dll,      // the DLL of a "DllProc" entry, found as it would be loaded
    File,     // the file of the fifth field, icon `index`
    Editor,   // the menu editor beside the module: the shell menu's "Add" entries start it
  };
  Kind kind = Kind::None;
  std::string_view name;
  int index = 0;
};

// `lead`: the double-byte characters of the entry's text, whose second byte may be a delimiter.
IconChoice ChooseIcon(menu::Host host, const menu::MenuData& entry, std::string_view iconField,
                      LeadByteTest lead);

}  // namespace zel::launch
