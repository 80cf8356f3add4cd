// Real processes, real DLL procedures and real message boxes: what running an entry does on
// the system. Started programs are copies of the recorder, which writes down its command line
// and current folder; DLL procedures come from zel_test_procs.dll, which logs its arguments.
#include "launch/launch_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "launch/command_line.h"
#include "launch/run_entry.h"
#include "win/unique_handle_win32.h"
#include "tests/win32/temp_folder_win32.h"

namespace zel::launch {
namespace {

using namespace std::chrono_literals;

std::string ProgramFolder() { return ExtractFolder(win::GetModulePath()); }
std::string RecorderPath() { return ProgramFolder() + "zel_recorder.exe"; }
std::string ProcsPath() { return ProgramFolder() + "zel_test_procs.dll"; }

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(MAX_PATH, buffer);
  return buffer;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The same folder whether or not it is written with a final backslash, in any letter case.
std::string FolderKey(std::string folder) {
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return Lower(folder);
}

std::string ShortForm(const std::string& path) {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetShortPathNameA(path.c_str(), buffer, MAX_PATH + 1);
  return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : std::string();
}

// A scratch folder with spaces in its name under %TEMP%, removed with everything in it. The
// recorder's copies write their records into it (ZEL_RECORD_DIR).
class TempFolder : public test::TempFolder {
 public:
  TempFolder() : test::TempFolder("zel launch") {
    ::SetEnvironmentVariableA("ZEL_RECORD_DIR", path().c_str());
  }
  ~TempFolder() { ::SetEnvironmentVariableA("ZEL_RECORD_DIR", nullptr); }
  std::string Folder(const std::string& name) const { return MakeFolder(name); }

  // The record of the recorder copy named `name` (without .exe), once it appears.
  std::string WaitForRecord(const std::string& name,
                            std::chrono::milliseconds timeout = 15s) const {
    const std::string file = path() + "\\" + name + ".txt";
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
      std::ifstream in(file, std::ios::binary);
      if (in) {
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
      }
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return "(no record)";
  }
  bool HasRecord(const std::string& name) const {
    return ::GetFileAttributesA((path() + "\\" + name + ".txt").c_str()) != INVALID_FILE_ATTRIBUTES;
  }

};

// A record: the command line and the current folder.
struct Record {
  std::string commandLine;
  std::string folder;
};

Record ParseRecord(const std::string& text) {
  Record record;
  const std::size_t end = text.find('\n');
  record.commandLine = text.substr(0, end);
  if (end != std::string::npos) record.folder = text.substr(end + 1, text.find('\n', end + 1) - end - 1);
  return record;
}

// Message boxes of this process, found from another thread, read and closed.
class BoxCloser {
 public:
  struct Box {
    std::string caption;
    std::string text;
    bool owned;
  };

  BoxCloser() : thread_([this] { Run(); }) {}
  ~BoxCloser() {
    stop_ = true;
    thread_.join();
  }
  std::vector<Box> Boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }

