#include "menu/menu_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zel::menu {
namespace {

// Hands out at most `chunk` bytes a read, so line ends fall across buffer refills.
class ChunkedSource final : public ByteSource {
 public:
  ChunkedSource(std::string bytes, std::size_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
  std::size_t Read(char* buffer, std::size_t capacity) override {
    const std::size_t n = std::min({capacity, chunk_, bytes_.size() - pos_});
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

class FailingSource final : public ByteSource {
 public:
  std::size_t Read(char*, std::size_t) override { throw MenuReadError("broken"); }
};

std::vector<std::string> ReadAll(ByteSource& source) {
  LineReader reader(source);
  std::vector<std::string> lines;
  std::string line;
  do {
    reader.ReadLine(line);
    lines.push_back(line);
  } while (!reader.AtEnd());
  return lines;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

const LineCase kLineCases[] = {
    {"EmptyFileGivesOneEmptyLine", "", {""}},
    {"LastLineNeedsNoEnd", "a\r\nb", {"a", "b"}},
    {"FinalCrLfEndsTheFile", "a\r\n", {"a"}},
    {"LoneCrEndsALine", "a\rb\r", {"a", "b"}},
    {"OnlyOneLfAfterCrIsConsumed", "a\r\n\nb", {"a", "\nb"}},
    {"LoneLfIsAnOrdinaryByte", "a\nb\nc", {"a\nb\nc"}},
    {"LfBeforeCrStaysInTheLine", "a\n\r\nb", {"a\n", "b"}},
    {"EmptyLinesBetween", "a\r\n\r\n\r\nb", {"a", "", "", "b"}},
    {"CtrlZEndsTheFile", "a\r\nb\x1a\r\nc", {"a", "b"}},
    {"CtrlZAtStartGivesOneEmptyLine", "\x1aitem 'x','y'", {""}},
    {"CtrlZRightAfterLineEnd", "a\r\n\x1a" "b", {"a"}},
    {"NulAndHighBytesKept", std::string("a\0\xe9\xff", 4), {std::string("a\0\xe9\xff", 4)}},
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineReaderTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineReaderTest, ReadsLinesWhateverTheChunking) {
  for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4096}}) {
    ChunkedSource source(GetParam().bytes, chunk);
    EXPECT_EQ(ReadAll(source), GetParam().lines) << "chunk " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, LineReaderTest, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineReader, LongLineIsReadWhole) {
  const std::string longLine(3 * 64 * 1024 + 17, 'x');
  const std::string bytes = longLine + "\r\nnext";
  MemorySource source(bytes);
  const auto lines = ReadAll(source);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], longLine);
  EXPECT_EQ(lines[1], "next");
}

TEST(LineReader, CrLfSplitAcrossTheInternalBuffer) {
  // The CR is the last byte of the first 64 KiB buffer and the LF the first of the next.
  const std::string first(64 * 1024 - 1, 'a');
  const std::string bytes = first + "\r\nb";
  MemorySource source(bytes);
  EXPECT_EQ(ReadAll(source), (std::vector<std::string>{first, "b"}));
}

TEST(LineReader, ReadFailureIsRaised) {
  FailingSource source;
  LineReader reader(source);
  std::string line;
  EXPECT_THROW(reader.ReadLine(line), MenuReadError);
}

TEST(LineReader, ReportsBytesAfterCtrlZ) {
  MemorySource withRest("ab\x1azzz");
  LineReader reader(withRest);
  std::string line;
  reader.ReadLine(line);
  ASSERT_TRUE(reader.AtEnd());
  EXPECT_TRUE(reader.HasBytesAfterCtrlZ());

  MemorySource bare("a\x1a");
  LineReader bareReader(bare);
  bareReader.ReadLine(line);
  ASSERT_TRUE(bareReader.AtEnd());
  EXPECT_FALSE(bareReader.HasBytesAfterCtrlZ());
}

TEST(LowerAscii, FoldsOnlyAsciiCapitals) {
  EXPECT_EQ(LowerAscii("ITEM Item @[`{"), "item item @[`{");
  EXPECT_EQ(LowerAscii("\xC9\xE9\xD6"), "\xC9\xE9\xD6");  // Latin-1 capitals stay
}

struct KeywordCase {
  const char* line;
  const char* keyword;
  bool trayOwn, trayOther, shellOwn, shellOther;
};

// Own and for-other-host answers of both deliverables' keyword tests.
const KeywordCase kKeywordCases[] = {
    {"item 'a'", "item", true, true, true, true},
    {"ITEM 'a'", "item", true, true, true, true},
    {"titem 'a'", "item", true, false, false, true},
    {"TItem 'a'", "item", true, false, false, true},
    {"citem 'a'", "item", false, true, true, false},
    {"  x item", "item", true, true, true, true},     // anywhere in the line
    {"sep", "sep", true, true, true, true},
    {"item 'Sepia','x.exe'", "sep", true, true, true, true},  // a caption can be a keyword
    {"tsub 'a' csub", "sub", false, false, true, true},       // both letters: tray no, shell yes
    {"cend", "end", false, true, true, false},
    {"tend", "end", true, false, false, true},
    {"item 'a'", "sub", false, false, false, false},
};

TEST(IsMenuKeyword, EachHostReadsItsOwnAndTheOtherLetter) {
  for (const KeywordCase& c : kKeywordCases) {
    SCOPED_TRACE(std::string(c.line) + " / " + c.keyword);
    EXPECT_EQ(IsMenuKeyword(c.keyword, c.line, false, Host::Tray), c.trayOwn);
    EXPECT_EQ(IsMenuKeyword(c.keyword, c.line, true, Host::Tray), c.trayOther);
    EXPECT_EQ(IsMenuKeyword(c.keyword, c.line, false, Host::Shell), c.shellOwn);
    EXPECT_EQ(IsMenuKeyword(c.keyword, c.line, true, Host::Shell), c.shellOther);
  }
}

struct FieldCase {
  const char* line;
  std::vector<std::string> fields;  // fields 0, 1, 2, 3
};

const FieldCase kFieldCases[] = {
    {"item 'Notepad','notepad.exe'", {"Notepad", "notepad.exe", "", ""}},
    {"citem 'Word count','wordcount.exe','/quiet','txt,log'",
     {"Word count", "wordcount.exe", "/quiet", "txt,log"}},
    {"item 'A','x.exe','','y'", {"A", "x.exe", "y", ""}},        // '' vanishes, y moves down
    {"item 'a''''b'", {"a'b", "", "", ""}},                      // a run of four is one quote
    {"item 'Bob''s tool','tool.exe'", {"Bob's tool", "tool.exe", "", ""}},
    {"item 'a'''", {"", "", "", ""}},                            // no closing field quote
    {"item 'open", {"", "", "", ""}},
    {"'a' junk 'b'   'c'", {"a", "b", "c", ""}},                 // text between fields ignored
    {"'a'b'c'", {"a", "c", "", ""}},                             // quotes pair from the left
    {"''''", {"", "", "", ""}},
    {"'x''''''y'", {"x'y", "", "", ""}},
    {"'''", {"", "", "", ""}},
    {"", {"", "", "", ""}},
};

TEST(GetQuotedField, TakesFieldsByTheQuoteRules) {
  for (const FieldCase& c : kFieldCases) {
    for (std::size_t n = 0; n < c.fields.size(); ++n) {
      EXPECT_EQ(GetQuotedField(c.line, n), c.fields[n]) << c.line << " field " << n;
    }
  }
}

TEST(ReplaceAll, RepeatsFromTheStartUntilNoneIsLeft) {
  EXPECT_EQ(ReplaceAll("a''''b", "''", "'"), "a'b");
  EXPECT_EQ(ReplaceAll("'''", "''", "'"), "'");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("xaab", "ab", "b"), "xb");  // a new match forms before the last one
  // A replacement holding its search text would never end: one pass instead.
  EXPECT_EQ(ReplaceAll("a-a", "a", "aa"), "aa-aa");
}

TEST(MenuTable, AppendAndClearKeepTheRule) {
  MenuTable table;
  table.Append("a.exe", "1");
  table.Append("b.exe", "2");
  ASSERT_EQ(table.EntryCount, 2u);
  ASSERT_NE(table.Find(1), nullptr);
  EXPECT_EQ(table.Find(1)->Command, "b.exe");
  EXPECT_EQ(table.Find(2), nullptr);

  table.EntryCount = 0;
  table.ClearEntries();
  EXPECT_EQ(table.MenuEntries.size(), 2u);  // elements stay, emptied
  EXPECT_TRUE(table.MenuEntries[0].Command.empty());
  EXPECT_TRUE(table.MenuEntries[1].Arguments.empty());
  EXPECT_EQ(table.Find(0), nullptr);        // but nothing below EntryCount is reachable
}

}  // namespace
}  // namespace zel::menu
