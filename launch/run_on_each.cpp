// The shell menu's run of an entry on several selected objects. Apart from launcher.cpp, so that
// the tray program, which never runs one, does not carry it.
#include <string>
#include <vector>

#include "launch/launcher.h"

namespace zel::launch {
namespace {

// The system for one object of several: everything passed on, except that the first error of
// the run is kept rather than shown.
class ErrorKeeper final : public LaunchSystem {
 public:
  explicit ErrorKeeper(LaunchSystem& system) : system_(system) {}
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
  void ShowError(const std::string& text, const std::string&) override {
    if (error.empty()) error = text;
  }
  void StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder) override {
    system_.StartProgram(application, commandLine, folder);
  }
  void NoteSkipped(const std::string& program) override { system_.NoteSkipped(program); }
  bool CallProcedure(const std::string& dll, const DllCallPlan& plan) override {
    return system_.CallProcedure(dll, plan);
  }

  std::string error;  // the first the run met; empty: none

 private:
  LaunchSystem& system_;
};

}  // namespace

void RunShellEntryOnEach(const menu::MenuData& entry, std::vector<std::string> selectedPaths,
                         const std::string& moduleFolder, LaunchSystem& system) {
  if (selectedPaths.size() == 1) {
    RunShellEntry(entry, selectedPaths.front(), moduleFolder, system);
    return;
  }
  std::string failed;
  std::size_t failures = 0;
  for (const std::string& path : selectedPaths) {
    ErrorKeeper keeper(system);
    RunShellEntry(entry, path, moduleFolder, keeper);
    if (keeper.error.empty()) continue;
    ++failures;
    failed += "\r\n\r\n" + path + "\r\n" + keeper.error;
  }
  if (failures == 0) return;
  system.ShowError("Error: for " + std::to_string(failures) + " of the " +
                       std::to_string(selectedPaths.size()) +
                       " selected objects the entry did not run as chosen:" + failed,
                   "Error");
}

}  // namespace zel::launch
