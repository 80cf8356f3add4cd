// Builds that need more than a menu text: tables that outlive a build, sources that fail, the
// tray's identifier limit. What a text builds into is in tests/cases.
#include "menu/menu_build.h"

#include <gtest/gtest.h>

#include <new>

#include "tests/unit/fake_files.h"

namespace zel::menu {
namespace {

using namespace test;

std::vector<MenuNode> Build(MenuFileAccess& files, const char* path, MenuTable& table,
                            Host host = Host::Tray, BuildResult* result = nullptr) {
  BuildRequest request;
  request.host = host;
  request.path = path;
  MenuTreeSink sink;
  const BuildResult built = BuildMenu(request, files, sink, sink.Root(), table);
  if (result != nullptr) *result = built;
  return sink.Tree();
}

// Whatever the last build left, a build fills the table afresh: no stale entry stays reachable.
TEST(BuildMenu, EveryBuildStartsTheTableOver) {
  FakeFiles files;
  files.Put("3.txt", "item 'A','a'\r\nitem 'B','b'\r\nitem 'C','c'");
  files.Put("1.txt", "item 'Z','z'");
  files.PutUnreadable("locked.txt");
  for (const std::string path : {"1.txt", "gone.txt", "locked.txt"}) {
    for (const Host host : {Host::Tray, Host::Shell}) {
      MenuTable table;
      Build(files, "3.txt", table, host);
      Build(files, path.c_str(), table, host);
      EXPECT_EQ(table.EntryCount, path == "1.txt" ? 1u : 0u) << path;
      for (std::size_t i = 0; i < table.MenuEntries.size(); ++i) {
        const MenuData& entry = table.MenuEntries[i];
        EXPECT_EQ(entry.Command + entry.Arguments, path == "1.txt" && i == 0 ? "z" : "") << path;
      }
    }
  }
}

// Files whose reading fails after the first line, running out of memory or with a read error:
// each file is a copy of these.
struct FailingFiles final : MenuFileAccess, ByteSource {
  bool outOfMemory = true;
  bool done = false;
  bool Exists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override {
    return std::make_unique<FailingFiles>(*this);
  }
  std::size_t Read(char* buffer, std::size_t capacity) override {
    if (done && outOfMemory) throw std::bad_alloc();
    if (done) throw MenuReadError("broken");
    done = true;
    return std::string("item 'A','a.exe'\r\n").copy(buffer, capacity);
  }
};

// The shell's submenu goes into the shell's menu only once it is complete: a build that fails
// leaves the shell's menu and the table as if nothing had happened.
TEST(BuildSubmenu, InsertedWhenCompleteAndNotAtAllWhenTheBuildFails) {
  FakeFiles files;
  files.Put("Menu.txt", "item 'A','a.exe'\r\nsep\r\n");
  const BuildRequest request{Host::Shell, "Menu.txt", 100, 0xFFFFFFFFu, {{"C:\\a.txt", {}}}};
  MenuTreeSink sink;
  sink.AppendItem(sink.Root(), 1, "Open");
  sink.AppendItem(sink.Root(), 2, "Print");
  MenuTable table;
  const auto built = BuildSubmenu(request, files, sink, sink.Root(), 1, "Zelvane", table);
  ASSERT_TRUE(built.has_value());
  EXPECT_EQ(built->addedCount, 2u);
  EXPECT_EQ(sink.Tree(),
            (std::vector<MenuNode>{Item("Open", 1), Sub("Zelvane", {Item("A", 101), Sep()}),
                                   Item("Print", 2)}));

  MenuTreeSink failing;
  failing.AppendItem(failing.Root(), 1, "Open");
  FailingFiles broken;
  EXPECT_THROW(BuildSubmenu(request, broken, failing, failing.Root(), 0, "Zelvane", table),
               std::bad_alloc);
  EXPECT_EQ(failing.Tree(), (std::vector<MenuNode>{Item("Open", 1)}));
  EXPECT_EQ(failing.Destroyed(), 1);
  EXPECT_EQ(table.Find(0), nullptr) << "no identifier leads to an entry";
  broken.outOfMemory = false;  // a read error is no failure: what was read stays, with its item
  ASSERT_TRUE(BuildSubmenu(request, broken, failing, failing.Root(), 0, "Zelvane", table));
  EXPECT_EQ(failing.Tree()[0], Sub("Zelvane", {Item("A", 101), Item(kUnreadableText, 0)}));
}

TEST(BuildMenu, TrayIdentifiersStopAt65535AndLaterLinesStillCount) {
  std::string text;
  for (int line = 0; line < 64505; ++line) text += "item 'E','e.exe'\r\n";  // two too many
  FakeFiles files;
  files.Put("Menu.txt", text + "sep");
  MenuTable table;
  BuildResult result;
  const std::vector<MenuNode> tree = Build(files, "Menu.txt", table, Host::Tray, &result);
  EXPECT_EQ(table.EntryCount, 65535u - 1032u);  // 1033 to 65535: WM_COMMAND carries 16 bits
  EXPECT_EQ(result.droppedEntries, 2u);
  ASSERT_EQ(tree.size(), table.EntryCount + 1);
  EXPECT_EQ(tree[tree.size() - 2].id, 65535u);
  EXPECT_EQ(tree.back(), Sep());
}

}  // namespace
}  // namespace zel::menu
