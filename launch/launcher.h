// Running entries: which programs start, with which command line, in which folder, and which
// DLL procedure is called with which arguments. Decided here, carried out by a LaunchSystem:
// the real system in the deliverables, a recorder in `zelmenu plan` and in the tests.
// Portable: no <windows.h>.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "launch/command_line.h"
#include "menu/menu_file.h"

namespace zel::launch {

inline constexpr char kDllProcCommand[] = "DllProc";
// The menu editor, started from the folder of the deliverable that starts it.
inline constexpr char kEditorProgram[] = "Editor.exe";

// What running an entry needs from the system it runs on.
class LaunchSystem {
 public:
  enum class Object { None, File, Folder };

  virtual ~LaunchSystem() = default;
  // The code page of the texts that follow: that of the menu file the entry came from.
  virtual void SetTextKind(menu::TextKind) {}
  // Environment references expanded (ExpandEnvironmentStringsA within 32767 characters).
  virtual std::string ExpandEnvironment(const std::string& text) = 0;
  // The shell extension's formatting of an entry's arguments around the selected path.
  virtual std::string FormatArguments(const std::string& format, const std::string& path) = 0;
  // The short form of an existing object's path; the path itself when it has none.
  virtual std::string ShortPath(const std::string& path) = 0;
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
  // Loads the DLL, calls the procedure with the plan's arguments and frees the DLL. False,
  // with nothing called, when the DLL or the procedure cannot be found.
  virtual bool CallProcedure(const std::string& dll, const DllCallPlan& plan) = 0;
};

// How a program or DLL name is written.
enum class NameKind {
  Bare,      // no folder part: "notepad.exe", looked for in the search folders
  Relative,  // a folder part relative to the working folder: ".\tools\pack.exe", "bin\x.dll"
  Rooted,    // from the root of the working folder's drive: "\tools\x.exe"
  Absolute,  // "C:\Tools\x.exe", "\\server\share\x.exe", or a drive's own folder: "D:x.exe"
};
NameKind ClassifyName(std::string_view name);

// The absolute folders of a PATH value, quotes taken off; relative and empty entries left out
// (they would be found from the current folder).
std::vector<std::string> PathFolders(std::string_view pathValue);

// Starts programs and calls DLL procedures. With a working folder (the shell extension's
// selected object's folder), programs start there and names with a relative folder part are
// found there; without one, both are the caller's current folder. Bare names are found in the
// system's search folders only, whatever folder is current.
class Launcher {
 public:
  explicit Launcher(LaunchSystem& system, std::string workingFolder = {})
      : system_(system), folder_(std::move(workingFolder)) {}

  // Starts each program of the "|"-terminated list with the same arguments, in order, up to
  // the first empty item; environment references are expanded in both.
  void RunPrograms(const std::string& programs, const std::string& arguments);
  // Calls the procedure of a ","-terminated procedure line (DLL, procedure, arguments); a DLL
  // or procedure that cannot be found, or more arguments than kMaxDllArguments, is reported.
  void CallDllProcedure(const std::string& procedureLine);

 private:
  // The file a name leads to: `found` false when a bare name is in no search folder; `path`
  // empty when the name is to be used as written.
  struct Resolved {
    bool found = true;
    std::string path;
  };
  Resolved Resolve(const std::string& name, const char* defaultExtension);

  LaunchSystem& system_;
  std::string folder_;
};

// The shell extension's run of the chosen entry on the selected object: programs start in the
// object's folder ("Error setting current directory" when it cannot be used, and they start in
// the caller's folder instead), `selectedPath` becomes its short form, and by the entry's
// command: "Add" starts the editor from `moduleFolder` with the short path, "DllProc" calls
// the procedure with the arguments formatted around the short path, anything else starts the
// programs with them.
void RunShellEntry(const menu::MenuData& entry, std::string& selectedPath,
                   const std::string& moduleFolder, LaunchSystem& system);

}  // namespace zel::launch
