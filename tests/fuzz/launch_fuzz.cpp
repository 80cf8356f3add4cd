// Feeds arbitrary text to the entry-running helpers, the tray dispatch and the shell's run, and
// checks what must hold whatever the menu line says: items never hold their delimiter, a
// placeholder lies inside its text, every prompt answer makes progress, a DLL plan only passes
// items that stand in the procedure line, and a bare name never starts a file of the selected
// object's folder; and a selected path of any bytes reaches a program as one argument and a
// DLL procedure as one text, or is refused for a quote or a control character.
#include <cstdint>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

#include "launch/command_line.h"
#include "menu/placeholder.h"
#include "tray/prompt.h"
#include "tests/unit/path_property.h"

namespace {

using namespace zel;
using namespace zel::launch;
using namespace zel::menu;
using namespace zel::tray;

void Require(bool condition) {
  if (!condition) std::abort();
}

class CountingPrompt final : public PromptView {
 public:
  void ShowPrompt(int) override { ++prompts; }
  int prompts = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  for (std::size_t k = 0; k < 4; ++k) {
    Require(GetListItem(text, '|', k).find('|') == std::string::npos);
  }
  // Decimal texts read as the standard library reads them; a refused text leaves the value alone.
  std::int32_t number = 7;
  const bool read = TryStrToInt(text, number);
  const std::string digits = text.substr(std::min(text.find_first_not_of(' '), text.size()));
  const std::size_t sign = !digits.empty() && (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
  if (digits.size() > sign && digits.find_first_not_of("0123456789", sign) == std::string::npos) {
    std::int32_t wide = 0;
    const char* first = digits.data() + (digits[0] == '+');  // from_chars takes no plus sign
    const auto [end, error] = std::from_chars(first, digits.data() + digits.size(), wide);
    Require(read == (error == std::errc()) && (!read || number == wide));
  }
  Require(read || number == 7);

  const LeadByteTest lead = size % 2 ? zel::test::Cp932LeadByte : NoLeadBytes;
  const std::string folder = ExtractFolder(text, lead);
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
    Require(!argument.isText ||
            (!argument.text.empty() && argument.text.find(',') == std::string::npos));
  }

  // Answering every prompt with a plain value ends in exactly one launch.
  zel::menu::MenuTable table;
  table.Append() = {"p.exe", text};
  TrayPromptState state;
  CountingPrompt prompt;
  zel::test::FakeSystem system;
  system.everyFileExists = true;
  Launcher launcher(system);
  RunEntry(table, state, prompt, launcher);
  int answers = 0;
  while (system.log.empty()) {
    Require(prompt.prompts == answers + 1 && answers < static_cast<int>(size) + 1);
    ++answers;
    AcceptPromptValue(table, state, "v", prompt, launcher);
  }
  Require(system.log.size() == 1 && state.ParameterNumber == answers + 1);

  // The text as a program list run by the shell: a bare name is only ever found in the search
  // folder, however the object's folder is named.
  zel::test::FakeSystem shell;
  shell.folders = {"C:\\Down\\"};
  shell.searchFolders = {"C:\\Windows"};
  shell.everyFileExists = true;
  std::string selected = "C:\\Down\\f.txt";
  RunShellEntry({text, "%s"}, selected, "C:\\App\\", shell);
  const std::string tail = "\" C:\\Down\\f.txt";
  for (const auto& start : shell.starts) {
    const std::string name =
        start.commandLine.substr(1, start.commandLine.size() - 1 - tail.size());
    const std::string withExtension = name + (name.find('.') == std::string::npos ? ".exe" : "");
    Require(ClassifyName(name, NoLeadBytes) != NameKind::Bare ||
            start.application == "C:\\Windows\\" + withExtension);
  }
  // A value the prompt took for a DLL procedure line is one argument, commas and all.
  if (!text.empty()) {
    zel::menu::MenuTable dllTable;
    dllTable.Append() = {"DllProc", "x.dll,P,%input(a)%,7"};
    TrayPromptState dllState;
    zel::test::FakeSystem dllSystem;
    dllSystem.everyFileExists = true;
    Launcher dllLauncher(dllSystem);
    RunEntry(dllTable, dllState, prompt, dllLauncher);
    AcceptPromptValue(dllTable, dllState, text, prompt, dllLauncher);
    std::int32_t unused = 0;
    Require(dllSystem.calls.size() == 1 && dllSystem.calls[0].arguments.size() == 2);
    const DllArgument& value = dllSystem.calls[0].arguments[0];
    Require(value.isText ? value.text == text : TryStrToInt(text, unused));
    Require(dllSystem.calls[0].arguments[1].number == 7);
  }
  // Whatever the name, what reaches an interpreter's command line holds nothing it acts on.
  const struct {
    const char* program;
    const char* actsOn;
  } interpreters[] = {{"C:\\bin\\powershell.exe", " ;&|<>(){}$@'`#,"},
                      {"C:\\bin\\x.cmd", "&|<>^()%!"}};
  for (const auto& [program, actsOn] : interpreters) {
    zel::test::FakeSystem run;
    run.folders = {"C:\\D\\"};
    std::string name = "C:\\D\\" + text;
    RunShellEntry({program, "%s"}, name, "C:\\App\\", run);
    const std::size_t tail = std::string(program).size() + 3;  // quoted, then a blank
    for (const auto& start : run.starts) {
      Require(start.commandLine.find_first_of(actsOn, tail) == std::string::npos);
    }
  }
  // The first bytes choose the format around a %s, quotes and another %s among what stands
  // beside it; the rest is the name, hostile names from the corpus.
  if (size > 2) {
    const char* const pieces[] = {"", "\"", "\"\"", " ", "\\", "x", "%s", "\"a b\" "};
    const auto piece = [&](std::size_t i) {
      return std::string(pieces[data[i] % std::size(pieces)]);
    };
    const std::string format = piece(0) + "%s" + piece(1) + piece(2);
    Require(zel::test::PathPropertyFailure(format, "C:\\D\\" + text.substr(3, 400), lead).empty());
  }
  return 0;
}
