// Running entries on the real system: processes observed through copies of the recorder, DLL
// procedures of zel_test_procs.dll, real message boxes, wvsprintfA and the environment.
#include "launch/launch_win32.h"

#include <gtest/gtest.h>

#include "tests/win32/support.h"
#include "win/paths_win32.h"

namespace zel::launch {
namespace {

using test::Started;
using test::WaitForRecord;

const std::string kRecorder = test::Built("tests/win32/zel_recorder.exe");

std::string CurrentFolder() {
  char folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(sizeof(folder), folder);
  return folder;
}

// The tray's run starts a list in order, in the caller's folder, from names with environment
// strings expanded and bare names found on PATH; what cannot start is skipped silently. The
// shell's run starts programs in the object's folder, never one planted there for a bare name,
// nor a planted DLL; a DLL procedure sees the host's folder, which never changes. (Each test
// runs in a process of its own: the environment is the test's to change.)
TEST(Running, ProgramsAndDllsFromTheNamesGivenInTheirFolders) {
  test::ScratchFolder folder;
  char path[32768] = {};
  ::GetEnvironmentVariableA("PATH", path, sizeof path);
  ::SetEnvironmentVariableA("PATH", (folder.MakeFolder("On Path") + ";" + path).c_str());
  ::SetEnvironmentVariableA("ZEL_RECORD_DIR", folder.path().c_str());
  const std::string a = folder.Copy(kRecorder, "a.exe"), downloads = folder.MakeFolder("Downloads");
  folder.Copy(kRecorder, "On Path\\b.exe");
  folder.Copy(kRecorder, "Downloads\\tool.exe");
  folder.Copy(test::ProcLog::DllPath(), "Downloads\\zel_on_path.dll");
  const std::string pathDll = folder.Copy(test::ProcLog::DllPath(), "On Path\\zel_on_path.dll");
  const std::string item = folder.Write("Downloads\\Long Name.txt", "x"),
                    shortItem = win::ShortPath(item);
  ASSERT_NE(shortItem, item);
  const std::string before = CurrentFolder();
  ::SetEnvironmentVariableA("ZEL_T_DIR", folder.path().c_str());
  ::SetEnvironmentVariableA("ZEL_T_REF", "%ZEL_T_DIR%");  // expanded once: it stays a reference
  test::ProcLog log;
  test::Boxes boxes;
  Win32LaunchSystem system;
  Launcher(system).RunPrograms("%ZEL_T_DIR%\\a.exe|missing.exe|" + item + "|b|",
                               "/x \"y z\" %ZEL_T_DIR% %ZEL_T_UNSET% %ZEL_T_REF%");
  const std::string arguments = " /x \"y z\" " + folder.path() + " %ZEL_T_UNSET% %ZEL_T_DIR%";
  EXPECT_EQ(WaitForRecord(folder.path(), "a"), Started("\"" + a + "\"" + arguments, before));
  EXPECT_EQ(WaitForRecord(folder.path(), "b"), Started("\"b\"" + arguments, before));
  EXPECT_EQ(system.SearchFolders().front(), ExtractFolder(win::GetModulePath(), &AnsiLeadByte))
      << "the program's folder first";

  const auto run = [&](const std::string& command, const std::string& arguments,
                       const std::string& selected) {
    RunShellEntry({command, arguments}, selected, folder.path() + "\\", system);
  };
  run("DllProc", "zel_on_path.dll,ProcSelf", item);
  run("DllProc", test::ProcLog::DllPath() + ",Proc3,1,%s,2", item);
  run("DllProc", test::ProcLog::DllPath() + ",ProcFolder", item);
  run(".\\tool.exe", "/open %s", item);
  char loaded[MAX_PATH] = {};
  ::GetEnvironmentVariableA("ZEL_PROC_SELF", loaded, MAX_PATH);
  EXPECT_EQ(std::string(loaded), pathDll) << "the DLL found on PATH, not the planted one";
  EXPECT_EQ(log.Take(), "Proc3 1 [" + shortItem + "] z3 2; ProcFolder " + before);
  EXPECT_EQ(WaitForRecord(folder.path(), "tool"),
            Started("\".\\tool.exe\" /open " + shortItem, downloads));
  EXPECT_EQ(boxes.shown, "");
  EXPECT_EQ(CurrentFolder(), before);
}

// Integers and texts as the procedure receives them, the DLL freed after the call, and a
// message for a procedure that cannot be had (export names are exact). Calls that pass another
// number of arguments than the procedure removes, and to a cdecl procedure, leave the stack as
// it was: thousands of them and the process still runs; missing arguments read zeros.
TEST(DllProcedures, ArgumentsArriveAsIntegersOrTextsWhateverTheArity) {
  test::ProcLog log;
  Win32LaunchSystem system;
  Launcher launcher(system);
  const std::string dll = test::ProcLog::DllPath();
  log.Take();
  for (const char* rest : {"Proc0,", "ProcWide,-5,", "Proc3,7,two words,$1F,"})
    launcher.CallDllProcedure(dll + "," + rest);
  // ProcWide's integer arrives sign-extended on 64-bit Windows.
  EXPECT_EQ(log.Take(), "Proc0; ProcWide -5; Proc3 7 [two words] z3 31");
  // Only the test's own reference is left: the calls freed what they loaded.
  EXPECT_TRUE(::FreeLibrary(::GetModuleHandleA(dll.c_str())));
  EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr);
  const HMODULE module = ::LoadLibraryA(dll.c_str());
  test::Boxes boxes;
  launcher.CallDllProcedure(dll + ",proc0,");  // export names are exact
  EXPECT_EQ(boxes.shown, "Error: Error: Unable to load dll or find export\n");

  const FARPROC proc3 = ::GetProcAddress(module, "Proc3");
  for (int i = 0; i < 2000; ++i) {
    CallProcedure(proc3, {});  // removes 12 bytes, none passed
    CallProcedure(::GetProcAddress(module, "Proc0"), {1, 2, 3, 4, 5, 6, 7});  // removes none
    CallProcedure(::GetProcAddress(module, "ProcCdecl"), {4, 5});
    if (i % 100 == 0) log.Take();
  }
  log.Take();
  CallProcedure(proc3, {1});
  EXPECT_EQ(log.Take(), "Proc3 1 (null) 0");

  // The x87 unit comes back as it was: no value left on its eight-deep stack (every later load
  // would give NaN), its precision unchanged. On x64 floats travel in SSE registers.
  for (int i = 0; i < 10; ++i) CallProcedure(::GetProcAddress(module, "ProcFloat"), {});
  volatile double big = 1 << 24;
  EXPECT_EQ(big + 1, 16777217.0);
}

// What it formats is compared with the model in plan_diff.py; here: no conversion reads past
// the values it is given, however many the format has.
TEST(FormatArguments, NothingReadsPastThePath) {
  std::string percents;
  for (int i = 0; i < 300; ++i) percents += "%s";
  EXPECT_EQ(FormatArguments(percents, std::string(200, 'p')), std::string(1023, 'p'));
}

}  // namespace
}  // namespace zel::launch
