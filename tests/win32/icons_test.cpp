// The entries' icon cache under Wine: bounded, newest icons let in, and never a bitmap freed
// that a menu still shows, whatever the cache lets go of.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "icons/icon_cache_win32.h"
#include "tests/win32/support.h"
#include "win/paths_win32.h"

namespace zel::icons {
namespace {

constexpr menu::TextKind kAnsi = menu::TextKind::Ansi;

bool Alive(HBITMAP bitmap) {
  BITMAP info = {};
  return ::GetObjectA(bitmap, sizeof(info), &info) == int{sizeof(info)};
}

TEST(IconCache, LetsNewIconsInAndNeverFreesOneAMenuShows) {
  const test::ScratchFolder folder;
  const std::string tool = folder.Copy(
      win::PathCall([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); }) + "\\notepad.exe",
      "tool.exe");
  IconCache cache;
  const win::UniqueFile file(
      ::CreateFileA(tool.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  for (DWORD day = 1; day <= 3; ++day) {
    const FILETIME written = {0, 0x01D00000 + day};
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &written));
    EXPECT_TRUE(cache.Bitmap(tool, 0, kAnsi));
  }
  EXPECT_EQ(cache.Size(), 1u) << "a changed file's icon in place of its older one";

  MenuIcons shownMenu(cache, menu::Host::Tray, nullptr);
  const HBITMAP shown = shownMenu.Bitmap({"notepad.exe", ""}, "", kAnsi);
  ASSERT_NE(shown, nullptr);
  {
    // More icons than the cache keeps: indexes shell32.dll does not have.
    MenuIcons later(cache, menu::Host::Tray, nullptr);
    for (std::size_t i = 0; i < kIconCacheCapacity + 10; ++i) {
      later.Bitmap({"notepad.exe", ""}, "shell32.dll," + std::to_string(100000 + i), kAnsi);
    }
  }
  EXPECT_EQ(cache.Size(), kIconCacheCapacity);
  EXPECT_TRUE(Alive(shown)) << "let go of by the cache, still held for its menu";
  MenuIcons next(cache, menu::Host::Tray, nullptr);
  EXPECT_NE(next.Bitmap({"notepad.exe", ""}, "shell32.dll,3", kAnsi), nullptr) << "a new icon";

  // As DllCanUnloadNow clears it after its check, while a menu made since then shows one.
  cache.Clear();
  EXPECT_TRUE(Alive(shown));
}

}  // namespace
}  // namespace zel::icons
