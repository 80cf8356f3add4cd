// The entries' icon cache under Wine: answers remembered, files looked at again on a worker and
// changes taken in by the next menu, answers bounded, and never a bitmap freed that a menu still
// shows, whatever the cache lets go of.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "icons/icon_cache_win32.h"
#include "tests/win32/support.h"
#include "win/paths_win32.h"

namespace zel::icons {
namespace {

constexpr TextKind kAnsi = TextKind::Ansi;

bool Alive(HBITMAP bitmap) {
  BITMAP info = {};
  return ::GetObjectA(bitmap, sizeof(info), &info) == int{sizeof(info)};
}

// The pixels of a DIB section, as menus take them; none for anything else.
std::vector<std::uint32_t> Pixels(HBITMAP bitmap) {
  DIBSECTION dib = {};
  if (::GetObjectA(bitmap, sizeof(dib), &dib) != int{sizeof(dib)} || !dib.dsBm.bmBits) return {};
  const auto* bits = static_cast<const std::uint32_t*>(dib.dsBm.bmBits);
  return {bits, bits + dib.dsBm.bmWidth * dib.dsBm.bmHeight};
}

std::string SystemProgram(const char* name) {
  return win::PathCall([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); }) + "\\" + name;
}

// One menu's icons for the programs `programs` name, in order, at `size` pixels.
std::vector<HBITMAP> MenuOf(IconCache& cache, const std::vector<std::string>& programs,
                            int size = 16) {
  MenuIcons icons(cache, menu::Host::Tray, nullptr, size);
  std::vector<HBITMAP> bitmaps;
  for (const std::string& program : programs)
    bitmaps.push_back(icons.Bitmap({program, ""}, "", kAnsi));
  return bitmaps;
}

void AwaitCheck(IconCache& cache) {
  EXPECT_TRUE(test::WaitFor([&] { return !cache.Checking(); }));
}

TEST(IconCache, RemembersEachAnswerAndTakesInWhatAWorkerFoundChanged) {
  const test::ScratchFolder folder;
  const std::string tool = folder.Copy(SystemProgram("notepad.exe"), "tool.exe");
  const std::string later = folder.path() + "\\later.exe";
  const std::vector<std::string> programs = {tool, later, tool};
  IconCache cache(0);
  const std::vector<HBITMAP> first = MenuOf(cache, programs);
  ASSERT_TRUE(first[0] && !first[1]);
  EXPECT_EQ(first[2], first[0]) << "one answer for every entry that names the file";
  EXPECT_EQ(cache.Size(), 2u);
  // A menu at 200%: the file's own 32-pixel image (the large icon here), not its small one
  // stretched; the 16-pixel answer is kept beside it.
  HICON large = nullptr;
  ASSERT_EQ(::ExtractIconExA(tool.c_str(), 0, &large, nullptr, 1), 1u);
  const win::UniqueHicon ownedLarge(large);
  const win::UniqueHbitmap drawn = MenuBitmapOf(large, 32);
  const HBITMAP larger = MenuOf(cache, {tool}, 32)[0];
  EXPECT_EQ(Pixels(larger), Pixels(drawn.get()));
  EXPECT_EQ(MenuOf(cache, programs)[0], first[0]);

  AwaitCheck(cache);
  ASSERT_TRUE(::MoveFileA(tool.c_str(), later.c_str()));
  EXPECT_EQ(MenuOf(cache, programs)[0], first[0]) << "a build looks at no file it has an answer for";
  AwaitCheck(cache);  // a worker looks at the answers the menu above made due (at once here)
  const std::vector<HBITMAP> moved = MenuOf(cache, programs);
  EXPECT_TRUE(!moved[0] && moved[1]) << "a file gone and one come, seen after a check";
  const win::UniqueFile file(
      ::CreateFileA(later.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  const FILETIME written = {0x12345678, 0x01D00000};
  ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &written));
  AwaitCheck(cache);
  MenuOf(cache, programs);
  AwaitCheck(cache);
  EXPECT_NE(MenuOf(cache, programs)[1], moved[1]) << "a new bitmap for the changed file";
}

TEST(IconCache, KeepsTheCurrentMenusAnswersAndNeverFreesABitmapAMenuShows) {
  IconCache cache;
  MenuIcons shownMenu(cache, menu::Host::Tray, nullptr, 16);
  const HBITMAP shown = shownMenu.Bitmap({"notepad.exe", ""}, "", kAnsi);
  ASSERT_NE(shown, nullptr);
  const ShownBitmaps held = shownMenu.Shown();
  {
    // More answers than the cache keeps: indexes shell32.dll does not have.
    MenuIcons large(cache, menu::Host::Tray, nullptr, 16);
    for (std::size_t i = 0; i < kAnswersKept + 10; ++i) {
      large.Bitmap({"notepad.exe", ""}, "shell32.dll," + std::to_string(100000 + i), kAnsi);
    }
  }
  EXPECT_EQ(cache.Size(), kAnswersKept + 11) << "the menu just built keeps all of its answers";
  EXPECT_FALSE(cache.Checking()) << "every file just looked at: no worker is woken";
  for (std::uint64_t i = 0; i < kBuildsKept; ++i) MenuOf(cache, {"notepad.exe"});
  EXPECT_EQ(cache.Size(), 1u) << "no recent menu used the others";
  EXPECT_TRUE(Alive(shown)) << "let go of by the cache, still held for its menu";

  // As DllCanUnloadNow clears it after its check, while a menu made since then shows one: once
  // a worker, if one runs, has been asked to end and has ended.
  ASSERT_TRUE(test::WaitFor([&] { return cache.Clear(); }));
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_TRUE(Alive(shown));
}

// Never more than kMostBitmaps bitmaps alive, whoever holds them; and builds, each bounded,
// while the worker gathers what to look at from the answers they change.
TEST(IconCache, StaysWithinItsBoundsWhileTheWorkerLooks) {
  IconCache cache(0);
  const std::wstring file = win::Widen(SystemProgram("notepad.exe"));
  std::uint64_t build = cache.BeginBuild();
  bool due = false;
  long made = 0;
  for (long i = 0; i <= kMostBitmaps; ++i) {  // a new write time: a new bitmap each
    made += cache.Learn(std::to_string(i), {}, {file, std::uint64_t(i) + 1, 16}, 16, build, due) !=
            nullptr;
  }
  EXPECT_EQ(made, kMostBitmaps);
  cache.EndBuild(build, false);
  // Long keys: the worker takes a while to gather them, while builds add and trim answers.
  const std::string key(1000, 'k');
  for (int handed = 0, round = 0; handed < 5; ++round) {
    build = cache.BeginBuild();
    for (int i = 0; i < 100; ++i) cache.Learn(key + std::to_string(round * 100 + i), {}, {}, 16, build, due);
    const bool idle = !cache.Checking();
    cache.EndBuild(build, idle);
    handed += idle;
  }
  AwaitCheck(cache);
  EXPECT_LE(cache.Size(), kAnswersKept + 100);
}

}  // namespace
}  // namespace zel::icons
