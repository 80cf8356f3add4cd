// The shell menu's run of an entry on several selected objects. Apart from launcher.cpp, so that
// the tray program, which never runs one, does not carry it.
#include <string>
#include <vector>

#include "launch/launcher.h"

namespace zel::launch {
namespace {

// The system for one object of several: everything passed on, except that the first error of
// the run is kept rather than shown.
class ErrorKeeper final : public ForwardingSystem {
 public:
  using ForwardingSystem::ForwardingSystem;
  void ShowError(const std::string& text, const std::string&) override {
    if (error.empty()) error = text;
  }

  std::string error;  // the first the run met; empty: none
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
