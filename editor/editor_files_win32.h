// The menu editor's file work on Windows: reading the menu file, saving it safely, and
// finding out what the object handed to "Add to..." is.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "menu/menu_file.h"
#include "text/text_kind.h"
#include "editor/editor_logic.h"

namespace zel::editor {

struct LoadedFile {
  menu::MenuFileState state = menu::MenuFileState::Missing;
  std::string bytes;  // as on disk (Read only)
  std::string why;    // for the user (Unreadable only)
};

// Reads the menu file. Missing: nothing at the path (or no folder for it). Unreadable: it
// cannot be read, is a folder, or is no text the editor can show unchanged (DescribeProblem).
LoadedFile LoadMenuFile(const std::string& path);

// Replaces the file at `path` with `bytes` so that at every moment either the old or the new
// file stands there: the bytes go to a temporary file in the same folder, which then replaces
// the old file with the old file's attributes and ACL, the old file becoming `path` + ".bak".
// The folder is created when missing. Returns why it failed (the file at `path` is then
// untouched), or empty on success.
std::string SaveMenuFile(const std::string& path, const std::string& bytes);

}  // namespace zel::editor
