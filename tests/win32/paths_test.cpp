// A module in a folder whose name the ANSI code page cannot hold finds its folder, and so what
// was shipped beside it (Editor.exe, zelshell.dll): the "A" calls would name it with a "?".
#include "win/paths_win32.h"

#include <gtest/gtest.h>

#include "tests/win32/support.h"
#include "win/code_page_win32.h"

namespace zel::win {
namespace {

TEST(ModuleFolder, NamesAFolderOutsideTheCodePageByItsShortForm) {
  test::ScratchFolder scratch;
  const std::wstring folder = Widen(scratch.path()) + L"\\Zelvane \u2603";
  const std::wstring dll = folder + L"\\zelshell.dll";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(::CopyFileW(Widen(test::ProcLog::DllPath()).c_str(), dll.c_str(), TRUE));
  const UniqueHmodule module(::LoadLibraryW(dll.c_str()));
  ASSERT_TRUE(module);
  EXPECT_EQ(GetModulePathW(module.get()), dll) << "the real name, for the Run value";
  const std::string found = ModuleFolder(module.get());
  EXPECT_EQ(found, AnsiPathFor(folder).value() + "\\");
  EXPECT_NE(::GetFileAttributesA((found + "zelshell.dll").c_str()), INVALID_FILE_ATTRIBUTES)
      << found;
}

// A program reading its command line in ANSI gets it through the code page's best fit, where a
// fullwidth quote and backslash are ASCII ones; a DLL procedure's text gets "?" instead.
TEST(CodePage, BestFitLookAlikesOfAsciiAreSeenAndNeverHandedOn) {
  const std::string name =
      "x\xEF\xBC\x82 -o C:\xEF\xBC\xBC"
      "evil \xE2\x98\x83.txt";
  EXPECT_EQ(AnsiReading(name, TextKind::Utf8), "x\" -o C:\\evil \xE2\x98\x83.txt")
      << "the snowman has no form: it stays";
  EXPECT_EQ(AnsiReading(name, TextKind::Ansi), name);
  EXPECT_EQ(ToAnsiText(name, TextKind::Utf8), "x? -o C:?evil ?.txt");
  // A lone surrogate with no short name has no UTF-8 form: U+FFFD would name another file.
  EXPECT_EQ(Utf8PathFor(L"C:\\gone\\a\xD800.txt"), std::nullopt);
  EXPECT_EQ(Utf8PathFor(L"C:\\gone\\\u0416.txt"), "C:\\gone\\\xD0\x96.txt");
}

}  // namespace
}  // namespace zel::win
