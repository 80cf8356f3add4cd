// The tray's prompt answers that come too late, against a FakeSystem whose search folder is C:\S.
// Where programs and DLLs are found and how they run is in tests/cases/plan.json.
#include <gtest/gtest.h>

#include <functional>

#include "tray/prompt.h"
#include "tests/unit/fake_system.h"

namespace zel::launch {
namespace {

using namespace tray;
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
  return [k](Tray& t) { RunEntry(t.table, t.state = {k, 1, "", {}}, t, t.launcher); };
}
Step Ok(std::string value) {
  return [value](Tray& t) { AcceptPromptValue(t.table, t.state, value, t, t.launcher); };
}
// Entry K reread from a changed file: its arguments are now S.
Step File(std::size_t k, std::string s) {
  return [=](Tray& t) { t.table.Find(k)->Arguments = s; };
}
// A rebuild with K entries.
Step Keep(std::size_t k) {
  return [k](Tray& t) { t.table.EntryCount = k; };
}

// What runs at once and what is prompted for is in tests/cases/plan.json; here, answers that
// come too late: the table was rebuilt smaller, the file changed, a rebuild dropped the earlier
// values, another entry was chosen since.
TEST(TrayDispatch, StaleAnswersAndIndicesBeyondTheTableDoNothing) {
  const struct {
    std::vector<menu::MenuData> entries;
    std::vector<Step> steps;
    Log log;
  } cases[] = {
      // clang-format off
      {{{"x.exe", "%input(a)%"}}, {Choose(1), Choose(std::size_t(-1))}, {}},
      {{{"a.exe", ""}, {"b.exe", "%input(a)%"}}, {Choose(1), Keep(1), Ok("v")}, {"prompt 1 a"}},
      {{{"a.exe", "%input(a)%"}}, {Choose(0), File(0, "changed"), Ok("v")}, {"prompt 1 a"}},
      {{{"a.exe", "%input(a)% %input(b)%"}}, {Choose(0), Ok("1"),
       File(0, "%input(a)% %input(b)%"), Ok("2")}, {"prompt 1 a", "prompt 2 b"}},
      {{{"a.exe", "%input(a)%"}, {"b.exe", "%input(b)% %input(c)%"}}, {Choose(0), Choose(1),
       Ok("1"), Ok("2")}, {"prompt 1 a", "prompt 1 b", "prompt 2 c",
       "start \"b.exe\" 1 2 @C:\\S\\b.exe"}},
      {{{"a.exe", "%input(a)%"}, {"b.exe", "plain"}}, {Choose(0), Choose(1), Ok("v")},
       {"prompt 1 a", "start \"b.exe\" plain @C:\\S\\b.exe"}},
      // A value the "..." button picked may be a name someone else chose: cmd never sees it.
      {{{"x.exe|p.bat", "%input(a)%"}}, {Choose(0), Ok("x&calc&.txt")}, {"prompt 1 a",
       "error Error: \"x&calc&.txt\" holds a character that cmd.exe would act on (& | < > ^ ( ) % "
       "!); the entry was not run"}},
      // clang-format on
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

// The shell's run of one entry on names that someone else chose (the ordinary runs are in
// tests/cases/plan.json), C:\D holding a planted copy of every program and DLL an entry names.
TEST(ShellRun, NamesOthersChoseNeverChangeWhatRuns) {
  const std::string cmdActs =
      "error Error: \"C:\\D\\x&evil&.txt\" holds a character that "
      "cmd.exe would act on (& | < > ^ ( ) % !); the entry was not run";
  const struct {
    std::string command, arguments;
    Log log;
    std::string selected = "C:\\D\\f.txt";
  } cases[] = {
      // clang-format off
      // Names without short names: cmd never sees what it would act on, options stay one
      // argument, the name's own "%" stays, commas make no more procedure arguments.
      {"C:\\T\\pack.bat", "\"%s\"", {cmdActs}, "C:\\D\\x&evil&.txt"},
      {"tool.exe|C:\\T\\PACK.CMD .", "%s", {cmdActs}, "C:\\D\\x&evil&.txt"},
      {"cmd", "/c type \"%s\"", {cmdActs}, "C:\\D\\x&evil&.txt"},
      {"E:\\wc.exe", "/q %s", {"start \"E:\\wc.exe\" /q \"C:\\D\\x -o e.txt\" in C:\\D\\"},
       "C:\\D\\x -o e.txt"},
      {"E:\\w.exe", "%%T%% %s", {"start \"E:\\w.exe\" C:\\Tmp C:\\D\\%T%.txt in C:\\D\\"},
       "C:\\D\\%T%.txt"},
      {"DllProc", "x.dll,Proc,%s,2", {"call C:\\S\\x.dll Proc 2"}, "C:\\D\\a,4919,b.txt"},
      // cmd.exe looks a batch file's name up again, in the folder it starts in first: the line
      // names the file found, never the planted copy beside the object.
      {"pack.bat", "\"%s\"",
       {"start \"C:\\S\\pack.bat\" \"C:\\D\\F~1.TXT\" @C:\\S\\pack.bat in C:\\D\\"}},
      {"C:pack.bat", "%s", {cmdActs}, "C:\\D\\x&evil&.txt"},
      // A name found from the folder gets ".exe"; "C:x" is the drive's current folder's.
      {"sub\\p", "", {"start \"sub\\p\"  @C:\\D\\sub\\p.exe in C:\\D\\"}},
      {"DllProc", "C:/L/y.dll,Proc", {"call C:\\L\\y.dll Proc 0"}},
      {"C:x.exe", "", {"start \"C:x.exe\"  in C:\\D\\"}},
      // Code page 932: the second byte of ソ and 表 is "\\", and no folder ends there.
      {"\x95\\\x8e\xa6.exe", "",
       {"start \"\x95\\\x8e\xa6.exe\"  @C:\\S\\\x95\\\x8e\xa6.exe in C:\\D\\"}},
      {"cmd.exe", "", {"start \"cmd.exe\"  @C:\\S\\cmd.exe in C:\\D\\"}, "C:\\D\\\x83\\\x83t.txt"},
      // clang-format on
  };
  for (const auto& c : cases) {
    test::FakeSystem system;
    system.searchFolders = {"C:\\S"};
    system.folders = {"C:\\D\\"};
    system.leadBytes = test::Cp932LeadByte;
    system.variables["T"] = "C:\\Tmp";
    system.shortNames["C:\\D\\f.txt"] = "C:\\D\\F~1.TXT";
    // clang-format off
    system.files = {"C:\\S\\cmd.exe", "C:\\S\\x.dll", "C:\\App\\Editor.exe", "C:\\D\\cmd.exe",
                    "C:\\D\\tool.exe", "C:\\D\\x.dll", "C:\\D\\sub\\p.exe", "C:\\D\\Editor.exe",
                    "C:\\S\\\x95\\\x8e\xa6.exe", "C:\\D\\\x95\\\x8e\xa6.exe", "C:\\D\\sub\\p",
                    "C:\\S\\pack.bat", "C:\\D\\pack.bat"};
    // clang-format on
    RunShellEntry({c.command, c.arguments}, c.selected, "C:\\App\\", system);
    EXPECT_EQ(system.log, c.log) << c.command << " " << c.arguments.substr(0, 40);
  }
}

}  // namespace
}  // namespace zel::launch
