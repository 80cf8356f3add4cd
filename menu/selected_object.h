// The objects the shell menu was opened on: made once, where the selection is read (the shell
// extension's Initialize, zelmenu's --selected), and handed down as it is to the build, which
// filters on it, and to the run, which starts on it. Nothing writes back into it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "text/text_kind.h"

namespace zel::menu {

struct SelectedObject {
  // The path in the ANSI code page: the object's own name when every character has a form
  // there, else its short name; empty when it has neither (UTF-8 menu files serve it only).
  std::string ansi;
  std::string utf8;  // the path as the system names it, in UTF-8

  // The path in the code page of a menu file of `kind`.
  const std::string& Path(TextKind kind) const { return kind == TextKind::Utf8 ? utf8 : ansi; }
  // True when a menu file of `kind` can name the object.
  bool NamedIn(TextKind kind) const { return !Path(kind).empty() || utf8.empty(); }
  bool operator==(const SelectedObject&) const = default;
};

// The objects in the selection's order. One object with no name stands for none: it names no
// extension, and a run on it finds no folder.
using Selection = std::vector<SelectedObject>;

// The most objects the shell menu serves at once, where Windows' own verbs stop
// (MultipleInvokePromptMinimum).
inline constexpr std::size_t kMostSelectedObjects = 15;

// True when a menu file of `kind` can name every object.
inline bool NamedIn(const Selection& selection, TextKind kind) {
  return std::all_of(selection.begin(), selection.end(),
                     [kind](const SelectedObject& object) { return object.NamedIn(kind); });
}

// The objects' paths in the code page of a menu file of `kind`, in order.
inline std::vector<std::string> PathsIn(const Selection& selection, TextKind kind) {
  std::vector<std::string> paths;
  for (const SelectedObject& object : selection) paths.push_back(object.Path(kind));
  return paths;
}

}  // namespace zel::menu
