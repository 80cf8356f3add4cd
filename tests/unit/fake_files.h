// Menu files held in memory and tree literals, for tests that build menus.
#pragma once

#include <map>
#include <set>
#include <string>

#include "menu/menu_build.h"
#include "menu/menu_tree.h"

namespace zel::test {

class FakeFiles final : public menu::MenuFileAccess {
 public:
  void Put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  void PutUnreadable(const std::string& path) { unreadable_.insert(path); }

  bool Exists(const std::string& path) override {
    return files_.count(path) + unreadable_.count(path) != 0;
  }
  std::unique_ptr<menu::ByteSource> Open(const std::string& path) override {
    if (unreadable_.count(path) != 0) throw menu::MenuReadError("access denied");
    return std::make_unique<menu::MemorySource>(files_.at(path));
  }

 private:
  std::map<std::string, std::string> files_;
  std::set<std::string> unreadable_;
};

// Tree literals: Item("Notepad", 1033), Sep(), Sub("Folders", {...}).
inline menu::MenuNode Item(std::string caption, unsigned id) {
  return {menu::MenuNode::Kind::Item, std::move(caption), id, {}, {}};
}
inline menu::MenuNode Sep() { return {menu::MenuNode::Kind::Separator, "", 0, {}, {}}; }
inline menu::MenuNode Sub(std::string caption, std::vector<menu::MenuNode> children) {
  return {menu::MenuNode::Kind::Submenu, std::move(caption), 0, std::move(children), {}};
}

}  // namespace zel::test
