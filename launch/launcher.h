// Running entries: which programs start, with which command line, in which folder, and which
// DLL procedure is called with which arguments. Decided here, carried out by a LaunchSystem:
// the real system in the deliverables, a recorder in `zelmenu plan`.
// Portable: no <windows.h>.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "launch/command_line.h"
#include "menu/menu_file.h"

namespace zel::launch {

inline constexpr char kDllProcCommand[] = "DllProc";

// What running an entry needs from the system it runs on. One is made for the texts of one menu
// file: they are in its code page.
// What stands at a path.
enum class Object { None, File, Folder };

class LaunchSystem {
 public:
  virtual ~LaunchSystem() = default;
  // Environment references expanded (ExpandEnvironmentStringsA within 32767 characters).
  virtual std::string ExpandEnvironment(const std::string& text) = 0;
  // The shell extension's formatting of an entry's arguments around the selected path.
  virtual std::string FormatArguments(const std::string& format, const std::string& path) = 0;
  // `text` as a program that reads its command line in the ANSI code page gets it
  // (GetCommandLineA converts with the code page's best-fit mapping), in the text's own code
  // page, with only the characters that become an ASCII character other than a letter or digit
  // replaced: U+FF02 becomes '"'. Characters that keep a form of their own, become a letter or
  // digit, or become the default character ("?") stay.
  // A text of an ANSI menu file comes back as it is: it is in that code page already.
  virtual std::string AnsiReading(const std::string& text) = 0;
  // The short form of an existing object's path; the path itself when it has none. On a
  // volume without short names (exFAT, ReFS, NTFS with their creation switched off) that is
  // every path: blanks, commas, "&" and "%" included, whatever the name's length.
  virtual std::string ShortPath(const std::string& path) = 0;
  // The full (GetFullPathName) and long (GetLongPathName) forms of a path; empty where the
  // system gives none.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual std::string LongPath(const std::string& path) = 0;
  // How the system's 8-bit texts (paths, names, PATH) are split into characters.
  virtual LeadByteTest LeadBytes() = 0;
  virtual Object Find(const std::string& path) = 0;
  // The folders a bare program or DLL name is looked for in, in order: the running program's
  // own folder, the system folder, the Windows folder, the absolute folders of PATH. Never the
  // current folder: a name must not be taken from wherever the host happens to stand.
  virtual std::vector<std::string> SearchFolders() = 0;
  virtual void ShowError(const std::string& text, const std::string& caption) = 0;
  // Starts a program and never waits for it; a failure passes unnoticed. `application`: the
  // program file, or empty to let the system take it from the command line; `folder`: where
  // it starts, or empty for the caller's current folder.
  virtual void StartProgram(const std::string& application, const std::string& commandLine,
                            const std::string& folder) = 0;
  // A program of the list that the search found nowhere: it is skipped, and nothing is said.
  virtual void NoteSkipped(const std::string& /*program*/) {}
  // Loads the DLL, calls the procedure with the plan's arguments and frees the DLL. False,
  // with nothing called, when the DLL or the procedure cannot be found.
  virtual bool CallProcedure(const std::string& dll, const DllCallPlan& plan) = 0;
};

// A system that passes every call on to another: the base of those that change a few of them.
class ForwardingSystem : public LaunchSystem {
 public:
  explicit ForwardingSystem(LaunchSystem& system) : system_(system) {}
  std::string ExpandEnvironment(const std::string& text) override {
    return system_.ExpandEnvironment(text);
  }
  std::string FormatArguments(const std::string& format, const std::string& path) override {
    return system_.FormatArguments(format, path);
  }
  std::string AnsiReading(const std::string& text) override { return system_.AnsiReading(text); }
  std::string ShortPath(const std::string& path) override { return system_.ShortPath(path); }
  std::string FullPath(const std::string& path) override { return system_.FullPath(path); }
  std::string LongPath(const std::string& path) override { return system_.LongPath(path); }
  LeadByteTest LeadBytes() override { return system_.LeadBytes(); }
  Object Find(const std::string& path) override { return system_.Find(path); }
  std::vector<std::string> SearchFolders() override { return system_.SearchFolders(); }
  void ShowError(const std::string& text, const std::string& caption) override {
    system_.ShowError(text, caption);
  }
  void StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder) override {
    system_.StartProgram(application, commandLine, folder);
  }
  void NoteSkipped(const std::string& program) override { system_.NoteSkipped(program); }
  bool CallProcedure(const std::string& dll, const DllCallPlan& plan) override {
    return system_.CallProcedure(dll, plan);
  }

 private:
  LaunchSystem& system_;
};

// How a program or DLL name is written.
enum class NameKind {
  Bare,           // no folder part: "notepad.exe", looked for in the search folders
  Relative,       // a folder part relative to the working folder: ".\tools\pack.exe", "bin\x.dll"
  Rooted,         // from the root of the working folder's drive: "\tools\x.exe"
  Absolute,       // "C:\Tools\x.exe", "C:/x.exe", "\\server\share\x.exe"
  DriveRelative,  // from the current folder of a drive: "D:x.exe"; used as written
};
NameKind ClassifyName(std::string_view name, LeadByteTest lead);

// The absolute folders of a PATH value, quotes taken off; relative, drive-relative and empty
// entries left out (they would be found from a current folder).
std::vector<std::string> PathFolders(std::string_view pathValue, LeadByteTest lead);

