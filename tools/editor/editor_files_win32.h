// The menu editor's file work on Windows: reading the menu file, saving it safely, and
// finding out what the object handed to "Add to..." is.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/editor/editor_logic.h"

namespace zel::editor {

// The system's words for an error code, with the code: "Access is denied. (error 5)".
std::string ErrorText(DWORD error);

enum class FileState { Read, Missing, Refused };

struct LoadedFile {
  FileState state = FileState::Missing;
  std::string bytes;  // as on disk (Read only)
  std::string why;    // for the user (Refused only)
};

// Reads the menu file. Missing: nothing at the path (or no folder for it). Refused: it
// cannot be read, is a folder, or is no text the editor can show unchanged (DescribeProblem).
LoadedFile LoadMenuFile(const std::string& path);

// Replaces the file at `path` with `bytes` so that at every moment either the old or the new
// file stands there: the bytes go to a temporary file in the same folder, the old file is
// copied to `path` + ".bak", and the temporary file is then moved over it. The folder is
// created when missing. Returns why it failed (the file at `path` is then untouched), or
// empty on success.
std::string SaveMenuFile(const std::string& path, const std::string& bytes);

// The object named by the editor's argument, as "Add to..." needs it.
struct ObjectInfo {
  bool exists = false;
  bool folder = false;
  std::vector<std::string> paths;  // the long form, then the short one (existing forms only)
};

ObjectInfo InspectObject(const std::string& path);

}  // namespace zel::editor
