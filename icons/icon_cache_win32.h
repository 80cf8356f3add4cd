// Entries' icons as menu bitmaps: each entry's file found and extracted once, remembered, and
// looked at again on a worker thread, never while a menu is built.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "icons/folder_names.h"
#include "launch/icon_choice.h"
#include "launch/launch_win32.h"
#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"

namespace zel::icons {

// How old the answers a menu used may be before a worker looks at their files again, after the
// menu is built: a menu opened more than this after one that found a file changed, gone or new
// shows it so.
inline constexpr ULONGLONG kRecheckMilliseconds = 1000;
// How long after a build the worker starts looking: the menu is shown first.
inline constexpr DWORD kCheckDelayMilliseconds = 300;
// How long the worker waits for the next check before it ends.
inline constexpr DWORD kWorkerIdleMilliseconds = 60000;
// Answers kept beyond those of the last kBuildsKept builds: a file of more distinct entries lets
// go of the ones no recent menu used. The current menu's answers always stay.
inline constexpr std::size_t kAnswersKept = 4096;
inline constexpr std::uint64_t kBuildsKept = 8;
// Bitmaps alive in the process at most: GDI objects are a per-process quota (10,000 by default)
// that Explorer shares with every extension in it. Entries beyond it show no icon, and so do
// new ones while the process holds more than kBusyProcessGdiObjects of any kind.
inline constexpr long kMostBitmaps = 1000;
inline constexpr DWORD kBusyProcessGdiObjects = 7500;

// A bitmap shared by the cache and the menus that show it (a menu item's hbmpItem is not the
// menu's): deleted when the last of them lets go, so neither an eviction nor a Clear can take
// one from a menu on the screen, whichever thread does it.
using SharedBitmap = std::shared_ptr<std::remove_pointer_t<HBITMAP>>;
// The bitmaps of one menu, held by the menu's owner for as long as the menu lives.
using ShownBitmaps = std::vector<SharedBitmap>;

// An entry's icon choice, kept so that a worker can find its file again.
struct StoredChoice {
  launch::IconChoice::Kind kind = launch::IconChoice::Kind::None;
  TextKind text = TextKind::Ansi;  // how the name is written
  int index = 0;
  std::string name;
  HMODULE module = nullptr;  // the editor's: beside it
};

// Where a choice's icon is on the disk, as last looked at.
struct IconFile {
  std::wstring file;  // empty: nothing to show (no such file, or not on a fixed drive)
  std::uint64_t written = 0;
  int size = 0;  // the small-icon size it was extracted at
  bool operator==(const IconFile&) const = default;
};

// Small icons as menu bitmaps: one cache per process (the tray program) or per loaded module
// (the shell extension). A build asks for each entry's answer; answers it does not have are
// found and extracted there and then, once per distinct choice. Afterwards the cache's worker
// thread looks at the files of the answers a build used (the recheck age) and takes in
// what changed, so later builds make no file-system call. Safe to share between threads.
class IconCache {
 public:
  // `recheckMilliseconds`: the age at which answers are due a look (0: at every build).
  explicit IconCache(ULONGLONG recheckMilliseconds = kRecheckMilliseconds);
  // Ends the worker, waiting for a running check.
  ~IconCache();
  IconCache(const IconCache&) = delete;
  IconCache& operator=(const IconCache&) = delete;

  // A build's number, for the calls below.
  std::uint64_t BeginBuild();
  // The answer remembered for `key` (what an entry's icon choice is made of, and the icon
  // size): true, with its bitmap (null: none), added to `shown` the first time `build` asks
  // (and again should a check have replaced it since), and `due` set when its file was looked
  // at the recheck age or more before `now`; false when there is none.
  bool Recall(const std::string& key, std::uint64_t build, ULONGLONG now, ShownBitmaps& shown,
              HBITMAP& bitmap, bool& due);
  // Takes in the answer for `key`: `choice`'s file as found now, extracted at `size` once for
  // every choice that names it.
  SharedBitmap Learn(const std::string& key, StoredChoice choice, IconFile state, int size,
                     std::uint64_t build, bool& due);
  // The build is shown: answers no recent build used may go, and the worker looks at the files
  // of the ones it used that are old enough, when `due` says there are some (Recall, Learn) and
  // no check runs.
  void EndBuild(std::uint64_t build, bool due) noexcept;
  // Lets go of every answer and bitmap, unless the worker lives (false then: an idle one is
  // asked to end, and a later call succeeds). The bitmaps menus hold stay until they let go.
  bool Clear();
  std::size_t Size();
  // True while a check waits for the worker or runs.
  bool Checking();

 private:
  struct Kept {
    StoredChoice choice;
    IconFile state;
    SharedBitmap bitmap;
    int size = 0;               // the small-icon size asked for
    std::uint64_t usedIn = 0;   // the last build that asked for it
    HBITMAP handed = nullptr;   // the bitmap that build holds
    ULONGLONG lookedAt = 0;     // when its file was last looked at; 0: found nothing
    bool extractAgain = false;  // the file was there but gave no icon, once
  };
  struct Check;
  // A file's bitmap, by path, index and size, while anything holds it: one extraction serves
  // every choice that names the file.
  struct Made {
    std::uint64_t written = 0;
    std::weak_ptr<std::remove_pointer_t<HBITMAP>> bitmap;
  };

