// The real HMENU side of the menu build, and the menu file's place on a real system.
#include "menu/menu_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "win/unique_handle_win32.h"
#include "tests/unit/fake_files.h"
#include "tests/win32/temp_folder_win32.h"

namespace zel::menu {
namespace {

using test::TempFolder;
const char* const kExample = test::kExampleMenu;

struct Builds {
  std::vector<MenuNode> real;
  std::vector<MenuNode> recorded;
  MenuTable realTable;
  BuildResult result;
};

Builds BuildBoth(const BuildRequest& request) {
  Builds builds;
  win::UniqueHmenu root(::CreatePopupMenu());
  builds.result = BuildMenu(root.get(), request, builds.realTable);
  builds.real = ReadMenuTree(root.get());

  Win32MenuFileAccess files;
  MenuTreeSink sink;
  MenuTable table;
  BuildMenu(request, files, sink, sink.Root(), table);
  builds.recorded = sink.Tree();
  return builds;
}

TEST(HmenuBuild, RealMenusMatchTheRecordedBuild) {
  TempFolder folder;
  const std::string files[] = {
      folder.Write("example.txt", kExample),
      folder.Write("lf only.txt", "item 'A','a.exe'\nitem 'B','b.exe'\n"),
      folder.Write("traps.txt",
                   "item 'Sepia','s'\r\ncsub 'C'\r\nitem 'Send','x'\r\nitem 'After','a'\r\n"
                   "end\r\nend\r\nsub 'Deep'\r\nsub 'Deeper'\r\nsub ''\r\nitem 'Leaf','l'\r\n"),
      folder.Write("empty.txt", ""),
  };
  for (const std::string& path : files) {
    for (const char* selected : {"", "C:\\Pics\\cat.jpg", "C:\\notes.txt"}) {
      BuildRequest request;
      request.path = path;
      request.host = *selected ? Host::Shell : Host::Tray;
      request.selectedPath = selected;
      request.idCmdFirst = 7000;
      const Builds builds = BuildBoth(request);
      EXPECT_EQ(builds.real, builds.recorded) << path << " / " << selected;
      EXPECT_EQ(builds.result.file, MenuFileState::Read);
    }
  }
}

TEST(HmenuBuild, ExampleFileInTheTrayForm) {
  TempFolder folder;
  BuildRequest request;
  request.path = folder.Write("Menu.txt", kExample);
  const Builds builds = BuildBoth(request);
  ASSERT_EQ(builds.real.size(), 5u) << Describe(builds.real);
  EXPECT_EQ(builds.real[0].caption, "Notepad");
  EXPECT_EQ(builds.real[0].id, 1033u);
  EXPECT_EQ(builds.real[2].kind, MenuNode::Kind::Separator);
  EXPECT_EQ(builds.real[4].children[0].caption, "Bob's tool");
  EXPECT_EQ(builds.real[4].children[0].id, 1036u);
  EXPECT_EQ(builds.realTable.EntryCount, 4u);
  EXPECT_EQ(builds.realTable.Find(2)->Arguments, "C:\\Windows");
}

TEST(MenuFileLocation, ResolvesUnderTheApplicationDataFolder) {
  const char* appData = std::getenv("APPDATA");
  ASSERT_NE(appData, nullptr);
  const std::string path = GetMenuFilePath();
  EXPECT_EQ(path, std::string(appData) + "\\Zelvane\\Menu.txt");

  // The build with no path given reads exactly that file.
  const std::string folder = std::string(appData) + "\\Zelvane";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const std::string saved = path + ".saved-by-test";
  const bool hadOne = ::MoveFileA(path.c_str(), saved.c_str()) != 0;
  std::ofstream(path, std::ios::binary) << "item 'From AppData','x.exe'";
  win::UniqueHmenu root(::CreatePopupMenu());
  MenuTable table;
  const BuildResult result = BuildMenu(root.get(), BuildRequest{}, table);
  ::DeleteFileA(path.c_str());
  if (hadOne) ::MoveFileA(saved.c_str(), path.c_str());

  EXPECT_EQ(result.file, MenuFileState::Read);
  const auto tree = ReadMenuTree(root.get());
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].caption, "From AppData");
}

TEST(MenuFileFailures, MissingFolderAndLockedFiles) {
  TempFolder folder;
  const std::string missing = folder.path() + "\\none.txt";
  const std::string asFolder = folder.path() + "\\Menu.txt";
  ASSERT_TRUE(::CreateDirectoryA(asFolder.c_str(), nullptr));
  const std::string locked = folder.Write("locked.txt", "item 'A','a'");
  win::UniqueFile lock(::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr));
  ASSERT_TRUE(lock);

  EXPECT_FALSE(MenuFileExists(missing));
  EXPECT_TRUE(MenuFileExists(asFolder));  // any file-system object passes the existence test

  struct Case {
    std::string path;
    MenuFileState state;
    const char* item;
  };
  const Case cases[] = {
      {missing, MenuFileState::Missing, "menu.txt not found"},
      {asFolder, MenuFileState::Unreadable, "menu.txt could not be read"},
      {locked, MenuFileState::Unreadable, "menu.txt could not be read"},
  };
  for (const Case& c : cases) {
    for (Host host : {Host::Tray, Host::Shell}) {
      BuildRequest request;
      request.host = host;
      request.path = c.path;
      const Builds builds = BuildBoth(request);
      EXPECT_EQ(builds.result.file, c.state) << c.path;
      ASSERT_EQ(builds.real.size(), 1u) << c.path;
      EXPECT_EQ(builds.real[0].caption, c.item);
      EXPECT_EQ(builds.real[0].id, 0u);
      EXPECT_EQ(builds.realTable.EntryCount, 0u);
      EXPECT_EQ(builds.result.addedCount, 0u);
    }
  }
}

}  // namespace
}  // namespace zel::menu