 private:
  void Run() {
    while (!stop_) {
      ::EnumWindows(&BoxCloser::Visit, reinterpret_cast<LPARAM>(this));
      std::this_thread::sleep_for(20ms);
    }
  }
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* closer = reinterpret_cast<BoxCloser*>(self);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char className[64] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (process != ::GetCurrentProcessId() || std::string(className) != "#32770") return TRUE;
    std::lock_guard<std::mutex> lock(closer->mutex_);
    if (!closer->handled_.insert(window).second) return TRUE;
    char caption[256] = {};
    char text[256] = {};
    ::GetWindowTextA(window, caption, sizeof caption);
    ::GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    closer->boxes_.push_back({caption, text, ::GetWindow(window, GW_OWNER) != nullptr});
    // Posted, never sent: the box's thread is inside its modal loop.
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::set<HWND> handled_;
  std::vector<Box> boxes_;
  std::thread thread_;
};

// The real system behind the Launcher and the shell's run.
void RunPrograms(const std::string& programs, const std::string& arguments) {
  Win32LaunchSystem system;
  Launcher(system).RunPrograms(programs, arguments);
}

void CallDllProcedure(const std::string& procedureLine) {
  Win32LaunchSystem system;
  Launcher(system).CallDllProcedure(procedureLine);
}

void RunShellEntry(const menu::MenuData& entry, std::string& selectedPath,
                   const std::string& moduleFolder = "") {
  Win32LaunchSystem system;
  launch::RunShellEntry(entry, selectedPath, moduleFolder, system);
}

// ---- Environment and module paths

TEST(EnvironmentExpansion, SetVariablesExpandOnceAndUnsetOnesStay) {
  ::SetEnvironmentVariableA("ZEL_T_A", "alpha");
  ::SetEnvironmentVariableA("ZEL_T_B", "%ZEL_T_A%");
  ::SetEnvironmentVariableA("ZEL_T_UNSET", nullptr);
  const std::pair<const char*, const char*> cases[] = {
      {"%ZEL_T_A%", "alpha"},
      {"x %ZEL_T_A%\\y", "x alpha\\y"},
      {"%ZEL_T_UNSET%", "%ZEL_T_UNSET%"},
      {"%ZEL_T_B%", "%ZEL_T_A%"},  // a value is not expanded again
      {"100%", "100%"},
      {"", ""},
  };
  for (const auto& [text, expanded] : cases) EXPECT_EQ(ExpandEnvironment(text), expanded) << text;
}

TEST(EnvironmentExpansion, TextThatWouldNotFitStaysUnexpanded) {
  const std::string big(20000, 'v');
  ::SetEnvironmentVariableA("ZEL_T_BIG", big.c_str());
  EXPECT_EQ(ExpandEnvironment("%ZEL_T_BIG%"), big);
  EXPECT_EQ(ExpandEnvironment("%ZEL_T_BIG%%ZEL_T_BIG%"), "%ZEL_T_BIG%%ZEL_T_BIG%");
  const std::string longText = std::string(40000, 'a') + "%ZEL_T_BIG%";
  EXPECT_EQ(ExpandEnvironment(longText), longText);
  ::SetEnvironmentVariableA("ZEL_T_BIG", nullptr);
}

TEST(ModulePaths, ProgramAndLibraryFiles) {
  EXPECT_EQ(Lower(win::GetModulePath()).substr(win::GetModulePath().size() - 26), "zel_launch_win32_tests.exe");
  const win::UniqueHmodule library(::LoadLibraryA(ProcsPath().c_str()));
  ASSERT_TRUE(library);
  EXPECT_EQ(Lower(win::GetModulePath(library.get())), Lower(ProcsPath()));
}

// ---- Programs

TEST(Programs, ListsStartEveryPresentProgramInOrderAndStopAtAnEmptyItem) {
  TempFolder folder;
  const std::string a = folder.Copy(RecorderPath(), "a.exe");
  const std::string b = folder.Copy(RecorderPath(), "b.exe");
  const std::string c = folder.Copy(RecorderPath(), "c.exe");
  const std::string missing = folder.path() + "\\missing.exe";
  const std::string document = folder.Write("notes.txt", "not a program");

  BoxCloser boxes;
  RunPrograms(a + "|" + missing + "|" + document + "|" + b + "||" + c + "|", "/x \"y z\"");
  EXPECT_EQ(ParseRecord(folder.WaitForRecord("a")).commandLine, "\"" + a + "\" /x \"y z\"");
  EXPECT_EQ(ParseRecord(folder.WaitForRecord("b")).commandLine, "\"" + b + "\" /x \"y z\"");
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(folder.HasRecord("c")) << "the empty item ends the list";
  EXPECT_TRUE(boxes.Boxes().empty()) << "programs that cannot start are skipped silently";
}

TEST(Programs, EmptyArgumentsKeepTheSpaceAndTheFolderIsInherited) {
  TempFolder folder;
  const std::string a = folder.Copy(RecorderPath(), "a.exe");
  RunPrograms(a + "|", "");
  const Record record = ParseRecord(folder.WaitForRecord("a"));
  EXPECT_EQ(record.commandLine, "\"" + a + "\" ");
  EXPECT_EQ(FolderKey(record.folder), FolderKey(CurrentFolder()));
}

TEST(Programs, EnvironmentReferencesExpandInNameAndArguments) {
  TempFolder folder;
  const std::string a = folder.Copy(RecorderPath(), "a.exe");
  ::SetEnvironmentVariableA("ZEL_T_DIR", folder.path().c_str());
  ::SetEnvironmentVariableA("ZEL_T_VALUE", "hello");
  ::SetEnvironmentVariableA("ZEL_T_UNSET", nullptr);
  RunPrograms("%ZEL_T_DIR%\\a.exe|", "%ZEL_T_VALUE% %ZEL_T_UNSET%");
  EXPECT_EQ(ParseRecord(folder.WaitForRecord("a")).commandLine,
            "\"" + a + "\" hello %ZEL_T_UNSET%");
  ::SetEnvironmentVariableA("ZEL_T_DIR", nullptr);
  ::SetEnvironmentVariableA("ZEL_T_VALUE", nullptr);
}

class AnswerAtOnce final : public PromptView {
 public:
  void ShowPrompt(int number) override { numbers.push_back(number); }
  std::vector<int> numbers;
};

TEST(Programs, TypedValuesAreExpandedWhenTheEntryRuns) {
  TempFolder folder;
  const std::string a = folder.Copy(RecorderPath(), "a.exe");
  menu::MenuTable table;
  table.Append(a, "/f %input(C:\\)%");
  TrayPromptState state;
  AnswerAtOnce prompt;
  Win32LaunchSystem system;
  Launcher launcher(system);
  RunEntry(table, state, prompt, launcher);
  AcceptPromptValue(table, state, "%TEMP%\\f.txt", prompt, launcher);
  EXPECT_EQ(prompt.numbers, std::vector<int>{1});
  EXPECT_EQ(ParseRecord(folder.WaitForRecord("a")).commandLine,
            "\"" + a + "\" /f " + ExpandEnvironment("%TEMP%") + "\\f.txt");
  EXPECT_EQ(ExpandEnvironment("%TEMP%").find('%'), std::string::npos);
}

// ---- DLL procedures

std::string TakeProcLog() {
  char buffer[4096] = {};
  const DWORD length = ::GetEnvironmentVariableA("ZEL_PROC_LOG", buffer, sizeof buffer);
  ::SetEnvironmentVariableA("ZEL_PROC_LOG", nullptr);
  return length > 0 && length < sizeof buffer ? buffer : "";
}

TEST(DllProcedures, ArgumentsArriveAsIntegersOrTextsWithThreeZeroBytes) {
  const std::string dll = ProcsPath();
  const std::pair<std::string, const char*> cases[] = {
      {"Proc0,", "Proc0"},
      {"ProcInt,12,", "ProcInt 12"},
      {"ProcInt,-5,", "ProcInt -5"},
      {"ProcWide,-5,", "ProcWide -5"},
      {"ProcWide,0xFFFFFFFF,", "ProcWide -1"},
      {"ProcInt,$1F,", "ProcInt 31"},
      {"ProcInt,0x10,", "ProcInt 16"},
      {"ProcInt,x7f,", "ProcInt 127"},
      {"ProcInt,0xFFFFFFFF,", "ProcInt -1"},
      {"ProcInt,-2147483648,", "ProcInt -2147483648"},
      {"ProcText,1.5,", "ProcText [1.5] z3"},
      {"ProcText,10 ,", "ProcText [10 ] z3"},
      {"ProcText,-$10,", "ProcText [-$10] z3"},
      {"ProcText, %TEMP%,", "ProcText [ %TEMP%] z3"},
      {"ProcText,a,,b,", "ProcText [b] z3"},
      {"Proc3,7,two words,-1,", "Proc3 7 [two words] z3 -1"},
  };
  TakeProcLog();
  for (const auto& [rest, logged] : cases) {
    CallDllProcedure(dll + "," + rest);
    EXPECT_EQ(TakeProcLog(), logged) << rest;
  }
  EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr) << "the DLL is freed after every call";
}