  // The bitmap for `state`, taken from another answer's or extracted, without the lock.
  // `capped`: none was made because kMostBitmaps are alive.
  SharedBitmap BitmapFor(const IconFile& state, int index, bool& capped);
  void Trim(std::uint64_t build);
  // Under the lock: hands the answers `build` used to the worker, started when none lives.
  void Hand(std::uint64_t build);
  // Under the lock: what the worker looks at for `build`: the answers it or a later build used
  // that are old enough.
  Check Collect(std::uint64_t build);
  static DWORD WINAPI Work(void* cache);
  // The worker's loop; the module it holds when it ends.
  HMODULE Serve();
  void Look(Check& check);

  const ULONGLONG recheck_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::uint64_t builds_ = 0;
  std::unordered_map<std::string, Kept> answers_;
  std::unordered_map<std::wstring, Made> made_;  // key: the path, then the index and size
  // The worker: its thread, the event that wakes it, the module it holds, and its state.
  win::UniqueHandleObject worker_;
  win::UniqueHandleObject wake_;
  HMODULE workerModule_ = nullptr;
  bool workerAlive_ = false;
  bool retire_ = false;  // asked to end when idle
  bool stopping_ = false;
  std::uint64_t pending_ = 0;  // the build whose answers the worker looks at next; 0: none
  bool checking_ = false;      // a check is pending or runs
  ULONGLONG checkEnded_ = 0;
};

// Finds entries' icon files as the launcher finds programs (bare names in the search folders
// only) and dates them; nothing on a network or removable drive, and nothing that is not on
// the disk. One serves a build or a check: what it learns of drives serves every entry of it.
class IconFinder {
 public:
  // `learnFolders`: files not found teach it folders' names (FolderNames), which a build's
  // finder uses; a check's asks the file system about each file, so a name read differently
  // from it shows its icon from a later menu on.
  explicit IconFinder(bool learnFolders);
  IconFile Find(const StoredChoice& choice, int size);

 private:
  // The launcher's way for names of a menu file of one kind: answers of both come here.
  struct KindFinder {
    explicit KindFinder(TextKind kind) : system(kind, false, /*localOnly=*/true) {}
    KindFinder(const KindFinder&) = delete;  // the launcher holds the system beside it
    KindFinder& operator=(const KindFinder&) = delete;
    launch::Win32LaunchSystem system;
    launch::Launcher launcher{system};
  };
  KindFinder& For(TextKind kind) { return kind == TextKind::Utf8 ? utf8_ : ansi_; }
  std::string FileOf(const StoredChoice& choice);

  KindFinder ansi_{TextKind::Ansi};
  KindFinder utf8_{TextKind::Utf8};
  std::optional<FolderNames> folders_;
};

// Where the entries' icons of one menu are, as resource locations "FILE,INDEX", for menus that
// take no bitmaps (Windows 11's first context menu). Chosen and found as for the bitmaps, the
// editor beside `module`; each distinct choice is looked for once, by one finder that learns the
// missing folders as it goes. Safe to share between threads.
class IconLocations {
 public:
  explicit IconLocations(HMODULE module) : module_(module) {}
  IconLocations(const IconLocations&) = delete;
  IconLocations& operator=(const IconLocations&) = delete;
  // Empty for none.
  std::wstring Of(menu::Host host, const menu::MenuData& entry, std::string_view iconField,
                  TextKind kind);

 private:
  HMODULE module_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  IconFinder finder_{/*learnFolders=*/true};
  std::unordered_map<std::string, std::wstring> known_;  // by choice
  std::string key_;
};

// An icon drawn at `size` pixels square into a 32-bit top-down DIB section with
// premultiplied alpha, as menus take it; an icon without alpha gets it from its mask.
win::UniqueHbitmap MenuBitmapOf(HICON icon, int size);

// The icons of one menu build, through the cache. Its bitmaps live as long as it does; the
// menu's owner keeps their Shown() shares as long as the menu.
class MenuIcons final : public menu::ItemIcons {
 public:
  // `module`: the module beside which the menu editor lies (null: the program itself);
  // `size`: the icons' width and height in pixels, the small-icon size at the menu's DPI.
  MenuIcons(IconCache& cache, menu::Host host, HMODULE module, int size);
  ~MenuIcons() override;
  MenuIcons(const MenuIcons&) = delete;
  MenuIcons& operator=(const MenuIcons&) = delete;

  HBITMAP Bitmap(const menu::MenuData& entry, std::string_view iconField, TextKind kind) override;
  // The bitmaps handed out, for the owner of the menu built with them.
  ShownBitmaps Shown() const { return shown_; }

 private:
  IconCache& cache_;
  menu::Host host_;
  HMODULE module_;
  std::uint64_t build_;
  ULONGLONG start_;   // when the build began
  bool due_ = false;  // an answer it used is due a look
  int size_;
  ShownBitmaps shown_;
  void AppendKeyPart(std::string_view part);

  IconFinder finder_{true};  // for the choices no earlier build asked for
  std::string key_;
};

}  // namespace zel::icons
