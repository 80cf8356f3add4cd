#include "menu/menu_tree.h"

#include <algorithm>
#include <limits>

namespace zel::menu {

MenuSink::Handle MenuTreeSink::CreateSubmenu() {
  menus_.emplace_back();
  return menus_.size() - 1;
}

void MenuTreeSink::AppendItem(Handle menu, unsigned id, const std::string& caption) {
  Slot slot;
  slot.node.kind = MenuNode::Kind::Item;
  slot.node.caption = caption;
  slot.node.id = id;
  menus_.at(menu).push_back(std::move(slot));
}

void MenuTreeSink::AppendEntry(Handle menu, unsigned id, const std::string& caption,
                               const MenuData&, std::string_view iconField) {
  AppendItem(menu, id, caption);
  menus_.at(menu).back().node.icon = iconField;
}

void MenuTreeSink::AppendSubmenu(Handle menu, Handle submenu, const std::string& caption) {
  InsertSubmenu(menu, std::numeric_limits<unsigned>::max(), submenu, caption);  // at the end
}

bool MenuTreeSink::InsertSubmenu(Handle menu, unsigned position, Handle submenu,
                                 const std::string& caption) {
  Slot slot;
  slot.node.kind = MenuNode::Kind::Submenu;
  slot.node.caption = caption;
  slot.submenu = submenu;
  std::vector<Slot>& items = menus_.at(menu);
  items.insert(items.begin() + std::min<std::size_t>(position, items.size()), std::move(slot));
  return true;
}

void MenuTreeSink::AppendSeparator(Handle menu) {
  Slot slot;
  slot.node.kind = MenuNode::Kind::Separator;
  menus_.at(menu).push_back(std::move(slot));
}

std::vector<MenuNode> MenuTreeSink::Resolve(Handle menu) const {
  std::vector<MenuNode> items;
  for (const Slot& slot : menus_.at(menu)) {
    items.push_back(slot.node);
    if (slot.node.kind == MenuNode::Kind::Submenu) items.back().children = Resolve(slot.submenu);
  }
  return items;
}

}  // namespace zel::menu