// Calls that pass another number of arguments than the procedure removes: the caller's stack
// must come back intact every time.
TEST(DllProcedures, WrongArityLeavesTheCallerIntact) {
  const std::string dll = ProcsPath();
  volatile std::uint32_t canaryBefore = 0x5EED1234u;
  std::string text = "still here";
  TakeProcLog();
  for (int i = 0; i < 300; ++i) {
    CallDllProcedure(dll + ",Proc3,1,");        // removes 12 bytes, 4 passed
    CallDllProcedure(dll + ",Proc0,1,2,3,");    // removes none, 12 passed
    CallDllProcedure(dll + ",ProcCdecl,4,5,");  // cdecl: removes none
    TakeProcLog();
  }
  CallDllProcedure(dll + ",Proc3,1,");
  CallDllProcedure(dll + ",ProcText,");
  CallDllProcedure(dll + ",ProcCdecl,4,5,");
  EXPECT_EQ(TakeProcLog(), "Proc3 1 (null) 0; ProcText (null); ProcCdecl 4 5");
  EXPECT_EQ(canaryBefore, 0x5EED1234u);
  EXPECT_EQ(text, "still here");
}

TEST(DllProcedures, DirectCallsRestoreTheStackPointer) {
  const win::UniqueHmodule library(::LoadLibraryA(ProcsPath().c_str()));
  ASSERT_TRUE(library);
  const FARPROC proc3 = ::GetProcAddress(library.get(), "Proc3");
  const FARPROC proc0 = ::GetProcAddress(library.get(), "Proc0");
  ASSERT_TRUE(proc3 && proc0);
  TakeProcLog();
  for (int i = 0; i < 2000; ++i) {
    CallProcedure(proc3, {});
    CallProcedure(proc0, {1, 2, 3, 4, 5, 6, 7});
    if (i % 50 == 0) TakeProcLog();
  }
  const std::string text = "t";
  const std::vector<char> bytes = TextArgumentBytes(text);
  TakeProcLog();
  CallProcedure(proc3, {9, reinterpret_cast<std::uintptr_t>(bytes.data()), 8});
  EXPECT_EQ(TakeProcLog(), "Proc3 9 [t] z3 8");
}

