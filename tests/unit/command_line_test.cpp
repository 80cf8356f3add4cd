#include "launch/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel::launch {
namespace {

struct ListCase {
  const char* list;
  char delimiter;
  std::size_t k;
  const char* item;
};

TEST(ListItems, EveryItemEndsWithItsDelimiter) {
  const ListCase cases[] = {
      {"a|b|", '|', 0, "a"},
      {"a|b|", '|', 1, "b"},
      {"a|b|", '|', 2, ""},
      {"a|b", '|', 0, "a"},
      {"a|b", '|', 1, ""},  // text after the last delimiter is not an item
      {"a||c|", '|', 1, ""},
      {"a||c|", '|', 2, "c"},
      {"", '|', 0, ""},
      {"abc", '|', 0, ""},
      {"|", '|', 0, ""},
      {"lib.dll,Proc,1,", ',', 2, "1"},
      {"lib.dll, Proc,", ',', 1, " Proc"},
      {"a|b|", ',', 0, ""},
      {"x|y|z|", '|', 100, ""},
  };
  for (const ListCase& c : cases) {
    EXPECT_EQ(GetListItem(c.list, c.delimiter, c.k), c.item)
        << c.list << " item " << c.k;
  }
}

TEST(ListItems, CountCommasCountsEveryPosition) {
  EXPECT_EQ(CountCommas(""), 0u);
  EXPECT_EQ(CountCommas("abc"), 0u);
  EXPECT_EQ(CountCommas(",a,,b,"), 4u);
}

struct NumberCase {
  const char* text;
  bool isNumber;
  std::int32_t value;
};

TEST(Numbers, AcceptsDecimalAndHexadecimalForms) {
  const NumberCase cases[] = {
      {"12", true, 12},
      {"-5", true, -5},
      {"+7", true, 7},
      {"0", true, 0},
      {"  42", true, 42},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},
      {"$1F", true, 31},
      {"0x10", true, 16},
      {"0X10", true, 16},
      {"x7f", true, 127},
      {"X7F", true, 127},
      {"$aBcD", true, 0xABCD},
      {"0xFFFFFFFF", true, -1},
      {"$80000000", true, INT32_MIN},
      {"0x00000000000001", true, 1},
      {" $10", true, 16},
      {"007", true, 7},
  };
  for (const NumberCase& c : cases) {
    std::int32_t value = 99;
    EXPECT_TRUE(TryStrToInt(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(Numbers, RefusesEverythingElseAndLeavesTheValue) {
  const char* texts[] = {
      "", "   ", "1.5", "10 ", "-$10", "+0x1", "abc", "2147483648", "-2147483649",
      "99999999999999999999", "0x100000000", "$", "x", "0x", "-", "+", "\t5", "5\t", "1e3",
      "0xG", "$-1", "- 5", "1 2", "x 1",
  };
  for (const char* text : texts) {
    std::int32_t value = 99;
    EXPECT_FALSE(TryStrToInt(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 99) << text;
  }
}

TEST(CommandLines, QuoteTheNameAndKeepTheSpace) {
  EXPECT_EQ(BuildCommandLine("notepad.exe", "a.txt"), "\"notepad.exe\" a.txt");
  EXPECT_EQ(BuildCommandLine("notepad.exe", ""), "\"notepad.exe\" ");
  EXPECT_EQ(BuildCommandLine("C:\\Program Files\\x.exe", "\"q\" %TEMP%"),
            "\"C:\\Program Files\\x.exe\" \"q\" %TEMP%");
  EXPECT_EQ(BuildCommandLine("", ""), "\"\" ");
}

TEST(Folders, ScanStartsAtTheNextToLastCharacter) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Tools\\Zelvane.exe", "C:\\Tools\\"},
      {"C:\\Docs", "C:\\"},
      {"C:\\", ""},
      {"C:\\Docs\\", "C:\\"},
      {"\\\\server\\share\\f.txt", "\\\\server\\share\\"},
      {"name.txt", ""},
      {"\\", ""},
      {"", ""},
      {"\\a", "\\"},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(ExtractFolder(path), folder) << path;
}

struct PlaceholderCase {
  const char* name;
  const char* text;
  bool found;
  std::size_t start;
  std::size_t length;
  const char* argument;
  bool closed;
};

TEST(Placeholders, FindTheLeftmostKeywordAndTheFirstCloseAfterIt) {
  const PlaceholderCase cases[] = {
      {"Plain", "%input(C:\\Docs)%", true, 0, 16, "C:\\Docs", true},
      {"Capitals", "a %INPUT(x)% b", true, 2, 10, "x", true},
      {"MixedCase", "%InPuT(y)%", true, 0, 10, "y", true},
      {"CloseBeforeKeywordIgnored", "a)% %input(b)%", true, 4, 10, "b", true},
      {"LeftmostOfTwo", "%input(1)% %input(2)%", true, 0, 10, "1", true},
      {"EmptyArgument", "%input()%", true, 0, 9, "", true},
      {"FirstCloseWins", "%input(a)%b)%", true, 0, 10, "a", true},
      {"UnclosedTakesTheRest", "x %input(C:\\a b", true, 2, 13, "C:\\a b", false},
      {"CloseInsideKeywordDoesNotCount", "%input()", true, 0, 8, ")", false},
      {"NoKeyword", "%inpu(x)%", false, 0, 0, "", true},
      {"Empty", "", false, 0, 0, "", true},
  };
  for (const PlaceholderCase& c : cases) {
    const auto placeholder = FindPlaceholder(c.text);
    ASSERT_EQ(placeholder.has_value(), c.found) << c.name;
    if (!placeholder) continue;
    EXPECT_EQ(placeholder->start, c.start) << c.name;
    EXPECT_EQ(placeholder->length, c.length) << c.name;
    EXPECT_EQ(placeholder->argument, c.argument) << c.name;
    EXPECT_EQ(placeholder->closed, c.closed) << c.name;
  }
}

TEST(Placeholders, NonAsciiLettersAreNotFolded) {
  // Only A to Z are compared without case: a byte such as 0xC9 never matches "i".
  EXPECT_FALSE(FindPlaceholder("%\xC9nput(x)%").has_value());
}

TEST(Placeholders, ReplacementCoversTheWholePlaceholder) {
  const std::pair<const char*, const char*> cases[] = {
      {"/f %input(C:\\Docs)% /q", "/f a.txt /q"},
      {"%input(x)% %input(x)%", "a.txt %input(x)%"},
      {"pre %input(open end", "pre a.txt"},
  };
  for (const auto& [text, replaced] : cases) {
    const auto placeholder = FindPlaceholder(text);
    ASSERT_TRUE(placeholder) << text;
    EXPECT_EQ(ReplacePlaceholder(text, *placeholder, "a.txt"), replaced) << text;
  }
}

std::string Describe(const DllCallPlan& plan) {
  std::string text = plan.dll + "|" + plan.procedure;
  for (const DllArgument& argument : plan.arguments) {
    text += argument.isText ? "|text:" + argument.text : "|int:" + std::to_string(argument.number);
  }
  return text;
}

TEST(DllPlans, ItemsAreTakenExactlyAsWritten) {
  const std::pair<const char*, const char*> cases[] = {
      {"user32.dll,MessageBeep,0,", "user32.dll|MessageBeep|int:0"},
      {"mylib.dll,Proc,", "mylib.dll|Proc"},
      {"mylib.dll,Proc,a,,b,", "mylib.dll|Proc|text:b"},
      {"mylib.dll,Proc,12,-5,$1F,0x10,x7f,",
       "mylib.dll|Proc|int:12|int:-5|int:31|int:16|int:127"},
      {"mylib.dll,Proc,1.5,10 ,-$10,abc,", "mylib.dll|Proc|text:1.5|text:10 |text:-$10|text:abc"},
      {"mylib.dll, Proc,", "mylib.dll| Proc"},
      {"mylib.dll,Proc,a,", "mylib.dll|Proc|text:a"},
      {"mylib.dll,Proc,a,b,,", "mylib.dll|Proc"},  // the last item empty: nothing passed
      {"mylib.dll,Proc,,a,", "mylib.dll|Proc|text:a"},
      {"mylib.dll,Proc,\"q\", %TEMP%,", "mylib.dll|Proc|text:\"q\"|text: %TEMP%"},
      {"mylib.dll,", "mylib.dll|"},
      {"mylib.dll,Proc,1,2", "mylib.dll|Proc|int:1"},  // "2" has no comma after it
      {"", "|"},
  };
  for (const auto& [procedureLine, described] : cases) EXPECT_EQ(Describe(PlanDllCall(procedureLine)), described) << procedureLine;
}

TEST(DllPlans, TextArgumentsEndInThreeZeroBytes) {
  EXPECT_EQ(TextArgumentBytes("ab"), (std::vector<char>{'a', 'b', 0, 0, 0}));
  EXPECT_EQ(TextArgumentBytes(""), (std::vector<char>{0, 0, 0}));
}

}  // namespace
}  // namespace zel::launch
