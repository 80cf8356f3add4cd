// Running entries on the real system: processes observed through copies of the recorder, DLL
// procedures of zel_test_procs.dll, real message boxes, wvsprintfA and the environment.
#include "launch/launch_win32.h"

#include <gtest/gtest.h>

#include "launch/run_entry.h"
#include "tests/win32/support.h"

namespace zel::launch {
namespace {

using test::Record;
using test::WaitForRecord;

const std::string kRecorder = test::Built("tests/win32/zel_recorder.exe");

// A scratch folder that also receives the recorder's records.
struct RecordFolder : test::ScratchFolder {
  RecordFolder() { ::SetEnvironmentVariableA("ZEL_RECORD_DIR", path().c_str()); }
  ~RecordFolder() { ::SetEnvironmentVariableA("ZEL_RECORD_DIR", nullptr); }
};

class AnswerAtOnce final : public PromptView {
 public:
  void ShowPrompt(int number) override { numbers.push_back(number); }
  std::vector<int> numbers;
};

// A list with a missing program, a document and an empty item; bare names found on PATH;
// environment strings expanded in names, arguments and typed values; the caller's folder.
TEST(Programs, ListsStartInOrderFromResolvedNamesInTheCallersFolder) {
  RecordFolder folder;
  const std::string a = folder.Copy(kRecorder, "a.exe");
  const std::string onPath = folder.MakeFolder("on path");
  folder.Copy(kRecorder, "on path\\b.exe");
  const std::string c = folder.Copy(kRecorder, "c.exe");
  const std::string document = folder.Write("notes.txt", "not a program");
  char oldPath[32768] = {};
  ::GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
  ::SetEnvironmentVariableA("PATH", (onPath + ";" + oldPath).c_str());
  ::SetEnvironmentVariableA("ZEL_T_DIR", folder.path().c_str());

  test::BoxWatcher boxes;
  Win32LaunchSystem system;
  menu::MenuTable table;
  table.Append() = {"%ZEL_T_DIR%\\a.exe|missing.exe|" + document + "|b||" + c,
                    "/x %input(C:\\)% %ZEL_T_UNSET%"};
  TrayPromptState state;
  AnswerAtOnce prompt;
  Launcher launcher(system);
  RunEntry(table, state, prompt, launcher);
  AcceptPromptValue(table, state, "\"y z\" %ZEL_T_DIR%", prompt, launcher);
  const std::string arguments = " /x \"y z\" " + folder.path() + " %ZEL_T_UNSET%";
  EXPECT_EQ(WaitForRecord(folder.path(), "a"), (Record{"\"" + a + "\"" + arguments, test::CurrentFolder()}));
  EXPECT_EQ(WaitForRecord(folder.path(), "b"), (Record{"\"b\"" + arguments, test::CurrentFolder()}));
  EXPECT_EQ(WaitForRecord(folder.path(), "c", 500).commandLine, "(none)") << "the empty item ends the list";
  EXPECT_TRUE(boxes.Boxes().empty()) << "programs that cannot start are skipped silently";
  ::SetEnvironmentVariableA("PATH", oldPath);
  ::SetEnvironmentVariableA("ZEL_T_DIR", nullptr);
}

TEST(DllProcedures, ArgumentsArriveAsIntegersOrTextsAndTheDllIsFreed) {
  test::ProcLog log;
  Win32LaunchSystem system;
  Launcher launcher(system);
  const std::string dll = test::ProcLog::DllPath();
  const std::pair<std::string, const char*> cases[] = {
      {"Proc0,", "Proc0"},
      {"ProcInt,-5,", "ProcInt -5"},
      {"ProcWide,-5,", "ProcWide -5"},  // sign-extended on 64-bit Windows
      {"ProcWide,0xFFFFFFFF,", "ProcWide -1"},
      {"ProcText,10 ,", "ProcText [10 ] z3"},
      {"Proc3,7,two words,$1F,", "Proc3 7 [two words] z3 31"},
  };
  log.Take();
  for (const auto& [rest, logged] : cases) {
    launcher.CallDllProcedure(dll + "," + rest);
    EXPECT_EQ(log.Take(), logged) << rest;
  }
  // Only the test's own reference is left: the call freed what it loaded.
  EXPECT_TRUE(::FreeLibrary(::GetModuleHandleA(dll.c_str())));
  EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr);
  ::LoadLibraryA(dll.c_str());

