// The tray's prompt answers that come too late, against a FakeSystem whose search folder is C:\S.
// Where programs and DLLs are found and how they run is in tests/cases/plan.json.
#include <gtest/gtest.h>

#include <functional>

#include "launch/run_entry.h"
#include "tests/unit/fake_system.h"

namespace zel::launch {
namespace {

using Log = std::vector<std::string>;

// The tray program: its prompt logs the number and the argument it asks for.
struct Tray final : PromptView {
  menu::MenuTable table;
  TrayPromptState state;
  test::FakeSystem system;
  Launcher launcher{system};

  void ShowPrompt(int number) override {
    system.log.push_back("prompt " + std::to_string(number) + " " + state.PlaceholderArgument);
  }
};

using Step = std::function<void(Tray&)>;
// The window procedure's part of choosing entry K: a fresh state, then the dispatch.
Step Choose(std::size_t k) {
  return [k](Tray& t) { RunEntry(t.table, t.state = {k, 1, ""}, t, t.launcher); };
}
Step Ok(std::string value) {
  return [value](Tray& t) { AcceptPromptValue(t.table, t.state, value, t, t.launcher); };
}
// Entry K reread from a changed file: its arguments are now S.
Step File(std::size_t k, std::string s) { return [=](Tray& t) { t.table.Find(k)->Arguments = s; }; }
// A rebuild with K entries.
Step Keep(std::size_t k) { return [k](Tray& t) { t.table.EntryCount = k; }; }

// What runs at once and what is prompted for is in tests/cases/plan.json; here, answers that
// come too late: the table was rebuilt smaller, the file changed, a rebuild dropped the earlier
// values, another entry was chosen since.
TEST(TrayDispatch, StaleAnswersAndIndicesBeyondTheTableDoNothing) {
  const struct {
    std::vector<menu::MenuData> entries;
    std::vector<Step> steps;
    Log log;
  } cases[] = {
      {{{"x.exe", "%input(a)%"}}, {Choose(1), Choose(std::size_t(-1))}, {}},
      {{{"a.exe", ""}, {"b.exe", "%input(a)%"}}, {Choose(1), Keep(1), Ok("v")}, {"prompt 1 a"}},
      {{{"a.exe", "%input(a)%"}}, {Choose(0), File(0, "changed"), Ok("v")}, {"prompt 1 a"}},
      {{{"a.exe", "%input(a)% %input(b)%"}},
       {Choose(0), Ok("1"), File(0, "%input(a)% %input(b)%"), Ok("2")},
       {"prompt 1 a", "prompt 2 b"}},
      {{{"a.exe", "%input(a)%"}, {"b.exe", "%input(b)% %input(c)%"}},
       {Choose(0), Choose(1), Ok("1"), Ok("2")},
       {"prompt 1 a", "prompt 1 b", "prompt 2 c", "start \"b.exe\" 1 2 @C:\\S\\b.exe"}},
      {{{"a.exe", "%input(a)%"}, {"b.exe", "plain"}}, {Choose(0), Choose(1), Ok("v")},
       {"prompt 1 a", "start \"b.exe\" plain @C:\\S\\b.exe"}},
  };
  for (const auto& c : cases) {
    Tray tray;
    tray.system.searchFolders = {"C:\\S"};
    tray.system.everyFileExists = true;
    for (const menu::MenuData& entry : c.entries) tray.table.Append() = entry;
    for (const Step& step : c.steps) step(tray);
    EXPECT_EQ(tray.system.log, c.log) << "case " << &c - cases;
  }
}

}  // namespace
}  // namespace zel::launch
