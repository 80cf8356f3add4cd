// Entries' icons as menu bitmaps: extracted once per file version and kept by one owner.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "launch/icon_choice.h"
#include "launch/launch_win32.h"
#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"

namespace zel::icons {

// Bitmaps a cache holds at most: Explorer's GDI handles are shared with every extension in it.
// Beyond them the one used longest ago goes.
inline constexpr std::size_t kIconCacheCapacity = 256;
// How long an entry's answer stands before its file is looked for and dated again. Looking
// costs a few file-system calls a file, more than inserting a hundred items: a menu opened
// again soon is built without any.
inline constexpr ULONGLONG kIconRecheckMilliseconds = 1000;

// A bitmap shared by the cache and the menus that show it (a menu item's hbmpItem is not the
// menu's): deleted when the last of them lets go, so neither an eviction nor a Clear can take
// one from a menu on the screen, whichever thread does it.
using SharedBitmap = std::shared_ptr<std::remove_pointer_t<HBITMAP>>;
// The bitmaps of one menu, held by the menu's owner for as long as the menu lives.
using ShownBitmaps = std::vector<SharedBitmap>;

// Small icons as menu bitmaps: one cache per process (the tray program) or per loaded module
// (the shell extension). It keeps the newest version of each file's icon, kIconCacheCapacity
// at most. Safe to share between threads.
class IconCache {
 public:
  IconCache() = default;
  IconCache(const IconCache&) = delete;
  IconCache& operator=(const IconCache&) = delete;

  // Icon `index` of `file` (ExtractIconEx's index: negative for a resource identifier) at the
  // small-icon size, keyed by the path, its last write time and that size; null when the
  // file or the icon is not there. `kind`: how the path is written.
  SharedBitmap Bitmap(const std::string& file, int index, menu::TextKind kind);
  // The answer remembered for an entry's choice (MenuIcons's key), when it was given less
  // than kIconRecheckMilliseconds ago: the bitmap, or null for none. False otherwise.
  bool Recent(const std::string& choice, SharedBitmap& bitmap);
  void Remember(const std::string& choice, const SharedBitmap& bitmap);
  // Lets go of every bitmap; the ones menus hold stay until they let go too.
  void Clear();
  std::size_t Size();

 private:
  struct Key {
    std::wstring file;
    std::uint64_t written = 0;
    int index = 0;
    int size = 0;
    bool operator==(const Key&) const = default;
  };
  struct Entry {
    Key key;
    SharedBitmap bitmap;   // null: the file holds no such icon
    std::uint64_t used{};  // the lookup that last gave it (useClock_)
  };

  struct Answer {
    std::string choice;
    SharedBitmap bitmap;
    ULONGLONG given;
  };

  // Under the lock: the entry for `key` (its use recorded), or null.
  Entry* Find(const Key& key);
  // Under the lock: takes in `entry`, in place of an older version of its file's icon or, when
  // full, of the entry used longest ago (and the answers that name its bitmap).
  void Insert(Entry entry);

  SRWLOCK lock_ = SRWLOCK_INIT;
  std::uint64_t useClock_ = 0;
  std::vector<Answer> answers_;
  // Searched in order: a few hundred at most, looked up once per distinct file and menu. A
  // vector costs zelshell.dll far fewer bytes than a tree.
  std::vector<Entry> bitmaps_;
};

// An icon drawn at `size` pixels square into a 32-bit top-down DIB section with
// premultiplied alpha, as menus take it; an icon without alpha gets it from its mask.
win::UniqueHbitmap MenuBitmapOf(HICON icon, int size);

// The icons of one menu build: each entry's file found as the launcher finds it (bare names in
// the search folders only), once per distinct name in the build. Its bitmaps live as long as
// it does; the menu's owner keeps their Shown() shares as long as the menu.
class MenuIcons final : public menu::ItemIcons {
 public:
  // `module`: the module beside which the menu editor lies (null: the program itself).
  MenuIcons(IconCache& cache, menu::Host host, HMODULE module)
      : cache_(cache), host_(host), module_(module) {}

  HBITMAP Bitmap(const menu::MenuData& entry, std::string_view iconField,
                 menu::TextKind kind) override;
  // The bitmaps handed out, for the owner of the menu built with them.
  ShownBitmaps Shown() const;

 private:
  std::string FileOf(const launch::IconChoice& choice, menu::TextKind kind);

  IconCache& cache_;
  menu::Host host_;
  HMODULE module_;
  launch::Win32LaunchSystem system_{menu::TextKind::Ansi, false, true};
  launch::Launcher launcher_{system_};
  // This build's answers, by choice (kind, index, name), in order.
  std::vector<std::pair<std::string, SharedBitmap>> seen_;
  std::string key_;
};

}  // namespace zel::icons
