#include "menu/menu_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>

#include "tests/unit/fake_files.h"

namespace zel::menu {
namespace {

using test::BuildFrom;
using test::Item;
using test::kExampleMenu;
using test::Sep;
using test::ShellRequest;
using test::Sub;

void ExpectEntries(const MenuTable& table, const std::vector<MenuData>& expected) {
  ASSERT_EQ(table.EntryCount, expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(table.Find(i)->Command, expected[i].Command) << i;
    EXPECT_EQ(table.Find(i)->Arguments, expected[i].Arguments) << i;
  }
}

TEST(BuildMenuExample, TrayForm) {
  const auto built = BuildFrom(kExampleMenu);
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{
                            Item("Notepad", 1033), Item("Calculator", 1034), Sep(),
                            Sub("Folders", {Item("Windows folder", 1035)}),
                            Sub("Admin", {Item("Bob's tool", 1036)})}))
      << Describe(built.tree);
  ExpectEntries(built.table, {{"notepad.exe", ""},
                              {"calc.exe", ""},
                              {"explorer.exe", "C:\\Windows"},
                              {"tool.exe", ""}});
  EXPECT_EQ(built.result.file, MenuFileState::Read);
}

TEST(BuildMenuExample, ShellFormOnAPicture) {
  const unsigned f = 500;
  const auto built = BuildFrom(kExampleMenu, ShellRequest("C:\\Pics\\cat.jpg", f));
  EXPECT_EQ(built.tree,
            (std::vector<MenuNode>{
                Item("Notepad", f + 1), Sep(),
                Sub("Folders", {Item("Windows folder", f + 2),
                                Sub("Images", {Item("Rotate", f + 3)})}),
                Item("Add to...", f + 4)}))
      << Describe(built.tree);
  ExpectEntries(built.table, {{"notepad.exe", ""},
                              {"explorer.exe", "C:\\Windows"},
                              {"rotate.exe", "-r 90"},
                              {"Add", ""}});
  EXPECT_EQ(built.result.addedCount, 7u);
}

TEST(BuildMenuExample, ShellFormOnATextFile) {
  const auto built = BuildFrom(kExampleMenu, ShellRequest("C:\\notes.txt", 0));
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("Notepad", 1), Item("Word count", 2), Sep(),
                                               Sub("Folders", {Item("Windows folder", 3)}),
                                               Item("Add to...", 4)}))
      << Describe(built.tree);
  EXPECT_EQ(built.table.Find(1)->Command, "wordcount.exe");
  EXPECT_EQ(built.table.Find(1)->Arguments, "/quiet");
  EXPECT_EQ(built.result.addedCount, 6u);
}

TEST(MatchesSelection, ComparesTheLastThreeCharactersExactly) {
  struct Case {
    const char* list;
    const char* path;
    bool match;
  };
  const Case cases[] = {
      {",", "C:\\any.thing", true},
      {"txt,log,", "C:\\a.log", true},
      {"txt,log,", "C:\\a.TXT", false},      // case counts
      {"txt, log,", "C:\\a.log", false},     // a blank is part of the element
      {".gz,", "C:\\a.tar.gz", true},        // two letters with their dot
      {"peg,", "C:\\a.jpeg", true},          // the last three letters of a longer one
      {"jpeg,", "C:\\a.jpeg", false},
      {"txt,", "xt", false},                 // a path shorter than three characters
      {"xt,", "xt", true},
      {",txt,", "C:\\a.doc", false},         // an empty element matches nothing here
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesSelection(c.list, c.path), c.match) << c.list << " / " << c.path;
  }
}

// Each trap of the format, read as the programs read it.
TEST(BuildMenuTraps, LfOnlyFileIsOneLine) {
  const auto built = BuildFrom("item 'A','a.exe'\nitem 'B','b.exe'\n");
  // One line: one entry, its fields taken from the whole text.
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("A", 1033)}));
  EXPECT_EQ(built.table.Find(0)->Arguments, "B");
}

TEST(BuildMenuTraps, DoubleSlashCommentsOutAWebAddress) {
  const auto built = BuildFrom("item 'Site','browser.exe','http://example.org'\r\nitem 'B','b'");
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("B", 1033)}));
}

