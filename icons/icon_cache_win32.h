// Entries' icons as menu bitmaps: extracted once per file version and kept by one owner.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "launch/icon_choice.h"
#include "launch/launch_win32.h"
#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"

namespace zel::icons {

// Bitmaps a cache holds at most: Explorer's GDI handles are shared with every extension in it.
inline constexpr std::size_t kIconCacheCapacity = 256;
// How long an entry's answer stands before its file is looked for and dated again. Looking
// costs a few file-system calls a file, more than inserting a hundred items: a menu opened
// again soon is built without any.
inline constexpr ULONGLONG kIconRecheckMilliseconds = 1000;

// Small icons as menu bitmaps: one cache per process (the tray program) or per loaded module
// (the shell extension). A bitmap stays until Clear or the cache's end, so it outlives the
// menus that show it. Past its capacity a file not yet held gets no icon. Safe to share
// between threads.
class IconCache {
 public:
  IconCache() = default;
  IconCache(const IconCache&) = delete;
  IconCache& operator=(const IconCache&) = delete;

  // Icon `index` of `file` (ExtractIconEx's index: negative for a resource identifier) at the
  // small-icon size, keyed by the path, its last write time and that size; null when the
  // file or the icon is not there. `kind`: how the path is written.
  HBITMAP Bitmap(const std::string& file, int index, menu::TextKind kind);
  // The answer remembered for an entry's choice (MenuIcons's key), when it was given less
  // than kIconRecheckMilliseconds ago: the bitmap, or null for none. False otherwise.
  bool Recent(const std::string& choice, HBITMAP& bitmap);
  void Remember(const std::string& choice, HBITMAP bitmap);
  // Frees every bitmap: only once no menu can show one.
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
    win::UniqueHbitmap bitmap;  // null: the file holds no such icon
  };

  struct Answer {
    std::string choice;
    HBITMAP bitmap;
    ULONGLONG given;
  };

  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<Answer> answers_;
  // Searched in order: a few hundred at most, looked up once per distinct file and menu. A
  // vector costs zelshell.dll far fewer bytes than a tree.
  std::vector<Entry> bitmaps_;
};

// An icon drawn at `size` pixels square into a 32-bit top-down DIB section with
// premultiplied alpha, as menus take it; an icon without alpha gets it from its mask.
win::UniqueHbitmap MenuBitmapOf(HICON icon, int size);

// The icons of one menu build: each entry's file found as the launcher finds it (bare names in
// the search folders only), once per distinct name in the build.
class MenuIcons final : public menu::ItemIcons {
 public:
  // `module`: the module beside which the menu editor lies (null: the program itself).
  MenuIcons(IconCache& cache, menu::Host host, HMODULE module)
      : cache_(cache), host_(host), module_(module) {}

  HBITMAP Bitmap(const menu::MenuData& entry, std::string_view iconField,
                 menu::TextKind kind) override;

 private:
  std::string FileOf(const launch::IconChoice& choice, menu::TextKind kind);

  IconCache& cache_;
  menu::Host host_;
  HMODULE module_;
  launch::Win32LaunchSystem system_{menu::TextKind::Ansi, false, true};
  launch::Launcher launcher_{system_};
  // This build's answers, by choice (kind, index, name), in order.
  std::vector<std::pair<std::string, HBITMAP>> seen_;
  std::string key_;
};

}  // namespace zel::icons