// True when starting `program` runs cmd.exe over its command line: a batch file (".bat" or
// ".cmd" once trailing dots and blanks and a stream name are off, as the system opens it) or
// cmd itself.
bool RunsThroughCmd(std::string_view program, LeadByteTest lead);

// A program that reads text of its command line as commands of its own, and the characters of
// a path or value it acts on there, quoted or not. A quote and control characters count for
// every one of them.
struct Interpreter {
  std::string_view name;    // base name without ".exe", as messages name it
  std::string_view actsOn;  // ASCII characters
  bool nonAscii = false;    // every character outside ASCII counts too
};

// The interpreter that starting `program` runs over its arguments: cmd for a batch file
// (RunsThroughCmd), or the one whose base name `program` has, with or without ".exe":
// cmd, powershell, pwsh, wt, bash, wsl, sh, mshta. Null for any other program.
const Interpreter* InterpreterOf(std::string_view program, LeadByteTest lead);

// True when `text` holds a character that `interpreter` acts on.
bool ActsOn(const Interpreter& interpreter, std::string_view text, LeadByteTest lead);

// Starts programs and calls DLL procedures. With a working folder (the shell extension's
// selected object's folder), programs start there and names with a relative folder part are
// found there; without one, both are the caller's current folder. Bare names are found in the
// system's search folders only, whatever folder is current.
class Launcher {
 public:
  explicit Launcher(LaunchSystem& system, std::string workingFolder = {})
      : system_(system), folder_(std::move(workingFolder)) {}

  // Starts each program of the "|"-terminated list with the same arguments, in order, up to
  // the first empty item; environment references are expanded in both. Nothing starts when a
  // value the expansion brings in must not reach the programs (PassesExpansion).
  void RunPrograms(const std::string& programs, const std::string& arguments);
  // The same with `path` put into `arguments` (expanded, the path's place held by
  // kPathMarker) by PlacePath. Nothing starts, and the user is told, when the path cannot be
  // kept whole or must not reach the programs (PassesToCmd).
  void RunProgramsOn(const std::string& programs, const std::string& arguments,
                     const std::string& path);
  // Tells the user that the entry was not run, and why.
  void Refuse(const std::string& why);
  // Calls the procedure of a ","-terminated procedure line (DLL, procedure, arguments); a DLL
  // or procedure that cannot be found, or more arguments than kMaxDllArguments, is reported.
  void CallDllProcedure(const std::string& procedureLine);
  // The same for a line read already.
  void CallDllProcedure(DllCallPlan plan);
  // False, with the user told, when `text` (a name someone else may have chosen) must not reach
  // the programs of the list: a program reading its command line in ANSI would get other ASCII
  // characters than the text holds (AnsiReading), or a program of the list is an interpreter
  // (InterpreterOf) that acts on a character of it. With the entry's `arguments` (where the
  // text goes): interpreters they name count as programs of the list (`cmd /c powershell ...`;
  // `wt` runs any of them), and cmd's /c, /k or /r before a quote, which takes the first and
  // last quote of the line off, must not meet a text that needs its quotes.
  // `line`, `at`: the command line's arguments and where the text stands in them, for cmd's
  // quote stripping; a text with no place given (a variable's value) is not looked at for it.
  bool PassesToCmd(const std::string& programs, const std::string& text,
                   std::string_view arguments = {}, std::string_view line = {},
                   const std::vector<std::size_t>& at = {});
  // The same for every value that expanding the environment references of `text` (the
  // arguments) brings in: a variable's value is no more the entry author's text than a
  // selected path is.
  bool PassesExpansion(const std::string& programs, const std::string& text);
  // The file a program or DLL name leads to when no working folder decides: a bare name's in
  // the search folders, an absolute name as written; empty otherwise. For icons, which are
  // never taken from the current or the selected object's folder.
  std::string FileFor(const std::string& name, const char* defaultExtension);

 private:
  // The file a name leads to: `found` false when a bare name is in no search folder; `path`
  // empty when the name is to be used as written.
  struct Resolved {
    bool found = true;
    std::string path;
  };
  Resolved Resolve(const std::string& name, const char* defaultExtension);
  // `programs` ("|"-terminated, up to its first empty item) with the words of `arguments` that
  // name an interpreter, variables expanded; with every interpreter when one of them is wt,
  // which runs a command line of any of them.
  std::string WithNamedInterpreters(const std::string& programs, std::string_view arguments);
  // Starts each program of the list with `arguments` as they are.
  void StartPrograms(const std::string& programs, const std::string& arguments);

  LaunchSystem& system_;
  std::string folder_;
};

// The shell extension's run of the chosen entry on the selected object: programs start in the
// object's folder ("Error setting current directory" when it cannot be used, and they start in
// the caller's folder instead), and by the entry's command: "Add" starts the editor from
// `moduleFolder` with the selected path's short form, "DllProc" calls the procedure with the
// arguments formatted around the short form, anything else starts the programs with them.
// `selectedPath`: the selected object's, in the code page of the file the entry came from.
void RunShellEntry(const menu::MenuData& entry, const std::string& selectedPath,
                   const std::string& moduleFolder, LaunchSystem& system);

// RunShellEntry on each of several selected objects, in order, each with its own path, folder
// and refusals. One object is run exactly so. With more, what a run would say is kept instead, a
// refusal stops that object's run only, and one message at the end names the objects whose run
// met an error, each with the first it met.
void RunShellEntryOnEach(const menu::MenuData& entry, std::vector<std::string> selectedPaths,
                         const std::string& moduleFolder, LaunchSystem& system);

}  // namespace zel::launch