TEST(BuildMenuTraps, CaptionKeywordsChangeTheLine) {
  // "Sepia" makes a separator; "Send to" inside a csub closes the skip early in the tray form.
  const auto sepia = BuildFrom("item 'Sepia','s.exe'");
  EXPECT_EQ(sepia.tree, (std::vector<MenuNode>{Sep()}));
  EXPECT_EQ(sepia.table.EntryCount, 0u);

  const auto send = BuildFrom("csub 'Shell'\r\nitem 'Send to','s.exe'\r\nitem 'After','a.exe'");
  EXPECT_EQ(send.tree, (std::vector<MenuNode>{Item("After", 1033)})) << Describe(send.tree);

  // A tray-only entry whose caption holds "sub" opens a submenu in the shell form.
  const auto subtitle = BuildFrom("titem 'Subtitles','txt'\r\nitem 'X','x.exe'",
                                  ShellRequest("C:\\a.txt"));
  EXPECT_EQ(subtitle.tree, (std::vector<MenuNode>{Sub("Subtitles", {Item("X", 1)})}))
      << Describe(subtitle.tree);

  // An unmatched entry whose caption holds "end" closes the submenu it stands in.
  const auto ending = BuildFrom("sub 'S'\r\nitem 'Append','a.exe','-','log'\r\nitem 'Y','y.exe'",
                                ShellRequest("C:\\a.txt"));
  EXPECT_EQ(ending.tree, (std::vector<MenuNode>{Sub("S", {}), Item("Y", 1)}))
      << Describe(ending.tree);
}

TEST(BuildMenuTraps, EmptyFieldShiftsTheOthers) {
  const auto built = BuildFrom("item 'A','x.exe','','y'");
  EXPECT_EQ(built.table.Find(0)->Arguments, "y");
}

TEST(BuildMenuTraps, ExtensionListsAreCaseSensitive) {
  const auto built = BuildFrom("citem 'T','t.exe','','TXT'\r\ncitem 'U','u.exe','','txt'",
                               ShellRequest("C:\\a.txt"));
  // The '' empty field shifts the list into field 2: both lists read as empty, both match.
  EXPECT_EQ(built.tree.size(), 2u);
  const auto strict = BuildFrom("citem 'T','t.exe','-','TXT'\r\ncitem 'U','u.exe','-','txt'",
                                ShellRequest("C:\\a.txt"));
  EXPECT_EQ(strict.tree, (std::vector<MenuNode>{Item("U", 1)}));
}

TEST(BuildMenuRules, KeywordsAndTheAddLine) {
  const auto tray = BuildFrom("ITEM 'X','x.exe'\r\nAdd\r\nadd\r\n Add\r\nAdd \r\n");
  EXPECT_EQ(tray.tree, (std::vector<MenuNode>{Item("X", 1033)}));

  const auto shell = BuildFrom("ITEM 'X','x.exe'\r\nAdd\r\nadd\r\n Add\r\nAdd \r\n",
                               ShellRequest("C:\\a.txt", 10));
  EXPECT_EQ(shell.tree, (std::vector<MenuNode>{Item("X", 11), Item("Add to...", 12)}));
  EXPECT_EQ(shell.result.addedCount, 2u);
}

TEST(BuildMenuRules, EndAtRootAndUnclosedSubmenus) {
  const auto built = BuildFrom("end\r\nitem 'A','a'\r\nsub 'S'\r\nitem 'B','b'");
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("A", 1033), Sub("S", {Item("B", 1034)})}));
}

TEST(BuildMenuRules, OtherHostEndOutsideASkipDoesNothing) {
  const auto built = BuildFrom("sub 'S'\r\ncend\r\nitem 'A','a'\r\nend\r\nitem 'B','b'");
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Sub("S", {Item("A", 1033)}), Item("B", 1034)}));
}

TEST(BuildMenuRules, SkippedSubmenuIsSkippedWholeWhateverTheLetters) {
  const char* text =
      "csub 'Outer'\r\n"
      "tsub 'Inner'\r\n"
      "titem 'Deep','d'\r\n"
      "tend\r\n"
      "item 'Still outer','o'\r\n"
      "cend\r\n"
      "item 'After','a'";
  const auto built = BuildFrom(text);
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("After", 1033)}));
  // A skip never ended ignores the rest of the file.
  const auto unended = BuildFrom("csub 'X'\r\nitem 'A','a'");
  EXPECT_TRUE(unended.tree.empty());
}

