// A menu recorded as a tree: what a build appended, in order, without any window system.
// zelmenu shows it, and the editor checks its new lines with it.
#pragma once

#include <string>
#include <vector>

#include "menu/menu_build.h"

namespace zel::menu {

struct MenuNode {
  enum class Kind { Item, Separator, Submenu };
  Kind kind = Kind::Item;
  std::string caption;
  unsigned id = 0;
  std::vector<MenuNode> children;
  std::string icon;  // an entry's fifth field

  bool operator==(const MenuNode& other) const = default;
};

class MenuTreeSink final : public MenuSink {
 public:
  MenuTreeSink() : menus_(1) {}

  Handle Root() const { return 0; }
  Handle CreateSubmenu() override;
  void AppendItem(Handle menu, unsigned id, const std::string& caption) override;
  void AppendEntry(Handle menu, unsigned id, const std::string& caption, const MenuData& entry,
                   std::string_view iconField) override;
  void IconsOff() override { showsIcons_ = false; }
  void AppendSubmenu(Handle menu, Handle submenu, const std::string& caption) override;
  void AppendSeparator(Handle menu) override;
  bool InsertSubmenu(Handle menu, unsigned position, Handle submenu,
                     const std::string& caption) override;
  void DestroySubmenu(Handle) override { ++destroyed_; }

  // The finished tree under the root.
  std::vector<MenuNode> Tree() const { return Resolve(0); }
  // How many submenus were destroyed without being taken.
  int Destroyed() const { return destroyed_; }
  // False when the file turns icons off.
  bool ShowsIcons() const { return showsIcons_; }

 private:
  struct Slot {
    MenuNode node;
    Handle submenu = 0;  // for Kind::Submenu
  };
  std::vector<MenuNode> Resolve(Handle menu) const;

  std::vector<std::vector<Slot>> menus_;
  int destroyed_ = 0;
  bool showsIcons_ = true;
};

}  // namespace zel::menu