  test::BoxWatcher boxes;
  for (const std::string& line : {std::string("no_such_library.dll,Proc0,"), dll + ",proc0,", dll + ", Proc0,"}) {
    launcher.CallDllProcedure(line);
  }
  ASSERT_TRUE(test::WaitFor([&] { return boxes.Boxes().size() == 3; }));
  for (const test::Dialog& box : boxes.Boxes()) {
    EXPECT_EQ(box.text, "Error: Unable to load dll or find export");
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.owner, nullptr);
  }
  EXPECT_EQ(log.Take(), "");
}

// Calls that pass another number of arguments than the procedure removes, and a cdecl
// procedure: the caller's stack must come back intact every time.
TEST(DllProcedures, WrongArityLeavesTheCallerIntact) {
  test::ProcLog log;
  const HMODULE dll = ::GetModuleHandleA(test::ProcLog::DllPath().c_str());
  const FARPROC proc3 = ::GetProcAddress(dll, "Proc3");
  const FARPROC proc0 = ::GetProcAddress(dll, "Proc0");
  const FARPROC cdecl2 = ::GetProcAddress(dll, "ProcCdecl");
  volatile std::uint32_t canary = 0x5EED1234u;
  for (int i = 0; i < 2000; ++i) {
    CallProcedure(proc3, {});                     // removes 12 bytes, none passed
    CallProcedure(proc0, {1, 2, 3, 4, 5, 6, 7});  // removes none, 28 passed
    CallProcedure(cdecl2, {4, 5});
    if (i % 100 == 0) log.Take();
  }
  log.Take();
  const std::vector<char> text = TextArgumentBytes("t");
  CallProcedure(proc3, {9, reinterpret_cast<std::uintptr_t>(text.data()), 8});
  CallProcedure(proc3, {1});  // a shorter call reads zeros where arguments are missing
  EXPECT_EQ(log.Take(), "Proc3 9 [t] z3 8; Proc3 1 (null) 0");
  EXPECT_EQ(canary, 0x5EED1234u);
}

TEST(FormatArguments, EveryConversionTakesThePathAndNothingReadsPastIt) {
  const std::string path = "C:\\DOCS~1\\A.TXT";
  const std::pair<const char*, std::string> cases[] = {
      {"/in %s /out %s.bak", "/in " + path + " /out " + path + ".bak"},
      {"100%% %%s", "100% %s"},
      {"%-17s|%.4s", path + "  |C:\\D"},
  };
  for (const auto& [format, formatted] : cases) EXPECT_EQ(FormatArguments(format, path), formatted);
  std::string many;
  for (int i = 0; i < 300; ++i) many += "%s";
  EXPECT_EQ(FormatArguments(many, std::string(200, 'p')), std::string(1023, 'p'));
  EXPECT_EQ(FormatArguments("%5000s", "x").size(), 1023u);
  // %S reads the path as 16-bit units and stops at the zero bytes after it.
  for (const std::string odd : {"C:\\AB.TXT", "C"}) {
    EXPECT_LE(FormatArguments("%S", odd).size(), (odd.size() + 1) / 2) << odd;
  }
  // A number conversion takes the path's address, and the %s after it still gets the path.
  const std::string numbers = FormatArguments("%d|%x|%s", "P");
  EXPECT_EQ(numbers.find_first_not_of("-0123456789"), numbers.find('|')) << numbers;
  EXPECT_EQ(numbers.substr(numbers.size() - 2), "|P");
}

TEST(ExpandEnvironment, ExpandsOnceWithin32767Characters) {
  const std::string big(20000, 'v');
  ::SetEnvironmentVariableA("ZEL_T_BIG", big.c_str());
  ::SetEnvironmentVariableA("ZEL_T_REF", "%ZEL_T_BIG%");
  EXPECT_EQ(ExpandEnvironment("<%ZEL_T_BIG%>"), "<" + big + ">");
  EXPECT_EQ(ExpandEnvironment("%ZEL_T_REF%"), "%ZEL_T_BIG%") << "a value is not expanded again";
  EXPECT_EQ(ExpandEnvironment("%ZEL_T_BIG%%ZEL_T_BIG%"), "%ZEL_T_BIG%%ZEL_T_BIG%");
  const std::string longText = std::string(40000, 'a') + "%ZEL_T_BIG%";
  EXPECT_EQ(ExpandEnvironment(longText), longText);
}

