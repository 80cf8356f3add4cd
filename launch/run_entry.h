// The tray program's dispatch of a chosen entry: placeholders first, through the prompt, then
// the programs or the DLL procedure. Portable: the prompt and the launching are interfaces.
#pragma once

#include <cstddef>
#include <string>

#include "menu/menu_file.h"

namespace zel::launch {

// The prompt window as the dispatch sees it.
class PromptView {
 public:
  virtual ~PromptView() = default;
  // Sets the label to "Parameter #<n>:" and shows the prompt (SW_SHOWNORMAL).
  virtual void ShowPrompt(int parameterNumber) = 0;
};

// What finally acts: starts programs or calls a DLL procedure.
class EntryLauncher {
 public:
  virtual ~EntryLauncher() = default;
  // `programs` is a "|"-terminated list; every program gets the same argument text.
  virtual void RunPrograms(const std::string& programs, const std::string& arguments) = 0;
  // `procedureLine` is a ","-terminated list: DLL, procedure, arguments.
  virtual void CallDllProcedure(const std::string& procedureLine) = 0;
};

// The tray prompt state, one per program.
struct TrayPromptState {
  std::size_t CurrentEntry = 0;    // index into the entry table
  int ParameterNumber = 1;         // the number the prompt's label shows
  std::string PlaceholderArgument; // the argument of the placeholder being asked for
};

// Runs `state.CurrentEntry` of `table`: shows the prompt for its first "%input(" placeholder,
// or, with none left, hands it to the launcher. An index beyond the table does nothing.
void RunEntry(menu::MenuTable& table, TrayPromptState& state, PromptView& prompt,
              EntryLauncher& launcher);

// The prompt's "Ok" with a non-empty value: replaces the placeholder being asked for in the
// current entry's Arguments, raises ParameterNumber and runs the entry again (RunEntry).
// A stale answer does nothing: CurrentEntry beyond the (rebuilt) table, or an entry whose
// first placeholder is no longer the one asked for (its argument differs from
// PlaceholderArgument).
void AcceptPromptValue(menu::MenuTable& table, TrayPromptState& state, const std::string& value,
                       PromptView& prompt, EntryLauncher& launcher);

}  // namespace zel::launch
