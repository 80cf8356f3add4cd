#include "launch/run_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fake_system.h"

namespace zel::launch {
namespace {

// The prompt writes into the system's log, so prompts and actions read in one order.
class Prompt final : public PromptView {
 public:
  explicit Prompt(std::vector<std::string>& log) : log_(log) {}
  void ShowPrompt(int parameterNumber) override {
    log_.push_back("prompt " + std::to_string(parameterNumber));
  }

 private:
  std::vector<std::string>& log_;
};

struct Tray {
  Tray() { system.everyFileExists = true; }
  menu::MenuTable table;
  TrayPromptState state;
  test::FakeSystem system;
  Prompt prompt{system.log};
  Launcher launcher{system};
  std::vector<std::string>& log = system.log;

  // The window procedure's part: a chosen entry resets the number and runs.
  void Choose(std::size_t index) {
    state.CurrentEntry = index;
    state.ParameterNumber = 1;
    RunEntry(table, state, prompt, launcher);
  }
  void Ok(const std::string& value) { AcceptPromptValue(table, state, value, prompt, launcher); }
};

using Log = std::vector<std::string>;

TEST(TrayDispatch, EntriesWithoutPlaceholdersRunAtOnce) {
  Tray tray;
  tray.table.Append("a.exe|b.exe", "/x");
  tray.table.Append("DllProc", "user32.dll,MessageBeep,0");
  tray.table.Append("dllproc", "x");
  tray.table.Append("Add", "");
  tray.table.Append("", "");
  for (std::size_t i = 0; i < 5; ++i) tray.Choose(i);
  EXPECT_EQ(tray.log, (Log{"start \"a.exe\" /x", "start \"b.exe\" /x",
                           "call C:\\Tools\\user32.dll MessageBeep 1",
                           "start \"dllproc\" x",
                           "start \"Add\" "}));  // Add is an ordinary program in the tray
}

TEST(TrayDispatch, OnePlaceholderPromptsThenRunsWithTheValue) {
  Tray tray;
  tray.table.Append("notepad.exe", "%input(C:\\Docs)%");
  tray.Choose(0);
  EXPECT_EQ(tray.log, (Log{"prompt 1"}));
  EXPECT_EQ(tray.state.PlaceholderArgument, "C:\\Docs");
  tray.Ok("a.txt");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "start \"notepad.exe\" a.txt"}));
  EXPECT_EQ(tray.state.ParameterNumber, 2);
}

TEST(TrayDispatch, PlaceholdersAreAskedLeftToRightEvenWithTheSameArgument) {
  Tray tray;
  tray.table.Append("x.exe", "%input(x)% and %INPUT(x)%");
  tray.Choose(0);
  tray.Ok("first");
  tray.Ok("second");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "prompt 2", "start \"x.exe\" first and second"}));
}

TEST(TrayDispatch, ValuesKeepEnvironmentReferencesAndNestedPlaceholdersAreAsked) {
  Tray tray;
  tray.table.Append("x.exe", "%input(a)%");
  tray.Choose(0);
  tray.Ok("%TEMP% %input(b)%");
  EXPECT_EQ(tray.state.PlaceholderArgument, "b");
  tray.Ok("v");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "prompt 2", "start \"x.exe\" %TEMP% v"}));
}

TEST(TrayDispatch, DllProcedurePromptsFirst) {
  Tray tray;
  tray.table.Append("DllProc", "my.dll,Proc,%input(n)%");
  tray.Choose(0);
  tray.Ok("12");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "call C:\\Tools\\my.dll Proc 1"}));
}

TEST(TrayDispatch, UnclosedPlaceholderIsAskedOnceAndReplacesTheRest) {
  Tray tray;
  tray.table.Append("x.exe", "/a %input(C:\\Docs /b");
  tray.Choose(0);
  EXPECT_EQ(tray.state.PlaceholderArgument, "C:\\Docs /b");
  tray.Ok("v");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "start \"x.exe\" /a v"}));
}

TEST(TrayDispatch, PlaceholdersInTheCommandAreNeverAskedFor) {
  Tray tray;
  tray.table.Append("%input(x)%.exe", "");
  tray.Choose(0);
  EXPECT_EQ(tray.log, (Log{"start \"%input(x)%.exe\" "}));
}

TEST(TrayDispatch, IndexBeyondTheTableDoesNothing) {
  Tray tray;
  tray.table.Append("x.exe", "%input(a)%");
  tray.Choose(1);
  tray.Choose(static_cast<std::size_t>(-1));
  EXPECT_TRUE(tray.log.empty());
}

TEST(StaleAnswers, TableRebuiltSmallerWhilePromptOpen) {
  Tray tray;
  tray.table.Append("a.exe", "");
  tray.table.Append("b.exe", "%input(a)%");
  tray.Choose(1);
  tray.table = menu::MenuTable{};
  tray.table.Append("a.exe", "");
  tray.Ok("v");
  EXPECT_EQ(tray.log, (Log{"prompt 1"}));
  EXPECT_EQ(tray.state.ParameterNumber, 1);
}

TEST(StaleAnswers, EntryNoLongerHoldsTheAskedPlaceholder) {
  Tray tray;
  tray.table.Append("a.exe", "%input(a)%");
  tray.Choose(0);
  tray.table.Find(0)->Arguments = "changed in the file";
  tray.Ok("v");
  EXPECT_EQ(tray.log, (Log{"prompt 1"}));
  EXPECT_EQ(tray.table.Find(0)->Arguments, "changed in the file");
}

TEST(StaleAnswers, RebuildDroppedEarlierValues) {
  Tray tray;
  tray.table.Append("a.exe", "%input(a)% %input(b)%");
  tray.Choose(0);
  tray.Ok("1");
  // The menu was popped up again: the entry is back to its text in the file.
  tray.table.Find(0)->Arguments = "%input(a)% %input(b)%";
  tray.Ok("2");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "prompt 2"}));
  EXPECT_EQ(tray.table.Find(0)->Arguments, "%input(a)% %input(b)%");
}

TEST(StaleAnswers, AnotherEntryChosenTakesOverThePrompt) {
  Tray tray;
  tray.table.Append("a.exe", "%input(a)%");
  tray.table.Append("b.exe", "%input(b)% %input(c)%");
  tray.Choose(0);
  tray.Choose(1);
  tray.Ok("1");
  tray.Ok("2");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "prompt 1", "prompt 2", "start \"b.exe\" 1 2"}));
  EXPECT_EQ(tray.table.Find(0)->Arguments, "%input(a)%");
}

TEST(StaleAnswers, EntryThatRanAtOnceIgnoresAnOldPrompt) {
  Tray tray;
  tray.table.Append("a.exe", "%input(a)%");
  tray.table.Append("b.exe", "plain");
  tray.Choose(0);
  tray.Choose(1);
  tray.Ok("v");
  EXPECT_EQ(tray.log, (Log{"prompt 1", "start \"b.exe\" plain"}));
}

}  // namespace
}  // namespace zel::launch