TEST(DllProcedures, SystemProcedureWithAnInteger) {
  BoxCloser boxes;
  CallDllProcedure("user32.dll,MessageBeep,0,");
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(DllProcedures, MissingDllOrExportShowsOneUnownedBox) {
  const std::string dll = ProcsPath();
  const std::string procedureLines[] = {
      "no_such_library.dll,Proc0,",
      dll + ",proc0,",   // letter case counts
      dll + ", Proc0,",  // a space after the comma belongs to the name
      dll + ",Missing,1,",
      ",,",
  };
  for (const std::string& procedureLine : procedureLines) {
    BoxCloser closer;
    TakeProcLog();
    CallDllProcedure(procedureLine);
    const auto boxes = closer.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << procedureLine;
    EXPECT_EQ(boxes[0].text, "Error: Unable to load dll or find export") << procedureLine;
    EXPECT_EQ(boxes[0].caption, "Error") << procedureLine;
    EXPECT_FALSE(boxes[0].owned) << procedureLine;
    EXPECT_EQ(TakeProcLog(), "") << procedureLine;
    EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr) << "freed after the box: " << procedureLine;
  }
}

// ---- Shell-side formatting

TEST(FormatArguments, EveryConversionGetsTheSelectedPath) {
  const std::string path = "C:\\DOCS~1\\A.TXT";
  const std::pair<const char*, std::string> cases[] = {
      {"/open %s", "/open " + path},
      {"/in %s /out %s.bak", "/in " + path + " /out " + path + ".bak"},
      {"100%% %s", "100% " + path},
      {"%%s", "%s"},
      {"plain", "plain"},
      {"", ""},
      {"%-20s|", path + std::string(20 - path.size(), ' ') + "|"},
      {"%.4s", "C:\\D"},
      {"%s%s%s%s%s%s%s%s%s%s%s%s", [&] {
         std::string twelve;
         for (int i = 0; i < 12; ++i) twelve += path;
         return twelve;
       }()},
  };
  for (const auto& [format, formatted] : cases) {
    EXPECT_EQ(FormatArguments(format, path), formatted) << format;
  }
}

