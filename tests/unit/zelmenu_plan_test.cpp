#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>

#include "tests/unit/fake_files.h"
#include "tests/unit/fake_system.h"
#include "tools/zelmenu/zelmenu_app.h"

namespace zel::tools::zelmenu {
namespace {

using nlohmann::json;

// A system with one variable, TEMP, short names for two paths under "C:\Long Folder\", and
// every program and DLL in C:\Windows.
test::FakeSystem PlanSystem() {
  test::FakeSystem system;
  system.variables["TEMP"] = "C:\\Tmp";
  system.shortNames["C:\\Long Folder\\a b.txt"] = "C:\\LONGFO~1\\a b.txt";
  system.shortNames["C:\\Long Folder\\a.txt"] = "C:\\LONGFO~1\\a.txt";
  system.folders = {"C:\\Long Folder\\", "C:\\"};
  system.searchFolders = {"C:\\Windows"};
  system.everyFileExists = true;
  return system;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

const char kPlanMenu[] =
    "item 'Open','notepad.exe','%input(C:\\Docs)%'\r\n"                      // tray 1033
    "item 'Two','a.exe|b.exe','%input(x)% %INPUT(y)% %TEMP%'\r\n"            // tray 1034
    "item 'Beep','DllProc','user32.dll,MessageBeep,0'\r\n"                   // tray 1035
    "item 'Typed','DllProc','my.dll,Proc,12,%input(n)%,x7f,1.5'\r\n"         // tray 1036
    "citem 'Edit','%TEMP%\\ed.exe','/open %s /b %s.bak','txt'\r\n"           // shell only
    "Add\r\n";

Outcome Plan(std::vector<std::string> args) {
  test::FakeFiles files;
  files.Put("m.txt", kPlanMenu);
  test::FakeSystem system = PlanSystem();
  std::ostringstream out, err;
  args.insert(args.begin(), "plan");
  args.push_back("m.txt");
  const int status =
      RunZelmenu(args, out, err, files, "default/Menu.txt", system, "C:\\Program Files\\Zelvane\\");
  return {status, out.str(), err.str()};
}

json PlanJson(std::vector<std::string> args) {
  args.push_back("--json");
  const Outcome run = Plan(args);
  EXPECT_EQ(run.status, 0) << run.err;
  return json::parse(run.out);
}

json Prompt(const std::string& label, const std::string& argument) {
  return {{"action", "prompt"}, {"label", label}, {"argument", argument}};
}
// A start step: the program file resolved from a bare name, and the folder it starts in.
json Start(const std::string& commandLine, const std::string& program = "",
           const std::string& folder = "") {
  json step = {{"action", "start"}, {"commandLine", commandLine}};
  if (!program.empty()) step["program"] = program;
  if (!folder.empty()) step["folder"] = folder;
  return step;
}

TEST(ZelmenuPlan, TrayPromptsUntilTheValuesRunOut) {
  EXPECT_EQ(PlanJson({"--form", "tray", "--id", "1033"}),
            json::array({Prompt("Parameter #1:", "C:\\Docs")}));
  EXPECT_EQ(PlanJson({"--form", "tray", "--id", "1033", "--value", "a.txt"}),
            json::array({Prompt("Parameter #1:", "C:\\Docs"),
                         Start("\"notepad.exe\" a.txt", "C:\\Windows\\notepad.exe")}));
  const Outcome waiting = Plan({"--form", "tray", "--id", "1034", "--value", "1"});
  EXPECT_EQ(waiting.status, 0);
  EXPECT_NE(waiting.err.find("waits for a value"), std::string::npos);
}

TEST(ZelmenuPlan, TrayStartsEveryProgramWithExpandedValues) {
  EXPECT_EQ(PlanJson({"--form", "tray", "--id", "1034", "--value", "%TEMP%\\1", "--value", "2"}),
            json::array({Prompt("Parameter #1:", "x"), Prompt("Parameter #2:", "y"),
                         Start("\"a.exe\" C:\\Tmp\\1 2 C:\\Tmp", "C:\\Windows\\a.exe"),
                         Start("\"b.exe\" C:\\Tmp\\1 2 C:\\Tmp", "C:\\Windows\\b.exe")}));
}

TEST(ZelmenuPlan, TrayCallsWithTypedArguments) {
  EXPECT_EQ(PlanJson({"--form", "tray", "--id", "1035"}),
            json::array({{{"action", "call"},
                          {"dll", "C:\\Windows\\user32.dll"},
                          {"procedure", "MessageBeep"},
                          {"arguments", json::array({{{"int", 0}}})}}}));
  const json typed = PlanJson({"--form", "tray", "--id", "1036", "--value", "$FFFFFFFF"});
  EXPECT_EQ(typed[1]["arguments"],
            json::array({{{"int", 12}}, {{"int", -1}}, {{"int", 127}}, {{"text", "1.5"}}}));
}

TEST(ZelmenuPlan, ValuesAreCutLikeThePromptCutsThem) {
  const json steps = PlanJson({"--form", "tray", "--id", "1033", "--value", std::string(300, 'v')});
  EXPECT_EQ(steps[1]["commandLine"], "\"notepad.exe\" " + std::string(259, 'v'));
}

TEST(ZelmenuPlan, ShellFormatsAroundTheShortPath) {
  // Shell identifiers count from 1: the four items, "Edit" for .txt files, then "Add to...".
  EXPECT_EQ(PlanJson({"--form", "shell", "--selected", "C:\\Long Folder\\a b.txt", "--id", "5"}),
            json::array({Start("\"C:\\Tmp\\ed.exe\" /open C:\\LONGFO~1\\a b.txt /b "
                               "C:\\LONGFO~1\\a b.txt.bak",
                               "", "C:\\Long Folder\\")}));
  EXPECT_EQ(PlanJson({"--form", "shell", "--selected", "C:\\Long Folder\\a.txt", "--id", "6"}),
            json::array({Start("\"C:\\Program Files\\Zelvane\\Editor.exe\" C:\\LONGFO~1\\a.txt",
                               "", "C:\\Long Folder\\")}));
}

TEST(ZelmenuPlan, HumanOutputOneLineAStep) {
  const Outcome run = Plan({"--form", "tray", "--id", "1036", "--value", "abc"});
  EXPECT_EQ(run.out,
            "prompt \"Parameter #1:\" argument \"n\"\n"
            "call \"C:\\Windows\\my.dll\" \"Proc\" (int 12, text \"abc\", int 127, text \"1.5\")\n");
}

TEST(ZelmenuPlan, IdentifiersThatSelectNoEntryFail) {
  for (const char* id : {"1032", "1039", "0", "99999"}) {
    const Outcome run = Plan({"--form", "tray", "--id", id});
    EXPECT_EQ(run.status, 1) << id;
    EXPECT_NE(run.err.find("selects no entry"), std::string::npos) << id;
  }
  EXPECT_EQ(Plan({"--form", "shell", "--selected", "C:\\x.jpg", "--id", "6"}).status, 1);
  EXPECT_EQ(PlanJson({"--form", "shell", "--selected", "C:\\x.jpg", "--id", "5"})[0]["commandLine"],
            "\"C:\\Program Files\\Zelvane\\Editor.exe\" C:\\x.jpg");
}

TEST(ZelmenuPlan, WrongOptionsExitWithTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--id", "1033"},
      {"--form", "tray"},
      {"--form", "tray", "--id", "x"},
      {"--form", "shell", "--id", "1"},
      {"--form", "tray", "--selected", "C:\\a", "--id", "1033"},
      {"--form", "shell", "--selected", "C:\\a", "--id", "1", "--value", "v"},
      {"--form", "tray", "--id", "1033", "--value", ""},
      {"--form", "tray", "--id", "1033", "--id-first", "4"},
  };
  for (const auto& args : wrong) {
    const Outcome run = Plan(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
  }
}

struct FormatCase {
  const char* format;
  const char* formatted;
};

TEST(PortableFormatting, FollowsTheShellFormatForPathConversions) {
  const FormatCase cases[] = {
      {"/open %s", "/open P.TXT"},
      {"%s|%s", "P.TXT|P.TXT"},
      {"100%%", "100%"},
      {"%-7s|", "P.TXT  |"},
      {"%7s|", "  P.TXT|"},
      {"%.2s", "P."},
      {"%ls %hs %S", "P.TXT P.TXT P.TXT"},
      {"%d %x", "%d %x"},
      {"50%", "50%"},
  };
  PortablePlanSystem system;
  for (const FormatCase& c : cases) EXPECT_EQ(system.FormatArguments(c.format, "P.TXT"), c.formatted) << c.format;
  EXPECT_EQ(system.FormatArguments("%2000s", "x").size(), 1023u);
}

TEST(PortableFormatting, ExpandsSetVariablesAndKeepsTheRest) {
#ifdef _WIN32
  ::_putenv_s("ZEL_PLAN_VAR", "val");
  ::_putenv_s("ZEL_PLAN_UNSET", "");  // an empty value removes the variable
#else
  ::setenv("ZEL_PLAN_VAR", "val", 1);
  ::unsetenv("ZEL_PLAN_UNSET");
#endif
  PortablePlanSystem system;
  const FormatCase cases[] = {
      {"%ZEL_PLAN_VAR%", "val"},
      {"a %ZEL_PLAN_UNSET% b", "a %ZEL_PLAN_UNSET% b"},
      {"%ZEL_PLAN_UNSET%ZEL_PLAN_VAR%", "%ZEL_PLAN_UNSET%ZEL_PLAN_VAR%"},
      {"%ZEL_PLAN_UNSET%%ZEL_PLAN_VAR%", "%ZEL_PLAN_UNSET%val"},
      {"100% %ZEL_PLAN_VAR%", "100% %ZEL_PLAN_VAR%"},
      {"%%", "%%"},
      {"50%", "50%"},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(system.ExpandEnvironment(c.format), c.formatted) << c.format;
}

}  // namespace
}  // namespace zel::tools::zelmenu