TEST(BuildMenuRules, ShellSkipsSubmenuWhoseListDoesNotMatch) {
  const auto built = BuildFrom("sub 'Images','bmp,jpg'\r\nitem 'R','r'\r\nend\r\nitem 'A','a'",
                               ShellRequest("C:\\a.txt"));
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("A", 1)}));
  EXPECT_EQ(built.result.addedCount, 1u);
}

TEST(BuildMenuRules, EmptyCaptionIsATextItem) {
  // A written '' vanishes, so an empty caption comes from a line with no fields at all.
  const auto built = BuildFrom("item");
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("", 1033)}));
}

TEST(BuildMenuFile, MissingFileGivesTheNotFoundItem) {
  test::FakeFiles files;
  MenuTreeSink sink;
  MenuTable table;
  table.Append("old.exe", "");
  BuildRequest request = ShellRequest("C:\\a.txt");
  request.path = "nowhere";
  const BuildResult result = BuildMenu(request, files, sink, sink.Root(), table);
  EXPECT_EQ(result.file, MenuFileState::Missing);
  EXPECT_EQ(sink.Tree(), (std::vector<MenuNode>{Item("menu.txt not found", 0)}));
  EXPECT_EQ(result.addedCount, 0u);
  EXPECT_EQ(table.EntryCount, 0u);
}

TEST(BuildMenuFile, UnreadableFileGivesItsOwnItemInBothForms) {
  for (Host host : {Host::Tray, Host::Shell}) {
    test::FakeFiles files;
    files.PutUnreadable("Menu.txt");
    MenuTreeSink sink;
    MenuTable table;
    table.Append("stale.exe", "");
    BuildRequest request;
    request.host = host;
    request.path = "Menu.txt";
    const BuildResult result = BuildMenu(request, files, sink, sink.Root(), table);
    EXPECT_EQ(result.file, MenuFileState::Unreadable);
    EXPECT_EQ(result.error, "access denied");
    EXPECT_EQ(sink.Tree(), (std::vector<MenuNode>{Item("menu.txt could not be read", 0)}));
    EXPECT_EQ(table.EntryCount, 0u);  // no stale entry stays reachable
    EXPECT_EQ(result.addedCount, 0u);
  }
}

TEST(BuildMenuFile, RebuildGivesTheSameIdentifiersAndShrinksTheTable) {
  const std::string three = "item 'A','a'\r\nitem 'B','b'\r\nitem 'C','c'";
  test::FakeFiles files;
  files.Put("Menu.txt", three);
  BuildRequest request;
  request.path = "Menu.txt";
  MenuTable table;
  MenuTreeSink first, second, third;
  BuildMenu(request, files, first, first.Root(), table);
  BuildMenu(request, files, second, second.Root(), table);
  EXPECT_EQ(first.Tree(), second.Tree());
  files.Put("Menu.txt", "item 'Z','z'");
  BuildMenu(request, files, third, third.Root(), table);
  EXPECT_EQ(table.EntryCount, 1u);
  EXPECT_EQ(table.Find(0)->Command, "z");
  EXPECT_EQ(table.Find(1), nullptr);
}

// Files whose reading runs out of memory after the first bytes.
class FailingFiles final : public MenuFileAccess {
 public:
  bool Exists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override {
    class Source final : public ByteSource {
     public:
      std::size_t Read(char* buffer, std::size_t capacity) override {
        if (done_) throw std::bad_alloc();
        done_ = true;
        const std::string line = "item 'A','a.exe'\r\n";
        line.copy(buffer, std::min(capacity, line.size()));
        return std::min(capacity, line.size());
      }

     private:
      bool done_ = false;
    };
    return std::make_unique<Source>();
  }
};

