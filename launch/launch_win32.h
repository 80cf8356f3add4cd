// Starting programs and calling DLL procedures on Windows, and the text helpers that need the
// system (environment strings, wvsprintfA).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "launch/launcher.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

namespace zel::launch {

using win::AnsiLeadByte;

// ExpandEnvironmentStringsA within 32767 characters; a text whose expansion would not fit, or
// that is itself that long, is returned unexpanded. References to unset variables stay.
std::string ExpandEnvironment(const std::string& text, TextKind kind = TextKind::Ansi);

// Calls `procedure` the stdcall way with `values` (the first nearest the return address).
// The stack pointer is saved before and restored after the call, so a procedure that removes
// another number of bytes (another arity, or cdecl) cannot unbalance the caller.
void CallProcedure(FARPROC procedure, const std::vector<std::uintptr_t>& values);

// wvsprintfA of `format` into 1024 characters (at most 1023 kept) with the selected path as the
// value of every conversion that takes one, in the width it reads (menu::ParseConversion): "/in
// %s /out %S.bak" gets the path twice, "%%" stays one percent sign, and no conversion can read
// a value that was not supplied.
std::string FormatArguments(const std::string& format, const std::string& selectedPath);

// The real system: processes started with CreateProcessW, DLLs loaded by the resolved name,
// errors in message boxes without owner. Texts are in the code page of the menu file the entry
// came from, and reach the system as wide text.
class Win32LaunchSystem final : public LaunchSystem {
 public:
  // quiet: errors are only counted, never shown (a caller that asked for no UI).
  // localOnly: files on network, removable and optical drives count as absent, so that looking
  // for them (an entry's icon, while a menu is built) never waits for a slow or gone drive.
  explicit Win32LaunchSystem(TextKind kind = TextKind::Ansi, bool quiet = false,
                             bool localOnly = false)
      : kind_(kind), quiet_(quiet), localOnly_(localOnly) {}
  std::string ExpandEnvironment(const std::string& text) override {
    return launch::ExpandEnvironment(text, kind_);
  }
  std::string FormatArguments(const std::string& format, const std::string& path) override {
    return launch::FormatArguments(format, path);
  }
  std::string AnsiReading(const std::string& text) override {
    return win::AnsiReading(text, kind_);
  }
  std::string ShortPath(const std::string& path) override { return win::ShortPath(path, kind_); }
  std::string FullPath(const std::string& path) override { return win::FullPath(path, kind_); }
  std::string LongPath(const std::string& path) override { return win::LongPath(path, kind_); }
  LeadByteTest LeadBytes() override { return win::LeadBytesOf(kind_); }
  // FixedDrives::Hold, each drive asked once for as long as this object lives.
  bool OnFixedDrive(const std::string& path) { return fixedDrives_.Hold(path); }
  Object Find(const std::string& path) override;
  std::vector<std::string> SearchFolders() override;
  void ShowError(const std::string& text, const std::string& caption) override;
  void StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder) override;
  bool CallProcedure(const std::string& dll, const DllCallPlan& plan) override;

  // True once an error was met, shown or not.
  bool complained() const { return complained_; }

 private:
  const TextKind kind_;
  bool quiet_;
  bool localOnly_;
  win::FixedDrives fixedDrives_;
  bool complained_ = false;
};

}  // namespace zel::launch
