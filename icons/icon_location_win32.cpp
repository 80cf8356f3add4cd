// Icons as resource locations. Apart from the menus' bitmaps, so that the tray program, which
// shows none this way, does not carry it.
#include <string>

#include "icons/icon_cache_win32.h"
#include "win/exclusive_lock_win32.h"

namespace zel::icons {

std::wstring IconLocations::Of(menu::Host host, const menu::MenuData& entry,
                               std::string_view iconField, TextKind kind) {
  const launch::IconChoice choice =
      launch::ChooseIcon(host, entry, iconField, win::LeadBytesOf(kind));
  if (choice.kind == launch::IconChoice::Kind::None) return {};
  const win::ExclusiveLock held(lock_);
  key_.assign({static_cast<char>(choice.kind), static_cast<char>(kind)});
  key_.append(reinterpret_cast<const char*>(&choice.index), sizeof(choice.index));
  key_.append(choice.name);
  auto found = known_.find(key_);
  if (found == known_.end()) {
    const StoredChoice stored{choice.kind, kind, choice.index, std::string(choice.name), module_};
    const IconFile file = finder_.Find(stored, 0);
    std::wstring location;
    if (!file.file.empty()) {
      // Not to_wstring, which brings the runtime's wide formatting along.
      const std::string index = std::to_string(choice.index);
      location = file.file + L"," + std::wstring(index.begin(), index.end());
    }
    found = known_.emplace(key_, std::move(location)).first;
  }
  return found->second;
}

}  // namespace zel::icons
