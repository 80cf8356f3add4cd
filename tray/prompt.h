// The tray program's prompt and its dispatch of a chosen entry: placeholders first, through the
// prompt, then the programs or the DLL procedure. Portable: the prompt window is an interface
// (PromptView; its Windows form is prompt_win32), the launching the Launcher's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "launch/launcher.h"
#include "menu/menu_file.h"

namespace zel::tray {

// The prompt's label for parameter n: "Parameter #<n>:".
std::string PromptLabel(int parameterNumber);
// The prompt's edit field holds at most this many characters of a value.
inline constexpr std::size_t kPromptValueLimit = 259;

// The prompt window as the dispatch sees it.
class PromptView {
 public:
  virtual ~PromptView() = default;
  // Sets the label to PromptLabel(n) and shows the prompt (SW_SHOWNORMAL).
  virtual void ShowPrompt(int parameterNumber) = 0;
};

// The tray prompt state, one per program.
struct TrayPromptState {
  std::size_t CurrentEntry = 0;     // index into the entry table
  int ParameterNumber = 1;          // the number the prompt's label shows
  std::string PlaceholderArgument;  // the argument of the placeholder being asked for
  // A DLL procedure entry's values, in order: its arguments hold kValueMarker in their places
  // until the line is split. Emptied when an entry is chosen (ParameterNumber 1).
  std::vector<std::string> DllValues;
};

// Runs `state.CurrentEntry` of `table`: shows the prompt for its first "%input(" placeholder,
// or, with none left, hands it to the launcher. An index beyond the table does nothing.
void RunEntry(menu::MenuTable& table, TrayPromptState& state, PromptView& prompt,
              launch::Launcher& launcher);

// The prompt's "Ok" with a non-empty value: replaces the placeholder being asked for in the
// current entry's Arguments, raises ParameterNumber and runs the entry again (RunEntry).
// A stale answer does nothing: CurrentEntry beyond the (rebuilt) table, or an entry whose
// first placeholder is no longer the one asked for (its argument differs from
// PlaceholderArgument).
void AcceptPromptValue(menu::MenuTable& table, TrayPromptState& state, const std::string& value,
                       PromptView& prompt, launch::Launcher& launcher);

}  // namespace zel::tray