TEST(FormatArguments, OutputStopsAt1023Characters) {
  const std::string path(200, 'p');
  std::string format;
  for (int i = 0; i < 300; ++i) format += "%s";
  const std::string formatted = FormatArguments(format, path);
  EXPECT_EQ(formatted, std::string(1023, 'p'));
  EXPECT_EQ(FormatArguments("%5000s", "x").size(), 1023u);
}

TEST(FormatArguments, WideConversionsEndWithinThePathsZeroBytes) {
  // %S and %ls read the path as 16-bit units: each unit gives at most one character, and the
  // reading must stop at the zero bytes after the path, whatever the path's length.
  for (const char* format : {"%S", "%ls"}) {
    for (const std::string path : {"C:\\A.TXT", "C:\\AB.TXT", "C", ""}) {
      const std::string formatted = FormatArguments(format, path);
      EXPECT_LE(formatted.size(), (path.size() + 1) / 2) << format << " on " << path;
    }
  }
  const std::string mixed = FormatArguments("[%s|%S|%s]", "C:\\AB.TXT");
  EXPECT_EQ(mixed.substr(0, 11), "[C:\\AB.TXT|");
  EXPECT_EQ(mixed.substr(mixed.size() - 11), "|C:\\AB.TXT]");
}

TEST(FormatArguments, NumericConversionsConsumeTheSuppliedValue) {
  // A number conversion takes the path's address as its value; the %s after it still gets the
  // path itself, so each conversion took exactly one supplied value.
  const std::string formatted = FormatArguments("%d|%x|%s", "P");
  const std::size_t bar = formatted.find('|');
  ASSERT_NE(bar, std::string::npos);
  EXPECT_EQ(formatted.find_first_not_of("-0123456789"), bar) << formatted;
  EXPECT_EQ(formatted.substr(formatted.size() - 2), "|P") << formatted;
}

// ---- The shell-side run of an entry

class ShellEntryTest : public ::testing::Test {
 protected:
  void SetUp() override { before_ = CurrentFolder(); }
  void TearDown() override {
    EXPECT_EQ(CurrentFolder(), before_) << "the host's current folder is never changed";
  }

  TempFolder folder_;
  std::string before_;
};

TEST_F(ShellEntryTest, ProgramRunsInTheItemsFolderWithItsShortPath) {
  const std::string recorder = folder_.Copy(RecorderPath(), "a.exe");
  const std::string itemFolder = folder_.Folder("Some Docs");
  const std::string item = itemFolder + "\\My Notes.txt";
  std::ofstream(item) << "x";
  const std::string shortItem = ShortForm(item);
  ASSERT_FALSE(shortItem.empty());
  ASSERT_NE(shortItem, item) << "Wine gives names with spaces a short form";

  BoxCloser boxes;
  std::string selected = item;
  RunShellEntry({recorder, "/open %s"}, selected);
  EXPECT_EQ(selected, shortItem) << "the selected path keeps its short form";
  const Record record = ParseRecord(folder_.WaitForRecord("a"));
  EXPECT_EQ(record.commandLine, "\"" + recorder + "\" /open " + shortItem);
  EXPECT_EQ(FolderKey(record.folder), FolderKey(itemFolder));
  EXPECT_TRUE(boxes.Boxes().empty());
}

