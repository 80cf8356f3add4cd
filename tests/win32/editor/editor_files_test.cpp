// The editor's file work against the real file system: safe saving, refused files, and the
// forms of an object's path.
#include "tools/editor/editor_files_win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace zel::tools::editor {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A scratch folder with a blank in its name, emptied (one level deep) at the end.
class Folder {
 public:
  Folder() {
    char base[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    path_ = std::string(base) + "zel editor " + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(++counter);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() { Remove(path_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  // The names in a folder.
  static std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const std::string name = data.cFileName;
      if (name != "." && name != "..") names.insert(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
  }

 private:
  static void Remove(const std::string& folder) {
    for (const std::string& name : Names(folder)) {
      const std::string full = folder + "\\" + name;
      ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileA(full.c_str())) Remove(full);
    }
    ::RemoveDirectoryA(folder.c_str());
  }

  std::string path_;
};

TEST(SaveMenuFile, CreatesTheMissingFolderAndKeepsNoBackupOfNothing) {
  Folder folder;
  const std::string path = folder / "Zelvane" + "\\Menu.txt";
  EXPECT_EQ(SaveMenuFile(path, "item 'A','a.exe'\r\n"), "");
  EXPECT_EQ(Read(path), "item 'A','a.exe'\r\n");
  EXPECT_EQ(Folder::Names(folder / "Zelvane"), std::set<std::string>{"Menu.txt"});
}

TEST(SaveMenuFile, ReplacesTheFileKeepingItsAttributesAndThePreviousVersionAsBak) {
  Folder folder;
  const std::string path = folder / "Menu.txt";
  Write(path, "old\r\n");
  Write(path + ".bak", "older\r\n");
  // A menu file the user hid stays hidden.
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(SaveMenuFile(path, "new\r\n"), "");
  EXPECT_EQ(Read(path), "new\r\n");
  EXPECT_EQ(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD{FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(Read(path + ".bak"), "old\r\n");
  EXPECT_EQ(Folder::Names(folder.path()), (std::set<std::string>{"Menu.txt", "Menu.txt.bak"}));
}

TEST(SaveMenuFile, FailureSaysWhyAndLeavesTheFileAndNoTemporaryFile) {
  const struct {
    const char* name;
    void (*prepare)(const std::string& path);
    const char* reason;
  } cases[] = {
      {"read-only file",
       [](const std::string& path) {
         ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
       },
       "read-only"},
      {"read-only backup",
       [](const std::string& path) {
         Write(path + ".bak", "bak\r\n");
         ::SetFileAttributesA((path + ".bak").c_str(), FILE_ATTRIBUTE_READONLY);
       },
       ".bak"},
  };
  for (const auto& c : cases) {
    Folder folder;
    const std::string path = folder / "Menu.txt";
    Write(path, "old\r\n");
    c.prepare(path);
    const std::set<std::string> before = Folder::Names(folder.path());
    const std::string error = SaveMenuFile(path, "new\r\n");
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(Read(path), "old\r\n") << c.name;
    EXPECT_EQ(Folder::Names(folder.path()), before) << c.name;
  }
}

TEST(MenuFileInUse, ReadingAndReplacingAFileOpenedWithoutSharingFailWithTheSystemsWords) {
  Folder folder;
  const std::string path = folder / "Menu.txt";
  Write(path, "old\r\n");
  const HANDLE locked = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  const LoadedFile file = LoadMenuFile(path);
  EXPECT_EQ(file.state, FileState::Refused);
  EXPECT_NE(file.why.find("cannot be opened"), std::string::npos) << file.why;
  const std::string error = SaveMenuFile(path, "new\r\n");
  EXPECT_NE(error.find("(error "), std::string::npos) << error;
  ::CloseHandle(locked);
  EXPECT_EQ(Read(path), "old\r\n");
  const std::set<std::string> names = Folder::Names(folder.path());
  EXPECT_EQ(names.count("Menu.txt"), 1u);
  for (const std::string& name : names) {
    EXPECT_TRUE(name == "Menu.txt" || name == "Menu.txt.bak") << "left behind: " << name;
  }
}

TEST(SaveMenuFile, FolderInTheFilesPlaceIsReported) {
  Folder folder;
  const std::string path = folder / "Menu.txt";
  ::CreateDirectoryA(path.c_str(), nullptr);
  EXPECT_NE(SaveMenuFile(path, "x").find("folder"), std::string::npos);
  EXPECT_EQ(Folder::Names(folder.path()), std::set<std::string>{"Menu.txt"});
}

TEST(LoadMenuFile, ReadsTextAndRefusesWhatItCannotShowUnchanged) {
  const struct {
    const char* name;
    std::string bytes;
    FileState state;
    const char* why;
  } cases[] = {
      {"text", "item 'A','a.exe'\n\x1a\xff", FileState::Read, ""},
      {"empty", "", FileState::Read, ""},
      {"NUL byte", std::string("item 'A'\0,'a.exe'", 17), FileState::Refused, "NUL"},
      {"several megabytes", std::string(3 * 1024 * 1024, 'x'), FileState::Refused, "larger"},
  };
  for (const auto& c : cases) {
    Folder folder;
    Write(folder / "Menu.txt", c.bytes);
    const LoadedFile file = LoadMenuFile(folder / "Menu.txt");
    EXPECT_EQ(file.state, c.state) << c.name;
    if (c.state == FileState::Read) {
      EXPECT_EQ(file.bytes, c.bytes) << c.name;
    }
    EXPECT_NE(file.why.find(c.why), std::string::npos) << c.name << ": " << file.why;
  }
}

TEST(LoadMenuFile, MissingFileOrFolderIsMissingAndAFolderIsRefused) {
  Folder folder;
  EXPECT_EQ(LoadMenuFile(folder / "Menu.txt").state, FileState::Missing);
  EXPECT_EQ(LoadMenuFile(folder / "no folder\\Menu.txt").state, FileState::Missing);
  ::CreateDirectoryA((folder / "Menu.txt").c_str(), nullptr);
  const LoadedFile file = LoadMenuFile(folder / "Menu.txt");
  EXPECT_EQ(file.state, FileState::Refused);
  EXPECT_NE(file.why.find("folder"), std::string::npos) << file.why;
}

TEST(InspectObject, LongFormFirstWhicheverFormIsGiven) {
  Win32ObjectSystem system;
  Folder folder;
  ::CreateDirectoryA((folder / "Long Folder Name").c_str(), nullptr);
  const std::string file = folder / "Long Folder Name\\some document.text";
  Write(file, "x");
  char shortForm[MAX_PATH] = {};
  ::GetShortPathNameA(file.c_str(), shortForm, MAX_PATH);
  char longForm[MAX_PATH] = {};
  ::GetLongPathNameA(file.c_str(), longForm, MAX_PATH);
  ASSERT_NE(std::string(shortForm), std::string(longForm));

  for (const std::string& given : {std::string(shortForm), std::string(longForm)}) {
    const ObjectInfo info = InspectObject(given, system);
    EXPECT_TRUE(info.exists()) << given;
    EXPECT_FALSE(info.folder) << given;
    ASSERT_EQ(info.paths.size(), 2u) << given;
    EXPECT_EQ(info.paths[0], longForm) << given;
    EXPECT_EQ(info.paths[1], shortForm) << given;
  }
  const ObjectInfo folderInfo = InspectObject(folder / "Long Folder Name", system);
  EXPECT_TRUE(folderInfo.folder);
  EXPECT_FALSE(InspectObject(folder / "missing.txt", system).exists());
  EXPECT_FALSE(InspectObject("", system).exists());
}

TEST(InspectObject, NameOutsideTheCodePageIsOfferedOnlyInFormsThatLeadToIt) {
  Win32ObjectSystem system;
  Folder folder;
  // A Cyrillic letter: no ANSI code page of the Latin script has it.
  const std::wstring wide = std::wstring(folder.path().begin(), folder.path().end()) +
                            L"\\\x0416ournal.exe";
  const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);
  wchar_t shortWide[MAX_PATH] = {};
  ::GetShortPathNameW(wide.c_str(), shortWide, MAX_PATH);
  char shortForm[MAX_PATH] = {};
  ::WideCharToMultiByte(CP_ACP, 0, shortWide, -1, shortForm, MAX_PATH, nullptr, nullptr);

  const ObjectInfo info = InspectObject(shortForm, system);
  EXPECT_TRUE(info.exists());
  ASSERT_FALSE(info.paths.empty());
  for (const std::string& form : info.paths) {
    EXPECT_EQ(form.find('?'), std::string::npos) << form;
    EXPECT_NE(::GetFileAttributesA(form.c_str()), INVALID_FILE_ATTRIBUTES) << form;
  }
}

}  // namespace
}  // namespace zel::tools::editor
