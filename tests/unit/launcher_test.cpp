#include "launch/launcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fake_system.h"

namespace zel::launch {
namespace {

using Log = std::vector<std::string>;

TEST(ProgramNames, ClassifiedByTheirFolderPart) {
  const std::pair<const char*, NameKind> cases[] = {
      {"notepad.exe", NameKind::Bare},        {"cmd", NameKind::Bare},
      {".\\tools\\pack.exe", NameKind::Relative}, {"bin/x.dll", NameKind::Relative},
      {"..\\x.exe", NameKind::Relative},      {"\\tools\\x.exe", NameKind::Rooted},
      {"C:\\Tools\\x.exe", NameKind::Absolute}, {"d:x.exe", NameKind::Absolute},
      {"\\\\server\\share\\x.exe", NameKind::Absolute}, {"", NameKind::Bare},
  };
  for (const auto& [name, kind] : cases) EXPECT_EQ(ClassifyName(name), kind) << name;
  EXPECT_EQ(PathFolders("C:\\Bin;;.;bin;\"C:\\Program Files\\X\";\\\\srv\\tools;C:;D:\\"),
            (std::vector<std::string>{"C:\\Bin", "C:\\Program Files\\X", "\\\\srv\\tools", "D:\\"}));
}

// The shell's run of one entry on C:\Down\file.txt, in a system where C:\Down holds a planted
// copy of every program and DLL an entry names.
struct ShellRun {
  test::FakeSystem system;
  std::string selected = "C:\\Down\\file.txt";

