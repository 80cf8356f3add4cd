// Feeds arbitrary bytes to the line reader, both builds and the checker, and checks that
// every item a build made leads back to its entry.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_tree.h"

namespace {

using namespace zel::menu;

class OneFile final : public MenuFileAccess {
 public:
  explicit OneFile(std::string_view bytes) : bytes_(bytes) {}
  bool Exists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override {
    return std::make_unique<MemorySource>(bytes_);
  }

 private:
  std::string_view bytes_;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

// Walks the tree: entry items must carry consecutive identifiers in file order.
void Walk(const std::vector<MenuNode>& items, unsigned& next, unsigned& count) {
  for (const MenuNode& node : items) {
    ++count;
    if (node.kind == MenuNode::Kind::Submenu) {
      Walk(node.children, next, count);
    } else if (node.kind == MenuNode::Kind::Item) {
      Require(node.id == next++);
    }
  }
}

void BuildAndVerify(std::string_view bytes, const BuildRequest& request) {
  OneFile files(bytes);
  MenuTreeSink sink;
  MenuTable table;
  const BuildResult result = BuildMenu(request, files, sink, sink.Root(), table);
  const unsigned first = request.host == Host::Tray ? kTrayIdBase + 1 : request.idCmdFirst + 1;
  unsigned next = first;
  unsigned count = 0;
  Walk(sink.Tree(), next, count);
  Require(next - first == table.EntryCount);
  Require(table.EntryCount <= table.MenuEntries.size());
  if (request.host == Host::Shell) Require(result.addedCount == count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  BuildRequest tray;
  tray.path = "Menu.txt";
  BuildAndVerify(bytes, tray);

  // The selected path's extension comes from the input's first bytes.
  BuildRequest shell = tray;
  shell.host = Host::Shell;
  shell.selectedPath = "C:\\x." + std::string(bytes.substr(0, 3));
  shell.idCmdFirst = 100;
  shell.idCmdLast = 100 + static_cast<unsigned>(size % 64);
  BuildAndVerify(bytes, shell);

  MemorySource source(bytes);
  CheckMenu(source);
  return 0;
}
