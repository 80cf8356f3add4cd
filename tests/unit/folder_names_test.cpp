// What a menu build learns of folders from the files it does not find.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "icons/folder_names.h"

namespace zel::icons {
namespace {

TEST(FolderNames, AnswersOnlyForPlainPaths) {
  for (const wchar_t* plain : {L"C:\\A\\b.exe", L"z:\\Tools 2\\x"})
    EXPECT_TRUE(FolderNames::Plain(plain)) << plain;
  for (const wchar_t* other : {L"C:\\", L"C:a\\b", L"\\\\server\\share\\x", L"C:\\A\\..\\b.exe",
                               L"C:\\A\\.\\b", L"C:\\A\\\\b", L"C:\\A.\\b", L"C:\\A \\b",
                               L"C:\\A\\b.exe:stream", L"C:\\A\\b*", L"C:/A/b", L"C:\\A\\"}) {
    EXPECT_FALSE(FolderNames::Plain(other)) << other;
  }
}

// A file system whose folder C:\Tools holds A and B; C:\Locked cannot be read.
std::vector<std::wstring> g_reads;
bool ReadFolder(const std::wstring& folder, std::vector<std::uint64_t>& keys) {
  g_reads.push_back(folder);
  if (folder != L"C:\\Tools") return false;
  keys = {FolderNames::Key(L"B"), FolderNames::Key(L"A")};
  return true;
}

TEST(FolderNames, ReadsAFolderMissedTwiceAndExcludesWhatItLacks) {
  std::vector<std::wstring>& reads = g_reads;
  FolderNames names(ReadFolder);
  const auto missed = [&](const std::wstring& path, bool folderMissing) {
    std::wstring upper = path;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    names.Missed(path, upper, folderMissing);
  };
  missed(L"C:\\Tools\\x\\x.exe", true);
  EXPECT_TRUE(reads.empty()) << "one miss reads nothing";
  EXPECT_FALSE(names.Excludes(L"C:\\TOOLS\\Y\\Y.EXE"));
  missed(L"C:\\Tools\\y\\y.exe", true);
  ASSERT_EQ(reads, std::vector<std::wstring>{L"C:\\Tools"}) << "the folder above the missing ones";
  EXPECT_TRUE(names.Excludes(L"C:\\TOOLS\\Z\\Z.EXE"));
  EXPECT_TRUE(names.Excludes(L"C:\\TOOLS\\C"));
  EXPECT_FALSE(names.Excludes(L"C:\\TOOLS\\A\\X.EXE")) << "a name it holds is looked for";
  EXPECT_FALSE(names.Excludes(L"C:\\TOOLS\\LONGNA~1\\X.EXE")) << "perhaps a short name";
  EXPECT_FALSE(names.Excludes(L"C:\\TOOLSET\\Z.EXE"));
  EXPECT_FALSE(names.Excludes(L"C:\\TOOLS\\..\\Z.EXE"));

  missed(L"C:\\Locked\\a.exe", false);
  missed(L"C:\\Locked\\b.exe", false);
  missed(L"C:\\Locked\\c.exe", false);
  EXPECT_EQ(reads.size(), 2u) << "a folder that cannot be read is tried once";
  EXPECT_FALSE(names.Excludes(L"C:\\LOCKED\\D.EXE"));
}

}  // namespace
}  // namespace zel::icons