  ShellRun() {
    system.folders = {"C:\\Down\\"};
    system.shortNames[selected] = "C:\\Down\\FILE~1.TXT";
    for (const char* name : {"cmd.exe", "tool.exe", "x.dll", "sub\\pack.exe", "Editor.exe"}) {
      system.files.insert(std::string("C:\\Down\\") + name);
    }
    system.files.insert("C:\\Windows\\System32\\cmd.exe");
    system.files.insert("C:\\Tools\\x.dll");
  }
  Log Run(const std::string& command, const std::string& arguments) {
    RunShellEntry({command, arguments}, selected, "C:\\App\\", system);
    return system.log;
  }
};

TEST(ShellRun, ProgramsStartInTheObjectsFolderAndBareNamesNeverComeFromIt) {
  const struct {
    const char* command;
    const char* application;  // the file started; empty: as the command line names it
  } cases[] = {
      {"cmd.exe", "C:\\Windows\\System32\\cmd.exe"},  // the planted one is passed over
      {"cmd", "C:\\Windows\\System32\\cmd.exe"},      // .exe appended to a bare name only
      {".\\tool.exe", "C:\\Down\\.\\tool.exe"},
      {"sub\\pack.exe", "C:\\Down\\sub\\pack.exe"},
      {"\\Apps\\y.exe", "C:\\Apps\\y.exe"},
      {"D:\\Apps\\y.exe", ""},
  };
  for (const auto& c : cases) {
    ShellRun run;
    EXPECT_EQ(run.Run(c.command, "/open %s"),
              Log{"start \"" + std::string(c.command) + "\" /open C:\\Down\\FILE~1.TXT"})
        << c.command;
    ASSERT_EQ(run.system.starts.size(), 1u);
    EXPECT_EQ(run.system.starts[0].application, c.application) << c.command;
    EXPECT_EQ(run.system.starts[0].folder, "C:\\Down\\") << c.command;
    EXPECT_EQ(run.selected, "C:\\Down\\FILE~1.TXT") << "the selection keeps its short form";
  }
  ShellRun missing;
  EXPECT_EQ(missing.Run("tool.exe|cmd.exe", "x"), Log{"start \"cmd.exe\" x"})
      << "a bare name found in no search folder is skipped silently, even when the object's "
         "folder holds it";
}

TEST(ShellRun, DllsAreLoadedByTheResolvedNameAndCappedAtThirtyTwoArguments) {
  const std::string args32 = [] {
    std::string text;
    for (int i = 0; i < 32; ++i) text += ",1";
    return text;
  }();
  const struct {
    const char* arguments;
    Log log;
  } cases[] = {
      {"x.dll,Proc,%s", {"call C:\\Tools\\x.dll Proc 1"}},  // PATH's, not the planted one
      {".\\x.dll,Proc", {"call C:\\Down\\.\\x.dll Proc 0"}},
      {"C:\\Lib\\y.dll,Proc,1", {"call C:\\Lib\\y.dll Proc 1"}},
      {"nowhere.dll,Proc", {"error Error: Unable to load dll or find export"}},
      {"", {"error Error: Unable to load dll or find export"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShellRun().Run("DllProc", c.arguments), c.log) << c.arguments;
  }
  EXPECT_EQ(ShellRun().Run("DllProc", "x.dll,Proc" + args32), Log{"call C:\\Tools\\x.dll Proc 32"});
  EXPECT_EQ(ShellRun().Run("DllProc", "x.dll,Proc" + args32 + ",1"),
            Log{"error Error: Too many arguments for a DLL procedure"});
  // Hundreds of thousands of arguments are refused, not pushed onto the stack.
  std::string many = "x.dll,Proc";
  for (int i = 0; i < 300000; ++i) many += ",7";
  EXPECT_EQ(ShellRun().Run("DllProc", many),
            Log{"error Error: Too many arguments for a DLL procedure"});
  ShellRun noExport;
  noExport.system.proceduresExist = false;
  EXPECT_EQ(noExport.Run("DllProc", "x.dll,Missing"),
            Log{"error Error: Unable to load dll or find export"});
}

TEST(ShellRun, KindIsTheExactCommandWord) {
  const struct {
    const char* command;
    Log log;
  } cases[] = {
      {"Add", {"start \"C:\\App\\Editor.exe\" C:\\Down\\FILE~1.TXT"}},
      {"add", {}},  // a program named add, found nowhere
      {"DllProc", {"call C:\\Tools\\x.dll Proc 1"}},
      {"dllproc", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    ShellRun run;
    run.system.files.insert("C:\\App\\Editor.exe");
    EXPECT_EQ(run.Run(c.command, "x.dll,Proc,%s"), c.log) << c.command;
  }
}

TEST(ShellRun, AnUnusableFolderIsReportedAndProgramsStartWhereTheHostStands) {
  for (const char* selected : {"C:\\", "C:\\Gone\\file.txt", "file.txt"}) {
    ShellRun run;
    run.selected = selected;
    EXPECT_EQ(run.Run("cmd.exe|.\\tool.exe", "%s"),
              (Log{"error Error setting current directory",
                   "start \"cmd.exe\" " + std::string(selected),
                   "start \".\\tool.exe\" " + std::string(selected)}))
        << selected;
    ASSERT_EQ(run.system.starts.size(), 2u);
    EXPECT_EQ(run.system.starts[0].application, "C:\\Windows\\System32\\cmd.exe");
    EXPECT_EQ(run.system.starts[0].folder, "");
    EXPECT_EQ(run.system.starts[1].application, "") << "relative to the host's folder";
  }
}

TEST(TrayRun, NamesAreResolvedWithoutAWorkingFolder) {
  test::FakeSystem system;
  system.files = {"C:\\Tools\\a.exe", "C:\\Windows\\System32\\a.exe",
                  "C:\\Windows\\System32\\d.exe"};
  system.variables["BIN"] = "C:\\Tools";
  Launcher launcher(system);
  launcher.RunPrograms("a|%BIN%\\b.exe|.\\c.exe|missing.exe|d.exe|", "%BIN%");
  ASSERT_EQ(system.starts.size(), 4u) << "a program found nowhere ends nothing";
  EXPECT_EQ(system.starts[0].application, "C:\\Tools\\a.exe") << "the first search folder wins";
  EXPECT_EQ(system.starts[0].commandLine, "\"a\" C:\\Tools");
  EXPECT_EQ(system.starts[1].application, "");
  EXPECT_EQ(system.starts[1].commandLine, "\"C:\\Tools\\b.exe\" C:\\Tools");
  EXPECT_EQ(system.starts[2].application, "") << "as written: found from the current folder";
  EXPECT_EQ(system.starts[3].application, "C:\\Windows\\System32\\d.exe");
  for (const auto& start : system.starts) EXPECT_EQ(start.folder, "");
}

}  // namespace
}  // namespace zel::launch
