#include "tools/editor/editor_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_tree.h"

namespace zel::tools::editor {
namespace {

std::vector<menu::MenuNode> Build(const std::string& text, menu::Host host,
                                  const std::string& selected, menu::MenuTable& table) {
  menu::BuildRequest request;
  request.host = host;
  request.selectedPath = selected;
  menu::MenuTreeSink sink;
  menu::MenuBuilder builder(request, sink, sink.Root(), table);
  menu::MemorySource source(text);
  menu::FeedLines(builder, source);
  return sink.Tree();
}

std::vector<menu::Finding> Check(const std::string& text) {
  menu::MemorySource source(text);
  return menu::CheckMenu(source);
}

TEST(MenuText, LineEndsBecomeCrLfAndOtherBytesStay) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\rb", "a\r\nb"},
      {"a\r\r\nb", "a\r\n\r\nb"},  // a lone CR then a CR LF: two line ends, as both programs read
      {"\n\r", "\r\n\r\n"},
      {"\x1a\xff\t'x'\x01", "\x1a\xff\t'x'\x01"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToCrLf(c.in), c.out) << c.in;
}

TEST(MenuText, NulByteAndOversizeAreRefused) {
  EXPECT_EQ(CheckMenuBytes("item 'A','a.exe'\r\n"), TextProblem::None);
  EXPECT_EQ(CheckMenuBytes(std::string("item\0x", 6)), TextProblem::NulByte);
  EXPECT_EQ(CheckMenuBytes(std::string(kMaxMenuFileBytes, 'x')), TextProblem::None);
  EXPECT_EQ(CheckMenuBytes(std::string(kMaxMenuFileBytes + 1, 'x')), TextProblem::TooLarge);
  EXPECT_NE(DescribeProblem(TextProblem::NulByte).find("NUL"), std::string::npos);
  EXPECT_TRUE(DescribeProblem(TextProblem::None).empty());
}

TEST(MenuText, ExampleAddsNothingToEitherMenuAndHasNoFindings) {
  EXPECT_TRUE(Check(kExampleMenu).empty());
  for (const menu::Host host : {menu::Host::Tray, menu::Host::Shell}) {
    menu::MenuTable table;
    EXPECT_TRUE(Build(kExampleMenu, host, "C:\\a.txt", table).empty());
  }
}

TEST(Argument, ProgramNameIsSkippedQuotedOrNot) {
  const struct {
    const char* commandLine;
    const char* argument;
  } cases[] = {
      {"\"C:\\Zel vane\\Editor.exe\" ", ""},  // the tray program's "Menu Editor"
      {"\"C:\\Zelvane\\Editor.exe\" C:\\SOMEFO~1\\file.txt", "C:\\SOMEFO~1\\file.txt"},
      {"Editor.exe   \"C:\\a b\\c.txt\"", "\"C:\\a b\\c.txt\""},
      {"\"C:\\x y\\Editor.exe\"", ""},
      {"Editor.exe", ""},
      {"\"unclosed", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ArgumentText(c.commandLine), c.argument) << c.commandLine;
}

TEST(Argument, PathIsTrimmedAndUnquotedButNeverSplit) {
  const struct {
    const char* argument;
    const char* path;
  } cases[] = {
      {"C:\\SOMEFO~1\\file.txt", "C:\\SOMEFO~1\\file.txt"},
      {"  \"C:\\a b\\c.txt\"  ", "C:\\a b\\c.txt"},
      {"C:\\a b\\c.txt ", "C:\\a b\\c.txt"},
      {"\" C:\\x \"", "C:\\x"},
      {"\"\"", ""},
      {"\"", "\""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PathFromArgument(c.argument), c.path) << c.argument;
}

// A file system whose object may vanish after the first question about it.
class VanishingObject final : public ObjectSystem {
 public:
  int answersLeft = 1000;
  Object Find(const std::string& path) override {
    if (answersLeft-- <= 0) return Object::None;
    return path.find("Folder") != std::string::npos ? Object::Folder : Object::File;
  }
  std::string FullPath(const std::string& path) override { return "C:\\" + path; }
  std::string LongPath(const std::string& path) override { return path; }
  std::string ShortPath(const std::string& path) override {
    return path == "C:\\Long Name.txt" ? "C:\\LONGNA~1.TXT" : path;
  }
};

TEST(ObjectForms, LongFormFirstAndNoneForAnObjectThatIsGone) {
  VanishingObject system;
  ObjectInfo info = InspectObject("Long Name.txt", system);
  EXPECT_EQ(info.paths, (std::vector<std::string>{"C:\\Long Name.txt", "C:\\LONGNA~1.TXT"}));
  EXPECT_FALSE(info.folder);
  EXPECT_TRUE(InspectObject("A Folder", system).folder);
  EXPECT_FALSE(InspectObject("", system).exists());
  // There at the first question, gone at the next: no form leads to it.
  system.answersLeft = 1;
  info = InspectObject("Long Name.txt", system);
  EXPECT_FALSE(info.exists());
  EXPECT_TRUE(info.paths.empty());
}

TEST(ObjectNames, ProgramsByTheirExtensionInAnyCase) {
  const struct {
    const char* path;
    bool program;
  } cases[] = {
      {"C:\\a.exe", true},   {"C:\\A.EXE", true},     {"x.Bat", true},
      {"y.cmd", true},       {"z.com", true},         {"C:\\a.exe.txt", false},
      {"C:\\exe", false},    {"C:\\tools.exe\\doc", false}, {".exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsProgramPath(c.path), c.program) << c.path;
}

TEST(ObjectNames, LastPartAndNameWithoutExtension) {
  EXPECT_EQ(LastPart("C:\\Tools\\a.b.exe"), "a.b.exe");
  EXPECT_EQ(LastPart("C:\\Tools\\"), "Tools");
  EXPECT_EQ(LastPart("D:\\"), "D:");
  EXPECT_EQ(NameWithoutExtension("C:\\Tools\\a.b.exe"), "a.b");
  EXPECT_EQ(NameWithoutExtension("C:\\Docs\\.profile"), ".profile");
  EXPECT_EQ(NameWithoutExtension("C:\\dir.d\\README"), "README");
}

TEST(ObjectNames, ExtensionListIsWhatTheShellCompares) {
  const struct {
    const char* path;
    const char* list;
  } cases[] = {
      {"C:\\Docs\\notes.txt", "txt"},
      {"C:\\Pics\\PHOTO.JPG", "jpg,JPG"},  // both spellings, each matched exactly
      {"C:\\Docs\\x.Txt", "txt,Txt"},
      {"C:\\a.gz", ".gz"},                 // two letters: with the dot
      {"C:\\a.jpeg", "peg"},               // longer: the last three
      {"C:\\Docs\\README", ""},            // nothing to compare: every file
      {"C:\\src\\main.c", ""},
      {"C:\\dir.d\\file", ""},
      {"C:\\Docs\\.profile", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtensionList(c.path), c.list) << c.path;
}

TEST(Caption, ReadsLikeTheNameWithoutTraps) {
  const std::vector<std::string> item = {"sep", "titem", "citem", "//"};
  const std::vector<std::string> citem = {"sep", "sub", "end", "//"};
  const struct {
    const char* name;
    const std::vector<std::string>& forbidden;
    const char* caption;
  } cases[] = {
      {"Notepad", item, "Notepad"},
      {"Sepia", item, "S&epia"},
      {"Photosepia", item, "Photos&epia"},
      {"Sendmail", item, "Sendmail"},  // an entry for both is read before "end" is looked at
      {"Sendmail", citem, "Se&ndmail"},
      {"SubSep", citem, "S&ubS&ep"},
      {"Quantitem", item, "Quant&item"},
      {"Tom & Jerry", item, "Tom && Jerry"},
      {"Bob's tool", item, "Bob's tool"},
      {"'quoted'", item, "quoted"},
      {"a''b", item, "a'b"},
      {"''", item, "New entry"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeCaption(c.name, c.forbidden), c.caption) << c.name;
}

TEST(Field, QuotesAreDoubledWhereAFieldCanHoldThem) {
  const struct {
    const char* value;
    bool ok;
    const char* field;
  } cases[] = {
      {"C:\\Bob's\\x.exe", true, "C:\\Bob''s\\x.exe"},
      {"", true, ""},
      {"'x", false, ""},
      {"x'", false, ""},
      {"a''b", false, ""},
  };
  for (const auto& c : cases) {
    std::string field;
    EXPECT_EQ(FieldText(c.value, field), c.ok) << c.value;
    if (c.ok) {
      EXPECT_EQ(field, c.field) << c.value;
    }
  }
}

struct LineCase {
  const char* name;
  ObjectKind kind;
  std::vector<std::string> paths;
  std::vector<std::string> programs;
  const char* line;
};

TEST(EntryLine, ProgramsFoldersAndDocuments) {
  const LineCase cases[] = {
      {"program", ObjectKind::Program, {"C:\\Tools\\notepad.exe", "C:\\TOOLS\\NOTEPAD.EXE"}, {},
       "item 'notepad','C:\\Tools\\notepad.exe'"},
      {"program whose folder holds sub and end", ObjectKind::Program,
       {"C:\\Subversion\\Vendor\\svn.exe"}, {}, "item 'svn','C:\\Subversion\\Vendor\\svn.exe'"},
      {"sep only in the long form", ObjectKind::Program,
       {"C:\\Photos Sepia\\x.bat", "C:\\PHOTOS~1\\X.BAT"}, {}, "item 'x','C:\\PHOTOS~1\\X.BAT'"},
      {"caption with sep", ObjectKind::Program,
       {"C:\\Tools\\Photosepia.exe", "C:\\Tools\\PHOTOS~1.EXE"}, {},
       "item 'Photos&epia','C:\\Tools\\PHOTOS~1.EXE'"},
      {"quote in the path", ObjectKind::Program, {"C:\\Bob's Tools\\Bob's.exe"}, {},
       "item 'Bob''s','C:\\Bob''s Tools\\Bob''s.exe'"},
      {"percent only in the long form", ObjectKind::Program,
       {"C:\\100%\\x.exe", "C:\\100_~1\\x.exe"}, {}, "item 'x','C:\\100_~1\\x.exe'"},
      {"ampersand", ObjectKind::Program, {"C:\\Tools\\Cut & Paste.cmd"}, {},
       "item 'Cut && Paste','C:\\Tools\\Cut & Paste.cmd'"},
      {"folder", ObjectKind::Folder, {"C:\\Users\\me\\Calendar"}, {},
       "item 'Calendar','explorer.exe','C:\\Users\\me\\Calendar'"},
      {"folder with a blank", ObjectKind::Folder, {"C:\\My Files", "C:\\MYFILE~1"}, {},
       "item 'My Files','explorer.exe','\"C:\\My Files\"'"},
      {"folder with a comma", ObjectKind::Folder, {"C:\\a,b"}, {},
       "item 'a,b','explorer.exe','\"C:\\a,b\"'"},
      {"drive root", ObjectKind::Folder, {"D:\\"}, {}, "item 'D:','explorer.exe','D:\\'"},
      {"document", ObjectKind::Document, {"C:\\Docs\\notes.txt"}, {"C:\\Tools\\notepad.exe"},
       "citem 'notepad','C:\\Tools\\notepad.exe','%s','txt'"},
      {"document in capitals", ObjectKind::Document, {"C:\\Pics\\PHOTO.JPG"},
       {"C:\\Tools\\view.exe"}, "citem 'view','C:\\Tools\\view.exe','%s','jpg,JPG'"},
      {"document path is not in the line", ObjectKind::Document, {"C:\\Vendor\\Sep\\data.csv"},
       {"C:\\Tools\\calc.exe"}, "citem 'calc','C:\\Tools\\calc.exe','%s','csv'"},
      {"program with end only in the long form", ObjectKind::Document, {"C:\\d\\a.log"},
       {"C:\\My Friends\\v.exe", "C:\\MYFRIE~1\\v.exe"},
       "citem 'v','C:\\MYFRIE~1\\v.exe','%s','log'"},
      {"document without extension", ObjectKind::Document, {"C:\\Docs\\README"},
       {"C:\\Tools\\notepad.exe"}, "citem 'notepad','C:\\Tools\\notepad.exe','%s'"},
  };
  for (const LineCase& c : cases) {
    const EntryLine entry = BuildEntryLine({c.kind, c.paths, c.programs});
    EXPECT_EQ(entry.line, c.line) << c.name;
    EXPECT_EQ(entry.problem, "") << c.name;
    EXPECT_TRUE(Check(entry.line + "\r\n").empty()) << c.name;
  }
}

TEST(EntryLine, RefusedWithAReasonWhenNoFormIsSafe) {
  const struct {
    const char* name;
    ObjectKind kind;
    std::vector<std::string> paths;
    std::vector<std::string> programs;
    const char* reason;
  } cases[] = {
      {"sep in every form", ObjectKind::Program, {"C:\\Sepia\\x.exe", "C:\\SEPIA\\X.EXE"}, {},
       "not even in its short form: it holds \"sep\""},
      {"percent", ObjectKind::Program, {"C:\\100%\\x.exe"}, {}, "percent sign"},
      {"two quotes", ObjectKind::Program, {"C:\\a''b\\x.exe"}, {}, "two quotes in a row"},
      {"folder with sep", ObjectKind::Folder, {"C:\\Users\\Joseph"}, {}, "\"sep\""},
      {"program with sub", ObjectKind::Document, {"C:\\d\\a.txt"}, {"C:\\Sublime\\s.exe"},
       "\"sub\""},
      {"program name with end", ObjectKind::Document, {"C:\\d\\a.log"},
       {"C:\\Tools\\Sendmail.exe", "C:\\Tools\\SENDMA~1.EXE"}, "\"end\""},
      {"extension sub", ObjectKind::Document, {"C:\\Movies\\film.sub"}, {"C:\\v.exe"},
       "extension"},
      {"no program", ObjectKind::Document, {"C:\\d\\a.txt"}, {}, "no path"},
  };
  for (const auto& c : cases) {
    const EntryLine entry = BuildEntryLine({c.kind, c.paths, c.programs});
    EXPECT_EQ(entry.line, "") << c.name;
    EXPECT_NE(entry.problem.find(c.reason), std::string::npos) << c.name << ": " << entry.problem;
  }
}

TEST(EntryLine, DocumentEntryShowsOnlyInTheShellMenuOfItsExtension) {
  const std::string line =
      BuildEntryLine({ObjectKind::Document, {"C:\\Docs\\PHOTO.JPG"}, {"C:\\Tools\\view.exe"}})
          .line;
  ASSERT_FALSE(line.empty());
  const std::string text = std::string("sub 'Tools'\r\nitem 'A','a.exe'\r\nend\r\n") + line;
  const struct {
    menu::Host host;
    const char* selected;
    std::size_t rootItems;
  } cases[] = {
      {menu::Host::Tray, "", 1},
      {menu::Host::Shell, "C:\\x\\other.JPG", 2},
      {menu::Host::Shell, "C:\\x\\other.jpg", 2},
      {menu::Host::Shell, "C:\\x\\other.png", 1},
  };
  for (const auto& c : cases) {
    menu::MenuTable table;
    const auto tree = Build(text, c.host, c.selected, table);
    ASSERT_EQ(tree.size(), c.rootItems) << c.selected;
    EXPECT_EQ(tree[0].children.size(), 1u) << c.selected;  // the submenu stays intact
    if (c.rootItems == 2) {
      EXPECT_EQ(tree[1].caption, "view");
      EXPECT_EQ(table.Find(1)->Command, "C:\\Tools\\view.exe");
      EXPECT_EQ(table.Find(1)->Arguments, "%s");
    }
  }
}

// Names built from the format's traps: every line made must read as exactly one entry in
// both programs, inside a file whose submenu it must not disturb; every refusal says why.
TEST(EntryLine, TrickyNamesGiveALineBothProgramsReadAsOneEntryOrAReason) {
  const char* const pieces[] = {"sep", "Sub", "END", "item", "t", "c", "'", "''", "%", "&",
                                " ", ",", "//", "a", "X.", ".txt", ".TXT", ".gz", "\\"};
  unsigned seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  const auto name = [&] {
    std::string text;
    for (unsigned n = 1 + next() % 5; n > 0; --n) text += pieces[next() % std::size(pieces)];
    return text;
  };
  int made = 0;
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    AddRequest request;
    request.kind = static_cast<ObjectKind>(round % 3);
    const std::string object = "C:\\" + name() + "\\" + name() +
                               (request.kind == ObjectKind::Program ? ".exe" : "");
    request.paths = {object, "C:\\SHORT~1\\" + name()};
    if (request.kind == ObjectKind::Document) request.programPaths = {"C:\\" + name() + ".exe"};
    const EntryLine entry = BuildEntryLine(request);
    if (entry.line.empty()) {
      EXPECT_FALSE(entry.problem.empty()) << object;
      ++refused;
      continue;
    }
    ++made;
    const std::string text = "sub 'S'\r\nitem 'A','a.exe'\r\nend\r\n" + entry.line + "\r\n";
    EXPECT_TRUE(Check(text).empty()) << entry.line;
    for (const menu::Host host : {menu::Host::Tray, menu::Host::Shell}) {
      menu::MenuTable table;
      const auto tree = Build(text, host, object, table);
      const bool shown = host == menu::Host::Shell || request.kind != ObjectKind::Document;
      ASSERT_EQ(tree.size(), shown ? 2u : 1u) << entry.line;
      EXPECT_EQ(tree[0].children.size(), 1u) << entry.line;
      if (!shown) continue;
      EXPECT_EQ(table.EntryCount, 2u) << entry.line;
      const std::string& command = table.Find(1)->Command;
      const auto& forms = request.kind == ObjectKind::Document ? request.programPaths
                          : request.kind == ObjectKind::Folder ? std::vector<std::string>{"explorer.exe"}
                                                               : request.paths;
      EXPECT_NE(std::find(forms.begin(), forms.end(), command), forms.end()) << entry.line;
    }
  }
  EXPECT_GT(made, 300);
  EXPECT_GT(refused, 300);
}

TEST(AppendLine, FileEndingInsideASubmenuIsNoticed) {
  const struct {
    const char* text;
    bool inside;
  } cases[] = {
      {"", false},
      {"sub 'A'\r\nitem 'X','x.exe'\r\nend\r\n", false},
      {"sub 'A'\r\nitem 'X','x.exe'\r\n", true},
      {"csub 'Shell only'\r\nitem 'X','x.exe'\r\n", true},  // skipped by the tray program
      {"csub 'Shell only'\r\ncend\r\n", false},
      {"end\r\nend\r\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(EndsInsideSubmenu(c.text), c.inside) << c.text;
}

TEST(AppendLine, NewLineGoesLastWithItsOwnLineEnd) {
  const struct {
    const char* text;
    const char* result;
    std::size_t index;
  } cases[] = {
      {"", "X\r\n", 0},
      {"a\r\n", "a\r\nX\r\n", 1},
      {"a", "a\r\nX\r\n", 1},
      {"a\r\nb\r\n\r\n", "a\r\nb\r\n\r\nX\r\n", 3},
  };
  for (const auto& c : cases) {
    std::size_t index = 99;
    EXPECT_EQ(AppendLine(c.text, "X", index), c.result) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
  }
}

}  // namespace
}  // namespace zel::tools::editor
