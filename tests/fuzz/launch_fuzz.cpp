// Feeds arbitrary text to the entry-running helpers and to the tray dispatch, and checks what
// must hold whatever the menu line says: items never hold their delimiter, a placeholder lies
// inside its text, every prompt answer makes progress, and a DLL plan only passes items that
// stand in the procedure line.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "launch/command_line.h"
#include "launch/run_entry.h"

namespace {

using namespace zel::launch;

void Require(bool condition) {
  if (!condition) std::abort();
}

class CountingHost final : public PromptView, public EntryLauncher {
 public:
  void ShowPrompt(int) override { ++prompts; }
  void RunPrograms(const std::string&, const std::string&) override { ++launches; }
  void CallDllProcedure(const std::string&) override { ++launches; }
  int prompts = 0;
  int launches = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  for (std::size_t k = 0; k < 4; ++k) {
    Require(GetListItem(text, '|', k).find('|') == std::string::npos);
  }
  std::int32_t number = 0;
  TryStrToInt(text, number);

  const std::string folder = ExtractFolder(text);
  Require(folder.empty() || (folder.back() == '\\' && text.compare(0, folder.size(), folder) == 0 &&
                             folder.size() < text.size()));

  if (const auto placeholder = FindPlaceholder(text)) {
    Require(placeholder->start + placeholder->length <= text.size());
    const std::string replaced = ReplacePlaceholder(text, *placeholder, "v");
    Require(replaced.size() == text.size() - placeholder->length + 1);
  }

  const DllCallPlan plan = PlanDllCall(text);
  const std::size_t commas = CountCommas(text);
  Require(plan.arguments.size() + 2 <= std::max<std::size_t>(commas, 2));
  for (const DllArgument& argument : plan.arguments) {
    Require(!argument.isText || (!argument.text.empty() &&
                                 argument.text.find(',') == std::string::npos));
  }

  // Answering every prompt with a plain value ends in exactly one launch.
  zel::menu::MenuTable table;
  table.Append("p.exe", text);
  TrayPromptState state;
  CountingHost host;
  RunEntry(table, state, host, host);
  int answers = 0;
  while (host.launches == 0) {
    Require(host.prompts == answers + 1 && answers < static_cast<int>(size) + 1);
    ++answers;
    AcceptPromptValue(table, state, "v", host, host);
  }
  Require(host.launches == 1 && state.ParameterNumber == answers + 1);
  return 0;
}