// The shell's submenu goes into the shell's menu only once it is complete: a build that fails
// leaves the shell's menu and the table as if nothing had happened.
TEST(BuildSubmenu, InsertedWhenCompleteAndNotAtAllWhenTheBuildFails) {
  test::FakeFiles files;
  files.Put("Menu.txt", "item 'A','a.exe'\r\nsep\r\n");
  BuildRequest request = ShellRequest("C:\\a.txt", 100);
  request.path = "Menu.txt";
  MenuTreeSink sink;
  sink.AppendItem(sink.Root(), 1, "Open");
  sink.AppendItem(sink.Root(), 2, "Print");
  MenuTable table;
  const auto built = BuildSubmenu(request, files, sink, sink.Root(), 1, "Zelvane", table);
  ASSERT_TRUE(built.has_value());
  EXPECT_EQ(built->addedCount, 2u);
  EXPECT_EQ(sink.Tree(), (std::vector<MenuNode>{Item("Open", 1), Sub("Zelvane", {Item("A", 101), Sep()}),
                                                Item("Print", 2)}));

  MenuTreeSink failing;
  failing.AppendItem(failing.Root(), 1, "Open");
  FailingFiles broken;
  EXPECT_THROW(BuildSubmenu(request, broken, failing, failing.Root(), 0, "Zelvane", table),
               std::bad_alloc);
  EXPECT_EQ(failing.Tree(), (std::vector<MenuNode>{Item("Open", 1)}));
  EXPECT_EQ(failing.Destroyed(), 1);
  EXPECT_EQ(table.Find(0), nullptr) << "no identifier leads to an entry";
}

TEST(BuildMenuLimits, TrayNumberingStopsAt65535) {
  std::string text;
  const unsigned fit = kMaxCommandId - kTrayIdBase;  // 64503 entries fit
  for (unsigned i = 0; i < fit + 2; ++i) text += "item 'E','e.exe'\r\n";
  text += "sep";
  const auto built = BuildFrom(text);
  EXPECT_EQ(built.table.EntryCount, fit);
  EXPECT_EQ(built.result.droppedEntries, 2u);
  ASSERT_EQ(built.tree.size(), fit + 1);
  EXPECT_EQ(built.tree[fit - 1].id, 65535u);
  EXPECT_EQ(built.tree[fit].kind, MenuNode::Kind::Separator);  // later lines still count
}

TEST(BuildMenuLimits, ShellNumberingStopsAtIdCmdLast) {
  BuildRequest request = ShellRequest("C:\\a.txt", 100);
  request.idCmdLast = 102;
  const auto built = BuildFrom("item 'A','a'\r\nitem 'B','b'\r\nitem 'C','c'\r\nsep\r\nAdd", request);
  EXPECT_EQ(built.tree, (std::vector<MenuNode>{Item("A", 101), Item("B", 102), Sep()}));
  EXPECT_EQ(built.table.EntryCount, 2u);
  EXPECT_EQ(built.result.addedCount, 3u);
  EXPECT_EQ(built.result.droppedEntries, 2u);

  // No wrap-around at the top of the identifier space.
  BuildRequest high = ShellRequest("C:\\a.txt", 0xFFFFFFFEu);
  const auto top = BuildFrom("item 'A','a'\r\nitem 'B','b'", high);
  EXPECT_EQ(top.tree, (std::vector<MenuNode>{Item("A", 0xFFFFFFFFu)}));
}

TEST(BuildMenuState, ConcurrentBuildsDoNotShareState) {
  // Two builders interleaved line by line keep their own stacks, skips and tables.
  BuildRequest tray;
  BuildRequest shell = ShellRequest("C:\\a.jpg", 0);
  MenuTreeSink traySink, shellSink;
  MenuTable trayTable, shellTable;
  MenuBuilder a(tray, traySink, traySink.Root(), trayTable);
  MenuBuilder b(shell, shellSink, shellSink.Root(), shellTable);
  for (const char* line : {"csub 'C','jpg'", "item 'In','i'", "cend", "tsub 'T'", "item 'U','u'",
                           "tend"}) {
    a.Feed(line);
    b.Feed(line);
  }
  EXPECT_EQ(traySink.Tree(), (std::vector<MenuNode>{Sub("T", {Item("U", 1033)})}));
  EXPECT_EQ(shellSink.Tree(), (std::vector<MenuNode>{Sub("C", {Item("In", 1)})}));
  EXPECT_EQ(trayTable.Find(0)->Command, "u");
  EXPECT_EQ(shellTable.Find(0)->Command, "i");
}

}  // namespace
}  // namespace zel::menu