// The shell's run: programs start in the object's folder from the names the entry gives, a
// program or DLL planted in that folder never runs for a bare name, a DLL procedure sees the
// host's folder, and the host's current folder never changes.
TEST(ShellRun, ObjectsFolderForProgramsAndNeverForBareNames) {
  RecordFolder folder;
  const std::string downloads = folder.MakeFolder("Downloads");
  folder.Copy(kRecorder, "Downloads\\cmd.exe");
  folder.Copy(kRecorder, "Downloads\\tool.exe");
  folder.Copy(test::ProcLog::DllPath(), "Downloads\\zel_on_path.dll");
  const std::string onPath = folder.MakeFolder("On Path");
  const std::string pathDll = folder.Copy(test::ProcLog::DllPath(), "On Path\\zel_on_path.dll");
  const std::string app = folder.MakeFolder("Program Files");
  folder.Copy(kRecorder, "Program Files\\Editor.exe");
  const std::string item = folder.Write("Downloads\\Long Name.txt", "x");
  const std::string shortItem = win::ShortPath(item);
  ASSERT_NE(shortItem, item);
  char oldPath[32768] = {};
  ::GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
  ::SetEnvironmentVariableA("PATH", (onPath + ";" + oldPath).c_str());
  const std::string before = test::CurrentFolder();

  test::ProcLog log;
  test::BoxWatcher boxes;
  Win32LaunchSystem system;
  const auto run = [&](const std::string& command, const std::string& arguments,
                       std::string selected) {
    RunShellEntry({command, arguments}, selected, app + "\\", system);
    return selected;
  };
  EXPECT_EQ(run("cmd.exe", "/c exit", item), shortItem) << "the selection keeps its short form";
  run("DllProc", "zel_on_path.dll,ProcSelf", item);
  run("DllProc", test::ProcLog::DllPath() + ",Proc3,1,%s,2", item);
  run("DllProc", test::ProcLog::DllPath() + ",ProcFolder", item);
  run(".\\tool.exe", "/open %s", item);
  run("Add", "", item);
  char loaded[MAX_PATH] = {};
  ::GetEnvironmentVariableA("ZEL_PROC_SELF", loaded, MAX_PATH);
  EXPECT_EQ(std::string(loaded), pathDll) << "the DLL found on PATH, not the planted one";
  EXPECT_EQ(log.Take(), "Proc3 1 [" + shortItem + "] z3 2; ProcFolder " + before);
  EXPECT_EQ(WaitForRecord(folder.path(), "tool"), (Record{"\".\\tool.exe\" /open " + shortItem, downloads}));
  EXPECT_EQ(WaitForRecord(folder.path(), "Editor"), (Record{"\"" + app + "\\Editor.exe\" " + shortItem, downloads}));
  EXPECT_EQ(WaitForRecord(folder.path(), "cmd", 300).commandLine, "(none)") << "the planted cmd.exe ran";
  EXPECT_TRUE(boxes.Boxes().empty());

  // A drive root has no folder to start in: said once, and the program starts where the host is.
  ::DeleteFileA((folder.path() + "\\tool.txt").c_str());
  run("tool.exe|" + folder.path() + "\\Downloads\\tool.exe", "%s", "C:\\");
  ASSERT_TRUE(test::WaitFor([&] { return boxes.Boxes().size() == 1; }));
  EXPECT_EQ(boxes.Boxes()[0].text, "Error setting current directory");
  EXPECT_EQ(boxes.Boxes()[0].title, "ERROR");
  EXPECT_EQ(boxes.Boxes()[0].owner, nullptr);
  EXPECT_EQ(test::WaitForRecord(folder.path(), "tool").folder, before);
  EXPECT_EQ(test::CurrentFolder(), before);
  ::SetEnvironmentVariableA("PATH", oldPath);
}

}  // namespace
}  // namespace zel::launch
