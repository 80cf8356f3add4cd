// Starting programs and calling DLL procedures on Windows, and the text helpers that need the
// system (environment, module paths).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "launch/run_entry.h"
#include "menu/menu_file.h"

namespace zel::launch {

// ExpandEnvironmentStringsA within 32767 characters; a text whose expansion would not fit, or
// that is itself that long, is returned unexpanded. References to unset variables stay.
std::string ExpandEnvironment(const std::string& text);

// The full path of `module`'s file (null: the program itself).
std::string GetModulePath(HMODULE module = nullptr);

// The short form of `path` (GetShortPathNameA); `path` itself when it has none, for instance
// because nothing exists there.
std::string ShortPath(const std::string& path);

// Starts each program of the "|"-terminated list with BuildCommandLine; never waits.
void RunPrograms(const std::string& programs, const std::string& arguments);

// Loads the DLL, calls the procedure with the typed arguments (the caller's stack stays
// intact whatever the procedure's arity), frees the DLL; a DLL or export that cannot be
// found shows "Error: Unable to load dll or find export".
void CallDllProcedure(const std::string& procedureLine);

// Calls `procedure` the stdcall way with `values` (the first nearest the return address).
// The stack pointer is saved before and restored after the call, so a procedure that removes
// another number of bytes (another arity, or cdecl) cannot unbalance the caller.
void CallProcedure(FARPROC procedure, const std::vector<std::uintptr_t>& values);

// wvsprintfA of `format` into 1024 characters (at most 1023 kept) with the selected path as the
// value of every conversion that takes one: "/in %s /out %s.bak" gets the path twice, "%%"
// stays one percent sign, and no conversion can read a value that was not supplied.
std::string FormatArguments(const std::string& format, const std::string& selectedPath);

// The launcher the tray program hands to RunEntry.
class Win32Launcher final : public EntryLauncher {
 public:
  void RunPrograms(const std::string& programs, const std::string& arguments) override {
    launch::RunPrograms(programs, arguments);
  }
  void CallDllProcedure(const std::string& procedureLine) override { launch::CallDllProcedure(procedureLine); }
};

// The shell extension's run of a chosen entry on the selected object: the object's folder is
// current meanwhile (restored on every path), `selectedPath` becomes its short form, "Add"
// starts Editor.exe from `module`'s folder, "DllProc" calls, anything else starts programs,
// with the arguments formatted around the short path. Never throws.
void RunShellEntry(const menu::MenuData& entry, std::string& selectedPath, HMODULE module);

}  // namespace zel::launch
