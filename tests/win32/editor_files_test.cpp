// The editor's file work on the real file system: reading what it can show unchanged, and
// saving through a replace that keeps the old file's attributes and its backup, or nothing.
#include "editor/editor_files_win32.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/win32/support.h"

namespace zel::editor {
namespace {

using test::ReadBytes;

// The names in a folder, to see that nothing is left behind.
std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
  do {
    if (data.cFileName[0] != '.') names.insert(data.cFileName);
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  return names;
}

// Bytes as they are on disk (no text mode: ^Z ends nothing); a folder is refused (the size
// limit is in tests/cases/editor.json).
TEST(LoadMenuFile, ReadsWhatItCanShowUnchangedAndRefusesTheRest) {
  test::ScratchFolder folder;
  const std::string text = "item 'A','a.exe'\n\x1a\xff";
  EXPECT_EQ(LoadMenuFile(folder.Write("text", text)).bytes, text);
  EXPECT_EQ(LoadMenuFile(folder.path() + "\\none\\Menu.txt").state, menu::MenuFileState::Missing);
  EXPECT_EQ(LoadMenuFile(folder.MakeFolder("Menu.txt")).state, menu::MenuFileState::Unreadable);
}

TEST(SaveMenuFile, ReplacesTheFileKeepingItsAttributesAndThePreviousVersionAsBak) {
  test::ScratchFolder folder;
  EXPECT_EQ(SaveMenuFile(folder.path() + "\\Zelvane\\Menu.txt", "first\r\n"), "")
      << "the folder is made";
  EXPECT_EQ(Names(folder.path() + "\\Zelvane"), std::set<std::string>{"Menu.txt"});

  const std::string path = folder.Write("Menu.txt", "old\r\n");
  folder.Write("Menu.txt.bak", "older\r\n");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));  // the user hid it
  EXPECT_EQ(SaveMenuFile(path, "new\r\n"), "");
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  EXPECT_EQ(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN,
            DWORD{FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(ReadBytes(path + ".bak"), "old\r\n");
  EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"Menu.txt", "Menu.txt.bak", "Zelvane"}));
}

// Whatever stops a save says why with the system's words, and leaves the file and the folder
// exactly as they were: no temporary file, no new backup.
TEST(SaveMenuFile, FailureSaysWhyAndChangesNothing) {
  const struct {
    DWORD fileAttributes, backupAttributes;
    bool locked;
    const char* reason;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_NORMAL, false, "read-only"},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, false, ".bak"},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL, true, "(error "},  // opened without sharing
  };
  for (const auto& c : cases) {
    test::ScratchFolder folder;
    const std::string path = folder.Write("Menu.txt", "old\r\n");
    folder.Write("Menu.txt.bak", "bak\r\n");
    ::SetFileAttributesA(path.c_str(), c.fileAttributes);
    ::SetFileAttributesA((path + ".bak").c_str(), c.backupAttributes);
    const win::UniqueFile lock(
        c.locked ? ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                 : INVALID_HANDLE_VALUE);
    EXPECT_EQ(LoadMenuFile(path).why.find("cannot be opened") != std::string::npos, c.locked)
        << c.reason;
    EXPECT_NE(SaveMenuFile(path, "new\r\n").find(c.reason), std::string::npos) << c.reason;
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"Menu.txt", "Menu.txt.bak"}));
    EXPECT_EQ(ReadBytes(path + ".bak") + ReadBytes(path), c.locked ? "bak\r\n" : "bak\r\nold\r\n");
  }
}

}  // namespace
}  // namespace zel::editor