// A folder downloaded from somewhere holds a program and a DLL named like system ones: a bare
// name in an entry must never reach them, while a name written relative to the folder does.
TEST_F(ShellEntryTest, PlantedProgramsAndDllsAreNeverRunButRelativeNamesAre) {
  const std::string downloads = folder_.Folder("Downloads");
  folder_.Copy(RecorderPath(), "Downloads\\cmd.exe");
  folder_.Copy(RecorderPath(), "Downloads\\tool.exe");
  folder_.Copy(ProcsPath(), "Downloads\\zel_on_path.dll");
  const std::string onPath = folder_.Folder("On Path");
  const std::string pathDll = folder_.Copy(ProcsPath(), "On Path\\zel_on_path.dll");
  const std::string item = folder_.Write("Downloads\\setup.txt", "x");
  char oldPath[32768] = {};
  ::GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
  ::SetEnvironmentVariableA("PATH", (onPath + ";" + oldPath).c_str());

  const auto run = [&](const menu::MenuData& entry) {
    std::string selected = item;
    RunShellEntry(entry, selected);
  };
  TakeProcLog();
  run({"cmd.exe", "/c exit"});
  run({"DllProc", "zel_on_path.dll,ProcSelf"});
  EXPECT_EQ(Lower(TakeProcLog()), Lower("ProcSelf " + pathDll)) << "the DLL found on PATH";
  run({".\\tool.exe", "%s"});
  const Record record = ParseRecord(folder_.WaitForRecord("tool"));
  EXPECT_EQ(record.commandLine, "\".\\tool.exe\" " + ShortForm(item));
  EXPECT_EQ(FolderKey(record.folder), FolderKey(downloads));
  EXPECT_FALSE(folder_.HasRecord("cmd")) << "the planted cmd.exe ran";
  ::SetEnvironmentVariableA("PATH", oldPath);
}

TEST_F(ShellEntryTest, DriveRootReportsTheFolderErrorAndStillRuns) {
  const std::string recorder = folder_.Copy(RecorderPath(), "a.exe");
  BoxCloser boxes;
  std::string selected = "C:\\";
  RunShellEntry({recorder, "/open %s"}, selected);
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Error setting current directory");
  EXPECT_EQ(shown[0].caption, "ERROR");
  EXPECT_FALSE(shown[0].owned);
  const Record record = ParseRecord(folder_.WaitForRecord("a"));
  EXPECT_EQ(record.commandLine, "\"" + recorder + "\" /open C:\\");
  EXPECT_EQ(FolderKey(record.folder), FolderKey(before_)) << "runs in the folder current before";
}

TEST_F(ShellEntryTest, AddStartsTheEditorBesideTheModuleWithTheShortPath) {
  const std::string moduleFolder = folder_.Folder("Program Files");
  folder_.Copy(RecorderPath(), "Program Files\\Editor.exe");
  const std::string item = folder_.Write("An Item.txt", "x");

  std::string selected = item;
  RunShellEntry({"Add", ""}, selected, moduleFolder + "\\");
  const Record record = ParseRecord(folder_.WaitForRecord("Editor"));
  EXPECT_EQ(record.commandLine, "\"" + moduleFolder + "\\Editor.exe\" " + ShortForm(item));
  EXPECT_EQ(FolderKey(record.folder), FolderKey(folder_.path()));
}

// A DLL procedure runs in the host's process: it gets the object through its arguments and
// sees the host's current folder, which other threads of the host rely on.
TEST_F(ShellEntryTest, DllProcedureGetsTheShortPathAndTheHostsFolder) {
  folder_.Folder("Proc Folder");
  const std::string item = folder_.Write("Proc Folder\\Dll Item.txt", "x");
  std::string selected = item;
  TakeProcLog();
  RunShellEntry({"DllProc", ProcsPath() + ",Proc3,1,%s,2"}, selected);
  RunShellEntry({"DllProc", ProcsPath() + ",ProcFolder"}, selected);
  const std::string log = TakeProcLog();
  const std::string first = "Proc3 1 [" + ShortForm(item) + "] z3 2; ProcFolder ";
  ASSERT_EQ(log.rfind(first, 0), 0u) << log;
  EXPECT_EQ(FolderKey(log.substr(first.size())), FolderKey(before_));
}

}  // namespace
}  // namespace zel::launch
