// The editor's file work on the real file system: reading what it can show unchanged, saving
// through a replace that keeps the old file's attributes and its backup, and the forms of a path.
#include "tools/editor/editor_files_win32.h"

#include <gtest/gtest.h>

#include "tests/win32/support.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

namespace zel::tools::editor {
namespace {

using test::ReadBytes;

// The names in a folder, to see that nothing is left behind.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
  do {
    if (data.cFileName[0] != '.') names.emplace_back(data.cFileName);
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LoadMenuFile, ReadsWhatItCanShowUnchangedAndRefusesTheRest) {
  test::ScratchFolder folder;
  const struct {
    const char* name;
    std::string bytes;
    FileState state;
    const char* why;
  } cases[] = {
      {"text", "item 'A','a.exe'\n\x1a\xff", FileState::Read, ""},
      {"NUL byte", std::string("item 'A'\0,'a.exe'", 17), FileState::Refused, "NUL"},
      {"several megabytes", std::string(3 * 1024 * 1024, 'x'), FileState::Refused, "larger"},
  };
  for (const auto& c : cases) {
    const LoadedFile file = LoadMenuFile(folder.Write(c.name, c.bytes));
    EXPECT_EQ(file.state, c.state) << c.name;
    EXPECT_EQ(file.bytes, c.state == FileState::Read ? c.bytes : "") << c.name;
    EXPECT_NE(file.why.find(c.why), std::string::npos) << c.name << ": " << file.why;
  }
  EXPECT_EQ(LoadMenuFile(folder.path() + "\\none\\Menu.txt").state, FileState::Missing);
  const LoadedFile aFolder = LoadMenuFile(folder.MakeFolder("Menu.txt"));
  EXPECT_EQ(aFolder.state, FileState::Refused);
  EXPECT_NE(aFolder.why.find("folder"), std::string::npos) << aFolder.why;
}

TEST(SaveMenuFile, ReplacesTheFileKeepingItsAttributesAndThePreviousVersionAsBak) {
  test::ScratchFolder folder;
  const std::string created = folder.path() + "\\Zelvane\\Menu.txt";
  EXPECT_EQ(SaveMenuFile(created, "first\r\n"), "") << "the folder is made when missing";
  EXPECT_EQ(Names(folder.path() + "\\Zelvane"), std::vector<std::string>{"Menu.txt"});

  const std::string path = folder.Write("Menu.txt", "old\r\n");
  folder.Write("Menu.txt.bak", "older\r\n");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));  // the user hid it
  EXPECT_EQ(SaveMenuFile(path, "new\r\n"), "");
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  EXPECT_EQ(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD{FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(ReadBytes(path + ".bak"), "old\r\n");
  EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"Menu.txt", "Menu.txt.bak", "Zelvane"}));
}

// Whatever stops a save says why with the system's words, and leaves the file and the folder
// exactly as they were: no temporary file, no new backup.
TEST(SaveMenuFile, FailureSaysWhyAndChangesNothing) {
  const struct {
    const char* name;
    DWORD fileAttributes;
    DWORD backupAttributes;
    bool locked;
    const char* reason;
  } cases[] = {
      {"read-only file", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_NORMAL, false, "read-only"},
      {"read-only backup", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, false, ".bak"},
      {"file opened without sharing", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL, true, "(error "},
  };
  for (const auto& c : cases) {
    test::ScratchFolder folder;
    const std::string path = folder.Write("Menu.txt", "old\r\n");
    folder.Write("Menu.txt.bak", "bak\r\n");
    ::SetFileAttributesA(path.c_str(), c.fileAttributes);
    ::SetFileAttributesA((path + ".bak").c_str(), c.backupAttributes);
    const win::UniqueFile lock(c.locked ? ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                                                        OPEN_EXISTING, 0, nullptr)
                                        : INVALID_HANDLE_VALUE);
    if (c.locked) {
      EXPECT_NE(LoadMenuFile(path).why.find("cannot be opened"), std::string::npos);
    }
    EXPECT_NE(SaveMenuFile(path, "new\r\n").find(c.reason), std::string::npos) << c.name;
    EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"Menu.txt", "Menu.txt.bak"})) << c.name;
    EXPECT_EQ(ReadBytes(path + ".bak"), "bak\r\n") << c.name;
    if (!c.locked) {
      EXPECT_EQ(ReadBytes(path), "old\r\n") << c.name;
    }
  }
}

// The long form first, whichever form is given; a name outside the code page only in the forms
// that lead to it.
TEST(InspectObject, OffersTheFormsThatLeadToTheObject) {
  test::ScratchFolder folder;
  Win32ObjectSystem system;
  const std::string file = folder.Write("some document.text", "x");
  const std::string shortForm = win::ShortPath(file);
  ASSERT_NE(shortForm, file);
  for (const std::string& given : {shortForm, file}) {
    const ObjectInfo info = InspectObject(given, system);
    EXPECT_EQ(info.paths, (std::vector<std::string>{file, shortForm})) << given;
    EXPECT_FALSE(info.folder);
  }
  EXPECT_TRUE(InspectObject(folder.path(), system).folder);
  EXPECT_FALSE(InspectObject(folder.path() + "\\missing.txt", system).exists());

  const std::wstring foreign = win::Widen(folder.path()) + L"\\\x0416ournal.exe";
  ::CloseHandle(::CreateFileW(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  const ObjectInfo info = InspectObject(win::AnsiPathFor(foreign).value(), system);
  ASSERT_TRUE(info.exists());
  for (const std::string& form : info.paths) {
    EXPECT_EQ(form.find('?'), std::string::npos) << form;
    EXPECT_EQ(system.Find(form), ObjectSystem::Object::File) << form;
  }
}

}  // namespace
}  // namespace zel::tools::editor
