#include "tray/prompt.h"

#include <algorithm>

#include "launch/command_line.h"
#include "menu/placeholder.h"

namespace zel::tray {

using namespace launch;

std::string PromptLabel(int parameterNumber) {
  return "Parameter #" + std::to_string(parameterNumber) + ":";
}

void RunEntry(menu::MenuTable& table, TrayPromptState& state, PromptView& prompt,
              Launcher& launcher) {
  const menu::MenuData* entry = table.Find(state.CurrentEntry);
  if (entry == nullptr) return;
  if (state.ParameterNumber == 1) {
    state.DllValues.clear();
    if (entry->Command == kDllProcCommand &&
        entry->Arguments.find(kValueMarker) != std::string::npos) {
      launcher.Refuse("the entry's arguments hold a control character");
      return;
    }
  }

  if (const auto placeholder = menu::FindPlaceholder(entry->Arguments)) {
    state.PlaceholderArgument = placeholder->argument;
    prompt.ShowPrompt(state.ParameterNumber);
    return;
  }

  // Copies: a DLL procedure that runs a message loop lets the window procedure rebuild the
  // table while the call is under way, which would leave a reference into it dangling.
  const std::string command = entry->Command;
  const std::string arguments = entry->Arguments;
  if (command == kDllProcCommand) {
    // Split before the values are in: a comma in a value cannot make more arguments.
    DllCallPlan plan = PlanDllCall(arguments + ",");
    const std::vector<std::string> values = state.DllValues;
    const auto markers = [](std::string_view text) {
      return static_cast<std::size_t>(std::count(text.begin(), text.end(), kValueMarker));
    };
    if (markers(arguments) != values.size()) return;  // values of an entry rebuilt under it
    // The values of the items the line's empty item left out are not passed.
    std::size_t passed = 0;
    for (const DllArgument& argument : plan.arguments) passed += markers(argument.text);
    const std::size_t named = markers(plan.dll) + markers(plan.procedure);
    const std::size_t skipped = values.size() - named - passed;
    std::size_t next = 0;
    FillMarkers(plan, kValueMarker,
                [&] { return values[next < named ? next++ : skipped + next++]; });
    launcher.CallDllProcedure(std::move(plan));
  } else {
    launcher.RunPrograms(command + "|", arguments);
  }
}

void AcceptPromptValue(menu::MenuTable& table, TrayPromptState& state, const std::string& value,
                       PromptView& prompt, Launcher& launcher) {
  menu::MenuData* entry = table.Find(state.CurrentEntry);
  if (entry == nullptr) return;  // the table was rebuilt smaller while the prompt was open

  // The answer belongs to the placeholder RunEntry asked for. When the entry no longer starts
  // with that placeholder (the menu was rebuilt from a changed file, or its earlier values were
  // dropped by a rebuild), the answer is stale: it is dropped and nothing runs, rather than
  // putting the value where the user did not mean it.
  const auto placeholder = menu::FindPlaceholder(entry->Arguments);
  if (!placeholder || placeholder->argument != state.PlaceholderArgument) return;

  // A value may be a file name someone else chose, picked with the prompt's "..." button.
  if (entry->Command != kDllProcCommand &&
      !launcher.PassesToCmd(entry->Command + "|", value, entry->Arguments, entry->Arguments,
                            {placeholder->start}))
    return;
  if (entry->Command == kDllProcCommand) {
    state.DllValues.push_back(value);
    entry->Arguments = menu::ReplacePlaceholder(entry->Arguments, *placeholder, {&kValueMarker, 1});
  } else {
    entry->Arguments = menu::ReplacePlaceholder(entry->Arguments, *placeholder, value);
  }
  ++state.ParameterNumber;
  RunEntry(table, state, prompt, launcher);
}

}  // namespace zel::tray
