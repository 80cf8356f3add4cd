// The menu file on Windows and menus built into real HMENUs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "menu/menu_build.h"
#include "win/unique_handle_win32.h"

namespace zel::menu {

// The user's menu file: the application-data folder + "\Zelvane\Menu.txt", computed afresh
// at every call. Empty when the folder cannot be had, or its name has no form the ANSI
// functions can use (AnsiPathFor), which reads as a missing file.
std::string GetMenuFilePath();

// True when any file-system object, a folder included, stands at the path.
bool MenuFileExists(const std::string& path);

class Win32MenuFileAccess final : public MenuFileAccess {
 public:
  bool Exists(const std::string& path) override { return MenuFileExists(path); }
  std::unique_ptr<ByteSource> Open(const std::string& path) override;
};

// The bitmaps of entries' icons, for an HmenuSink that only shows them.
class ItemIcons {
 public:
  virtual ~ItemIcons() = default;
  // The entry's icon as a 32-bit bitmap with premultiplied alpha, or null for none. It lives
  // at least as long as this object; the menu's owner keeps it longer. `kind`: how the
  // entry's text is written.
  virtual HBITMAP Bitmap(const MenuData& entry, std::string_view iconField, TextKind kind) = 0;
};

// Appends to real menus, with the entries' icons when it has `icons`. A submenu whose append failed
// stays owned here and is destroyed with the sink, so no handle leaks and nothing is appended to a
// destroyed menu.
class HmenuSink final : public MenuSink {
 public:
  explicit HmenuSink(ItemIcons* icons = nullptr) : icons_(icons) {}
  HmenuSink(const HmenuSink&) = delete;
  HmenuSink& operator=(const HmenuSink&) = delete;

  static Handle FromHmenu(HMENU menu) { return reinterpret_cast<Handle>(menu); }
  static HMENU ToHmenu(Handle menu) { return reinterpret_cast<HMENU>(menu); }

  Handle CreateSubmenu() override;
  void AppendItem(Handle menu, unsigned id, const std::string& caption) override;
  void AppendEntry(Handle menu, unsigned id, const std::string& caption, const MenuData& entry,
                   std::string_view iconField) override;
  void IconsOff() override;
  void AppendSubmenu(Handle menu, Handle submenu, const std::string& caption) override;
  void AppendSeparator(Handle menu) override;
  bool InsertSubmenu(Handle menu, unsigned position, Handle submenu,
                     const std::string& caption) override;
  void DestroySubmenu(Handle submenu) override;
  void SetTextKind(TextKind kind) override { kind_ = kind; }

 private:
  std::vector<win::UniqueHmenu> orphans_;
  ItemIcons* icons_;
  std::vector<std::pair<HMENU, unsigned>> withIcons_;  // the items given a bitmap
  TextKind kind_ = TextKind::Ansi;                     // the captions' code page
  std::wstring text_;                                  // the caption being appended, wide
};

// Builds the user's menu (or the file `request.path` names, when set) into `root`.
BuildResult BuildMenu(HMENU root, BuildRequest request, MenuTable& table,
                      ItemIcons* icons = nullptr);

// Builds the shell form from the user's menu file into a new submenu, which is then inserted
// into the shell's `menu` at `position` as `caption` (BuildSubmenu). Nothing when the
// insertion failed.
std::optional<BuildResult> BuildSubmenu(HMENU menu, unsigned position, const std::string& caption,
                                        BuildRequest request, MenuTable& table,
                                        ItemIcons* icons = nullptr);

}  // namespace zel::menu
