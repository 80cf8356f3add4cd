// Menu files held in memory, for tests that build menus from literals.
#pragma once

#include <map>
#include <ostream>
#include <set>
#include <string>

#include "menu/menu_build.h"
#include "menu/menu_tree.h"

namespace zel::menu {
// Trees print as indented listings in failure messages.
inline void PrintTo(const MenuNode& node, std::ostream* os) { *os << "\n" << Describe({node}); }
}  // namespace zel::menu

namespace zel::test {

class FakeFiles final : public menu::MenuFileAccess {
 public:
  void Put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  void PutUnreadable(const std::string& path) { unreadable_.insert(path); }

  bool Exists(const std::string& path) override {
    return files_.count(path) != 0 || unreadable_.count(path) != 0;
  }
  std::unique_ptr<menu::ByteSource> Open(const std::string& path) override {
    if (unreadable_.count(path) != 0) throw menu::MenuReadError("access denied");
    return std::make_unique<menu::MemorySource>(files_.at(path));
  }

 private:
  std::map<std::string, std::string> files_;
  std::set<std::string> unreadable_;
};

struct Built {
  std::vector<menu::MenuNode> tree;
  menu::MenuTable table;
  menu::BuildResult result;
};

inline Built BuildFrom(const std::string& text, menu::BuildRequest request = {}) {
  FakeFiles files;
  request.path = "Menu.txt";
  files.Put(request.path, text);
  menu::MenuTreeSink sink;
  Built built;
  built.result = menu::BuildMenu(request, files, sink, sink.Root(), built.table);
  built.tree = sink.Tree();
  return built;
}

inline menu::BuildRequest ShellRequest(const std::string& selected, unsigned idCmdFirst = 0) {
  menu::BuildRequest request;
  request.host = menu::Host::Shell;
  request.selectedPath = selected;
  request.idCmdFirst = idCmdFirst;
  return request;
}

// Tree literals: Item("Notepad", 1033), Sep(), Sub("Folders", {...}).
inline menu::MenuNode Item(const std::string& caption, unsigned id) {
  menu::MenuNode node;
  node.caption = caption;
  node.id = id;
  return node;
}
inline menu::MenuNode Sep() {
  menu::MenuNode node;
  node.kind = menu::MenuNode::Kind::Separator;
  return node;
}
inline menu::MenuNode Sub(const std::string& caption, std::vector<menu::MenuNode> children) {
  menu::MenuNode node;
  node.kind = menu::MenuNode::Kind::Submenu;
  node.caption = caption;
  node.children = std::move(children);
  return node;
}

// The example menu file that uses every construct, with CR LF line ends.
inline const char kExampleMenu[] =
    "// Personal tools\r\n"
    "item 'Notepad','notepad.exe'\r\n"
    "titem 'Calculator','calc.exe'\r\n"
    "citem 'Word count','wordcount.exe','/quiet','txt,log'\r\n"
    "sep\r\n"
    "sub 'Folders'\r\n"
    "item 'Windows folder','explorer.exe','C:\\Windows'\r\n"
    "csub 'Images','bmp,jpg'\r\n"
    "item 'Rotate','rotate.exe','-r 90'\r\n"
    "cend\r\n"
    "end\r\n"
    "tsub 'Admin'\r\n"
    "item 'Bob''s tool','tool.exe'\r\n"
    "tend\r\n"
    "Add\r\n";

}  // namespace zel::test
