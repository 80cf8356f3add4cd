// Icons as resource locations. Apart from the menus' bitmaps, so that the tray program, which
// shows none this way, does not carry it.
#include <string>

#include "icons/icon_cache_win32.h"

namespace zel::icons {

std::wstring IconLocation(menu::Host host, const menu::MenuData& entry, std::string_view iconField,
                          TextKind kind, HMODULE module) {
  const launch::IconChoice choice =
      launch::ChooseIcon(host, entry, iconField, win::LeadBytesOf(kind));
  if (choice.kind == launch::IconChoice::Kind::None) return {};
  const StoredChoice stored{choice.kind, kind, choice.index, std::string(choice.name), module};
  const IconFile found = IconFinder(/*learnFolders=*/false).Find(stored, 0);
  if (found.file.empty()) return {};
  // Not to_wstring, which brings the runtime's wide formatting along.
  const std::string index = std::to_string(choice.index);
  return found.file + L"," + std::wstring(index.begin(), index.end());
}

}  // namespace zel::icons
