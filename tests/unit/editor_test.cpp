// The editor's decisions that need a system or many inputs: the object "Add to..." is given and
// entry lines for names made of the format's traps. Tables are in tests/cases.
#include "editor/editor_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <utility>

#include "menu/menu_check.h"
#include "menu/menu_tree.h"
#include "tests/unit/fake_files.h"
#include "tests/unit/fake_system.h"

namespace zel::editor {
namespace {

std::vector<menu::MenuNode> Build(const std::string& text, menu::Host host,
                                  const std::string& selected, menu::MenuTable& table) {
  test::FakeFiles files;
  files.Put("M", text);
  menu::MenuTreeSink sink;
  menu::BuildMenu({host, "M", 0, 0xFFFFFFFFu, {{selected, selected}}}, files, sink, sink.Root(),
                  table);
  return sink.Tree();
}

// The long form first, for the caption; nothing for what is not there. A file given by its
// short form, relative to the current folder.
TEST(InspectObject, LongFormFirstAndNothingForWhatIsNotThere) {
  test::FakeSystem system;
  system.files = {"C:\\Long Name.txt", "C:\\LONGNA~1.TXT", "LONGNA~1.TXT"};
  system.shortNames["C:\\Long Name.txt"] = "C:\\LONGNA~1.TXT";
  const ObjectInfo file = InspectObject("LONGNA~1.TXT", system);
  EXPECT_EQ(file.paths, (std::vector<std::string>{"C:\\Long Name.txt", "C:\\LONGNA~1.TXT"}));
  EXPECT_FALSE(file.folder);
  EXPECT_FALSE(InspectObject("gone.txt", system).exists());
}

// Every line made must read as exactly one entry in both programs and pass the checker, appended
// to a new file (the example text, which adds nothing) with a submenu it must not disturb; every
// refusal says why.
TEST(BuildEntryLine, TrickyNamesGiveASafeLineOrAReason) {
  const char* const pieces[] = {"sep", "Sub", "END", "item", "t",  "c",    "'",    "''",  "%", "&",
                                " ",   ",",   "//",  "a",    "X.", ".txt", ".TXT", ".gz", "\\"};
  std::minstd_rand random(12345);
  const auto name = [&] {
    std::string text;
    for (auto n = 1 + random() % 5; n > 0; --n) text += pieces[random() % std::size(pieces)];
    return text;
  };
  int made = 0;
  for (int round = 0; round < 3000; ++round) {
    const auto kind = static_cast<ObjectKind>(round % 3);
    const bool document = kind == ObjectKind::Document;
    const std::string object =
        "C:\\" + name() + "\\" + name() + (kind == ObjectKind::Program ? ".exe" : "");
    const AddRequest request{kind, {object, "C:\\SHORT~1\\" + name()}, {"C:\\" + name() + ".exe"}};
    const EntryLine entry = BuildEntryLine(request);
    if (entry.line.empty()) {
      EXPECT_NE(entry.problem, "") << object;
      continue;
    }
    ++made;
    const std::string text =
        std::string(kExampleMenu) + "sub 'S'\r\nitem 'A','a.exe'\r\nend\r\n" + entry.line + "\r\n";
    menu::MemorySource source(text);
    EXPECT_TRUE(menu::CheckMenu(source).empty()) << entry.line;
    const std::vector<std::string> explorer = {"explorer.exe"};
    const auto& commands = document                     ? request.programPaths
                           : kind == ObjectKind::Folder ? explorer
                                                        : request.paths;
    for (const menu::Host host : {menu::Host::Tray, menu::Host::Shell}) {
      menu::MenuTable table;
      const bool shown = host == menu::Host::Shell || !document;
      ASSERT_EQ(Build(text, host, object, table).size(), shown ? 2u : 1u) << entry.line;
      ASSERT_EQ(table.EntryCount, shown ? 2u : 1u) << entry.line;
      const std::string& command = table.Find(table.EntryCount - 1)->Command;
      EXPECT_TRUE(!shown || std::count(commands.begin(), commands.end(), command)) << entry.line;
    }
  }
  EXPECT_GT(made, 300);
}

// Files by name; the replace ends as told, and the move back fails when told.
struct FakeReplacer final : FileReplacer {
  std::map<std::string, std::string> files{{"M.txt", "old"}, {"tmp", "new"}};
  Outcome outcome = Outcome::Replaced;
  bool moveFails = false;
  Result Replace(const std::string& path, const std::string& replacement,
                 const std::string& backup) override {
    if (outcome != Outcome::Failed) files[backup] = std::exchange(files[path], files[replacement]);
    if (outcome == Outcome::Replaced) files.erase(replacement);
    if (outcome == Outcome::OldFileMoved) files.erase(path);
    return {outcome, "denied"};
  }
  std::string Move(const std::string& from, const std::string& to) override {
    if (moveFails || files.count(to) != 0) return "in use";
    files[to] = files[from];
    files.erase(from);
    return {};
  }
};

// The menu is never lost unsaid: where it is not at its place, the message says where it is.
TEST(ReplaceKeepingBackup, PutsTheOldFileBackOrSaysWhereTheMenuIs) {
  using O = FileReplacer::Outcome;
  const struct {
    O outcome;
    bool moveFails;
    const char *file, *backup, *said;
  } cases[] = {
      {O::Replaced, false, "new", "old", ""},
      {O::Failed, false, "old", "-", "The menu file M.txt cannot be replaced: denied"},
      {O::OldFileMoved, false, "old", "-", "The menu file M.txt cannot be replaced: denied"},
      {O::OldFileMoved, true, "-", "old",
       "only in M.txt.bak: it could not be moved back (in use). Rename it to M.txt "},
  };
  for (const auto& c : cases) {
    FakeReplacer files;
    files.outcome = c.outcome;
    files.moveFails = c.moveFails;
    const std::string said = ReplaceKeepingBackup(files, "M.txt", "tmp", "M.txt.bak", NoLeadBytes);
    const auto at = [&](const char* name) {
      return files.files.count(name) ? files.files[name] : "-";
    };
    EXPECT_EQ(said.empty(), *c.said == '\0') << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    EXPECT_EQ(at("M.txt") + " " + at("M.txt.bak"), std::string(c.file) + " " + c.backup) << said;
  }
}

}  // namespace
}  // namespace zel::editor
