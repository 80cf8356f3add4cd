#include "shellext/selection_win32.h"

#include "launch/launch_win32.h"
#include "launch/launcher.h"
#include "shellext/handler_rules.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

namespace zel::shellext {

std::optional<menu::Selection> ServedSelection(const std::vector<std::wstring>& names) {
  if (names.empty()) return std::nullopt;
  menu::Selection selection;
  const auto count = static_cast<unsigned>(names.size());
  for (const std::wstring& wide : names) {
    const std::optional<std::string> ansi = win::AnsiPathFor(wide);
    const std::optional<std::string> utf8 = win::Utf8PathFor(wide);
    // In characters: the short form's, when that is the one served.
    if (!utf8 || !ServesSelection(count, ansi ? win::Widen(*ansi).size() : wide.size())) {
      return std::nullopt;
    }
    selection.push_back({ansi.value_or(std::string()), *utf8});
  }
  return selection;
}

HRESULT RunOnSelection(const menu::MenuData& entry, TextKind kind, const menu::Selection& selection,
                       HMODULE module, bool quiet) {
  launch::Win32LaunchSystem system(kind, quiet);
  launch::RunShellEntryOnEach(entry, menu::PathsIn(selection, kind),
                              win::ModuleFolder(module, kind), system);
  return quiet && system.complained() ? E_FAIL : S_OK;
}

}  // namespace zel::shellext
