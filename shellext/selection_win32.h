// What both shell handlers share: the selection they serve, made from the objects' names, and
// the run of a chosen entry on it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "menu/menu_file.h"
#include "menu/selected_object.h"

namespace zel::shellext {

// The selection made from the objects' names as the system holds them, in order. Nothing when it
// is declined (ServesSelection), or when a name is no valid UTF-16 and has no short name: as
// U+FFFD it would name another file, perhaps one planted beside it. An object with no ANSI name
// (neither its own nor a short one) is named by the entries of a UTF-8 menu file only.
std::optional<menu::Selection> ServedSelection(const std::vector<std::wstring>& names);

// Runs `entry`, of a menu file of `kind`, on each selected object as the shell menu does, with
// the editor beside `module`. `quiet`: errors are not shown (a caller that asked for no UI) but
// make the result E_FAIL; with UI, what went wrong was said, and the entry counts as run.
HRESULT RunOnSelection(const menu::MenuData& entry, TextKind kind, const menu::Selection& selection,
                       HMODULE module, bool quiet);

}  // namespace zel::shellext
