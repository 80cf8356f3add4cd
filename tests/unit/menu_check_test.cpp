#include "menu/menu_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel::menu {
namespace {

std::vector<std::string> Check(const std::string& text) {
  MemorySource source(text);
  std::vector<std::string> lines;
  for (const Finding& finding : CheckMenu(source)) lines.push_back(FormatFinding(finding));
  return lines;
}

// True when exactly one finding names `line` and holds `part`.
::testing::AssertionResult HasFinding(const std::vector<std::string>& findings, int line,
                                      const std::string& part) {
  const std::string prefix = std::to_string(line) + ": warning: ";
  int hits = 0;
  for (const std::string& f : findings) {
    if (f.rfind(prefix, 0) == 0 && f.find(part) != std::string::npos) ++hits;
  }
  if (hits == 1) return ::testing::AssertionSuccess();
  std::string all;
  for (const std::string& f : findings) all += "\n  " + f;
  return ::testing::AssertionFailure() << hits << " findings for line " << line << " with '"
                                       << part << "' among:" << all;
}

TEST(CheckMenu, CleanFileHasNoFindings) {
  const char* clean =
      "// Personal tools\r\n"
      "item 'Notepad','notepad.exe'\r\n"
      "titem 'Calculator','calc.exe'\r\n"
      "citem 'Word count','wordcount.exe','/quiet','txt,log'\r\n"
      "\r\n"
      "sep\r\n"
      "sub 'Folders'\r\n"
      "item 'Windows folder','explorer.exe','C:\\Windows'\r\n"
      "csub 'Images','bmp,jpg,.gz'\r\n"
      "item 'Rotate','rotate.exe','-r 90 %input(C:\\)%'\r\n"
      "cend\r\n"
      "end\r\n"
      "item 'Bob''s tool','tool.exe'\r\n"
      "Add\r\n";
  EXPECT_EQ(Check(clean), std::vector<std::string>{});
}

TEST(CheckMenu, ReportsEachTrapOnItsLine) {
  const std::string text =
      "item 'Site','browser.exe','http://example.org'\r\n"     // 1 comment trap
      "item 'Sepia','s.exe'\r\n"                               // 2 separator trap
      "citem 'Send','s.exe'\r\n"                               // 3 end in a shell-only entry
      "titem 'Subtitles','s.exe'\r\n"                          // 4 sub in a tray-only entry
      "item 'A','x.exe','','y'\r\n"                            // 5 vanishing field
      "citem 'W','w.exe','-','TXT,jpeg,a b,'\r\n"              // 6 four list problems
      "end\r\n"                                                // 7 end at root
      "add\r\n"                                                // 8 not the Add line
      "item 'X'\r\n"                                           // 9 no command
      "item 'Open','x.exe','/a\r\n"                            // 10 unclosed quote
      "sub 'Never closed'\r\n"                                 // 11
      "hello\r\n"                                              // 12 ignored line
      "item 'P','p.exe','%input(C:\\'\r\n";                    // 13 placeholder never closed
  const auto findings = Check(text);
  EXPECT_TRUE(HasFinding(findings, 1, "comment"));
  EXPECT_TRUE(HasFinding(findings, 2, "separator"));
  EXPECT_TRUE(HasFinding(findings, 3, "closes a submenu"));
  EXPECT_TRUE(HasFinding(findings, 4, "opens a submenu"));
  EXPECT_TRUE(HasFinding(findings, 5, "empty field"));
  EXPECT_TRUE(HasFinding(findings, 6, "'TXT' has capitals"));
  EXPECT_TRUE(HasFinding(findings, 6, "'jpeg' is not three characters"));
  EXPECT_TRUE(HasFinding(findings, 6, "'a b' holds a blank"));
  EXPECT_TRUE(HasFinding(findings, 6, "empty element"));
  EXPECT_TRUE(HasFinding(findings, 7, "no submenu open"));
  EXPECT_TRUE(HasFinding(findings, 8, "exactly \"Add\""));
  EXPECT_TRUE(HasFinding(findings, 9, "no command"));
  EXPECT_TRUE(HasFinding(findings, 10, "closing quote"));
  EXPECT_TRUE(HasFinding(findings, 11, "never closed"));
  EXPECT_TRUE(HasFinding(findings, 12, "ignored"));
  EXPECT_TRUE(HasFinding(findings, 13, "%input("));
  EXPECT_EQ(findings.size(), 16u);
}

TEST(CheckMenu, LfOnlyFileIsReportedOnce) {
  const auto findings = Check("item 'A','a.exe'\nitem 'B','b.exe'\n");
  EXPECT_TRUE(HasFinding(findings, 1, "LF line ends"));
}

TEST(CheckMenu, EntryInsideASkippableSubmenuWithEndInItsCaption) {
  // A plain entry is safe at top level, but inside a tray-only submenu the shell skips, its
  // "end" closes the skip.
  EXPECT_EQ(Check("item 'Send','s.exe'"), std::vector<std::string>{});
  const auto findings = Check("tsub 'T'\r\nitem 'Send','s.exe'\r\ntend");
  EXPECT_TRUE(HasFinding(findings, 2, "closes a submenu"));
}

TEST(CheckMenu, BytesAfterCtrlZAndByteOrderMark) {
  const auto findings = Check("\xEF\xBB\xBFitem 'A','a'\r\n\x1aitem 'B','b'");
  EXPECT_TRUE(HasFinding(findings, 1, "byte-order mark"));
  EXPECT_TRUE(HasFinding(findings, 0, "Ctrl-Z"));
}

TEST(CheckMenu, CapitalisedExtensionBesideItsLowerCaseFormIsDeliberate) {
  const auto findings = Check(
      "citem 'View','v.exe','%s','jpg,JPG'\r\n"    // 1 both spellings: fine
      "citem 'View','v.exe','%s','Jpg,png'\r\n");  // 2 capitals alone: a trap
  EXPECT_EQ(findings.size(), 1u);
  EXPECT_TRUE(HasFinding(findings, 2, "'Jpg' has capitals"));
}

}  // namespace
}  // namespace zel::menu
