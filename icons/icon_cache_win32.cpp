#include "icons/icon_cache_win32.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "win/code_page_win32.h"
#include "win/exclusive_lock_win32.h"
#include "win/paths_win32.h"

namespace zel::icons {
namespace {

using win::ExclusiveLock;

constexpr std::uint32_t kAlpha = 0xFF000000;
// FILE_ATTRIBUTE_RECALL_ON_OPEN and FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS, which the headers lack.
constexpr DWORD kRecallOnOpen = 0x00040000;
constexpr DWORD kRecallOnDataAccess = 0x00400000;
// What is not on the disk (offline, or in the cloud only): reading it would fetch it.
constexpr DWORD kNotOnDisk = FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess;
// A folder read for its names holds at most this many: a larger one costs more to read than the
// lookups it would spare.
constexpr std::size_t kMostNamesRead = 1024;

// The cache's bitmaps alive in the process, against kMostBitmaps.
std::atomic<long> g_bitmaps{0};

void DeleteCounted(HBITMAP bitmap) {
  ::DeleteObject(bitmap);
  --g_bitmaps;
}

// The path, then the index and the size: no path holds a NUL.
std::wstring MadeKey(const IconFile& state, int index) {
  std::wstring key = state.file;
  key.push_back(L'\0');
  const int numbers[] = {index, state.size};
  key.append(reinterpret_cast<const wchar_t*>(numbers), sizeof(numbers) / (sizeof(wchar_t)));
  return key;
}

// As the file system compares names: upper-cased by the invariant rules.
std::wstring Upper(const std::wstring& text) {
  std::wstring upper(text.size(), L'\0');
  if (!text.empty() &&
      ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                      static_cast<int>(text.size()), upper.data(), static_cast<int>(upper.size()),
                      nullptr, nullptr, 0) != static_cast<int>(text.size())) {
    return {};  // never matches a folder's key
  }
  return upper;
}

bool ReadFolder(const std::wstring& folder, std::vector<std::uint64_t>& keys) {
  // Never one in the cloud only, whose reading would fetch it, nor a link that may lead there.
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (kNotOnDisk | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  WIN32_FIND_DATAW found{};
  // Without short names, which cost the reading more than they serve: FolderNames never
  // excludes a part that may be one.
  const win::UniqueFind find(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                                FindExSearchNameMatch, nullptr,
                                                FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return false;
  do {
    if (keys.size() == kMostNamesRead) return false;
    keys.push_back(FolderNames::Key(Upper(found.cFileName)));
  } while (::FindNextFileW(find.get(), &found));
  // A reading cut short would hide names: it counts as none.
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

// A symbolic link or junction: its target may be anywhere. Other reparse points (a synced file
// that is on the disk, an app alias) stay where they are.
bool IsLink(const std::wstring& file) {
  WIN32_FIND_DATAW found{};
  const win::UniqueFind find(::FindFirstFileW(file.c_str(), &found));
  return !find || found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
         found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

// The file's image nearest `size`, so that no smaller image is stretched for a menu at a higher
// DPI than the system's. At the system's small-icon size, the small icon alone: the shell's
// extraction at any size makes the large icon too, which costs a first menu half again.
HICON ExtractAtSize(const std::wstring& file, int index, int size) {
  HICON icon = nullptr;
  if (size == ::GetSystemMetrics(SM_CXSMICON)) {
    ::ExtractIconExW(file.c_str(), index, nullptr, &icon, 1);
    return icon;
  }
  const UINT sizes = MAKELONG(size, size);  // HIWORD: the small icon's
  return SUCCEEDED(::SHDefExtractIconW(file.c_str(), index, 0, nullptr, &icon, sizes)) ? icon
                                                                                       : nullptr;
}

}  // namespace

// The answers a worker looks at, as they were when the build ended.
struct IconCache::Check {
  struct Item {
    std::string key;
    StoredChoice choice;
    IconFile state;
    int size;
    bool extractAgain;
  };
  std::vector<Item> items;
};

std::string IconFinder::FileOf(const StoredChoice& choice) {
  KindFinder& finder = For(choice.text);
  switch (choice.kind) {
    case launch::IconChoice::Kind::Program:
      return finder.launcher.FileFor(finder.system.ExpandEnvironment(choice.name), ".exe");
    case launch::IconChoice::Kind::Dll:
      return finder.launcher.FileFor(choice.name, ".dll");
    case launch::IconChoice::Kind::File:
      return finder.launcher.FileFor(finder.system.ExpandEnvironment(choice.name), "");
    case launch::IconChoice::Kind::Editor: {
      // In the menu file's kind: the folder's name may hold any character.
      const std::string folder = win::ModuleFolder(choice.module, choice.text);
      return folder.empty() ? std::string() : folder + menu::kEditorProgram;
    }
    case launch::IconChoice::Kind::None:
      break;
  }
  return {};
}

IconFinder::IconFinder(bool learnFolders) {
  if (learnFolders) folders_.emplace(ReadFolder);
}

IconFile IconFinder::Find(const StoredChoice& choice, int size) {
  const std::string file = FileOf(choice);
  // Nothing from a network or removable drive: a menu must never wait for a slow or gone one.
  if (file.empty() || !For(choice.text).system.OnFixedDrive(file)) return {};
  // By the wide name: a UTF-8 menu's paths may hold any character.
  std::wstring wide = win::Widen(file, choice.text);
  const std::wstring upper = folders_ ? Upper(wide) : std::wstring();
  if (folders_ && folders_->Excludes(upper)) return {};
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = ::GetLastError();
    if (folders_ && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
      folders_->Missed(wide, upper, error == ERROR_PATH_NOT_FOUND);
    }
    return {};
  }
  // Nor a file that is not on the disk, nor one reached through a link, which may lead to a
  // network share.
  if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | kNotOnDisk)) != 0 ||
      ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLink(wide))) {
    return {};
  }
  return {
      std::move(wide),
      std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime,
      size};
}

IconCache::IconCache(ULONGLONG recheckMilliseconds) : recheck_(recheckMilliseconds) {}

IconCache::~IconCache() {
  {
    const ExclusiveLock lock(lock_);
    stopping_ = true;
    if (wake_) ::SetEvent(wake_.get());
  }
  if (worker_) ::WaitForSingleObject(worker_.get(), INFINITE);
}

std::uint64_t IconCache::BeginBuild() {
  const ExclusiveLock lock(lock_);
  return ++builds_;
}

bool IconCache::Recall(const std::string& key, std::uint64_t build, ULONGLONG now,
                       ShownBitmaps& shown, HBITMAP& bitmap, bool& due) {
  const ExclusiveLock lock(lock_);
  const auto found = answers_.find(key);
  if (found == answers_.end()) return false;
  Kept& kept = found->second;
  if (kept.bitmap && (kept.usedIn != build || kept.handed != kept.bitmap.get())) {
    shown.push_back(kept.bitmap);
    kept.handed = kept.bitmap.get();
  }
  kept.usedIn = build;
  bitmap = kept.bitmap.get();
  // Not one this build has just looked at, after `now`.
  due = due || (now >= kept.lookedAt && now - kept.lookedAt >= recheck_);
  return true;
}

SharedBitmap IconCache::Learn(const std::string& key, StoredChoice choice, IconFile state, int size,
                              std::uint64_t build, bool& due) {
  bool capped = false;
  SharedBitmap bitmap = BitmapFor(state, choice.index, capped);
  const bool found = !state.file.empty() && !capped;
  if (capped) state = {};  // as if not there: a check tries again
  // Found nothing: the next check asks the file system, whatever this build read of folders.
  const ULONGLONG looked = found ? ::GetTickCount64() : 0;
  due = due || !found;
  const ExclusiveLock lock(lock_);
  answers_[key] = {std::move(choice), std::move(state), bitmap,          size, build,
                   bitmap.get(),      looked,           found && !bitmap};
  return bitmap;
}

SharedBitmap IconCache::BitmapFor(const IconFile& state, int index, bool& capped) {
  capped = false;
  if (state.file.empty()) return nullptr;
  const std::wstring key = MadeKey(state, index);
  {
    const ExclusiveLock lock(lock_);
    const auto found = made_.find(key);
    if (found != made_.end() && found->second.written == state.written) {
      if (SharedBitmap bitmap = found->second.bitmap.lock()) return bitmap;
    }
  }
  if (g_bitmaps.load() >= kMostBitmaps ||
      ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS) > kBusyProcessGdiObjects) {
    capped = true;
    return nullptr;
  }
  // Extracted without the lock: no other thread's menu waits for this file.
  const win::UniqueHicon icon(ExtractAtSize(state.file, index, state.size));
  win::UniqueHbitmap made = icon ? MenuBitmapOf(icon.get(), state.size) : win::UniqueHbitmap();
  if (!made) return nullptr;
  SharedBitmap bitmap;
  ++g_bitmaps;
  // Released first: should reset throw, it deletes the bitmap itself.
  bitmap.reset(made.release(), DeleteCounted);
  const ExclusiveLock lock(lock_);
  Made& slot = made_[key];
  // Another thread may have made it meanwhile: the first one kept stays, this one goes.
  if (slot.written == state.written) {
    if (SharedBitmap other = slot.bitmap.lock()) return other;
  }
  slot = {state.written, bitmap};
  return bitmap;
}

void IconCache::Trim(std::uint64_t build) {
  if (answers_.size() > kAnswersKept) {
    std::erase_if(answers_, [build](const auto& answer) {
      return answer.second.usedIn + kBuildsKept <= build;
    });
  }
  if (made_.size() > kAnswersKept) {
    std::erase_if(made_, [](const auto& made) { return made.second.bitmap.expired(); });
  }
}

void IconCache::EndBuild(std::uint64_t build, bool due) noexcept try {
  const ExclusiveLock lock(lock_);
  Trim(build);
  // The worker gathers what to look at: the menu's thread only tells it which build.
  if (due && !checking_ && !stopping_ && ::GetTickCount64() - checkEnded_ >= recheck_) {
    Hand(build);
  }
} catch (...) {
  // No check this time: a later build asks again.
}

void IconCache::Hand(std::uint64_t build) {
  if (!wake_) wake_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!wake_) return;
  if (!workerAlive_) {
    // The worker holds the module it runs in: a shell extension may be unloaded once
    // DllCanUnloadNow finds no worker, before the worker's last instruction.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&IconCache::Work), &module)) {
      return;
    }
    const HANDLE thread = ::CreateThread(nullptr, 0, &IconCache::Work, this, 0, nullptr);
    if (thread == nullptr) {
      ::FreeLibrary(module);
      return;
    }
    worker_.reset(thread);  // an earlier worker has ended, or ends without the cache
    workerModule_ = module;
    workerAlive_ = true;
  }
  pending_ = build;
  checking_ = true;
  retire_ = false;
  ::SetEvent(wake_.get());
}

IconCache::Check IconCache::Collect(std::uint64_t build) {
  Check check;
  if (stopping_) return check;
  const ULONGLONG now = ::GetTickCount64();
  for (const auto& [key, kept] : answers_) {
    // Used by that build or one since: menus may have been built while the worker waited.
    if (kept.usedIn >= build && now - kept.lookedAt >= recheck_) {
      check.items.push_back({key, kept.choice, kept.state, kept.size, kept.extractAgain});
    }
  }
  return check;
}

DWORD WINAPI IconCache::Work(void* cache) {
  const HMODULE module = static_cast<IconCache*>(cache)->Serve();
  if (module != nullptr) ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

HMODULE IconCache::Serve() {
  // Below the user's work; not in background mode, whose starved thread could hold the lock
  // that a menu waits for.
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  for (;;) {
    const DWORD woke = ::WaitForSingleObject(wake_.get(), kWorkerIdleMilliseconds);
    std::uint64_t build = 0;
    {
      const ExclusiveLock lock(lock_);
      if (stopping_ || (pending_ == 0 && (retire_ || woke != WAIT_OBJECT_0))) {
        // Nothing of the cache is touched after this.
        workerAlive_ = false;
        retire_ = false;
        return std::exchange(workerModule_, nullptr);
      }
      build = std::exchange(pending_, 0);
    }
    if (build == 0) continue;
    ::Sleep(kCheckDelayMilliseconds);
    try {
      Check check;
      {
        // At the menus' priority while it holds their lock.
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
        const ExclusiveLock lock(lock_);
        check = Collect(build);
      }
      ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
      Look(check);
    } catch (...) {
      // What was taken in stays; the rest waits for the next check.
    }
    const ExclusiveLock lock(lock_);
    checking_ = false;
    checkEnded_ = ::GetTickCount64();
  }
}

void IconCache::Look(Check& check) {
  IconFinder finder(false);
  for (Check::Item& item : check.items) {
    // At the size its menus asked for, whatever this thread's DPI awareness says.
    IconFile now = finder.Find(item.choice, item.size);
    const bool same = now == item.state;
    // A file that gave no icon is tried once more: it may have been caught while written.
    const bool extract = !same || item.extractAgain;
    bool capped = false;
    SharedBitmap bitmap = extract ? BitmapFor(now, item.choice.index, capped) : nullptr;
    const bool again = !same && !now.file.empty() && !bitmap && !capped;
    if (capped) now = {};
    const ULONGLONG looked = ::GetTickCount64();
    const ExclusiveLock lock(lock_);
    if (stopping_) return;
    const auto found = answers_.find(item.key);
    // A build that found it anew since knows better.
    if (found == answers_.end() || !(found->second.state == item.state)) continue;
    Kept& kept = found->second;
    kept.lookedAt = looked;
    kept.extractAgain = again;
    if (same && !bitmap) continue;
    kept.state = std::move(now);
    kept.bitmap = std::move(bitmap);
  }
}

bool IconCache::Clear() {
  const ExclusiveLock lock(lock_);
  if (workerAlive_) {
    // Idle, it ends now; busy, when its check is done and no other waits.
    retire_ = true;
    ::SetEvent(wake_.get());
    return false;
  }
  // Storage, the ended worker's handle and its event go too: a module unloaded keeps nothing.
  decltype(answers_)().swap(answers_);
  decltype(made_)().swap(made_);
  worker_.reset();
  wake_.reset();
  return true;
}

std::size_t IconCache::Size() {
  const ExclusiveLock lock(lock_);
  return answers_.size();
}

bool IconCache::Checking() {
  const ExclusiveLock lock(lock_);
  return checking_;
}

win::UniqueHbitmap MenuBitmapOf(HICON icon, int size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const win::UniqueHdc dc(::CreateCompatibleDC(nullptr));
  void* bits = nullptr;
  win::UniqueHbitmap bitmap(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !bitmap || bits == nullptr) return {};
  std::uint32_t* const pixels = static_cast<std::uint32_t*>(bits);  // zeroed: clear, no alpha
  const std::size_t count = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
  const HGDIOBJ previous = ::SelectObject(dc.get(), bitmap.get());
  // An icon with alpha is blended onto clear black: its colours come out premultiplied.
  ::DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  ::GdiFlush();
  if (std::none_of(pixels, pixels + count, [](std::uint32_t p) { return (p & kAlpha) != 0; })) {
    // No alpha: the mask says which pixels show. Drawn onto white, a mask copied or ANDed
    // lands as itself: black where the icon is opaque.
    const std::vector<std::uint32_t> colors(pixels, pixels + count);
    std::fill(pixels, pixels + count, 0xFFFFFFFFu);
    ::DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_MASK);
    ::GdiFlush();
    for (std::size_t i = 0; i < count; ++i) {
      pixels[i] = (pixels[i] & ~kAlpha) == 0 ? colors[i] | kAlpha : 0;
    }
  }
  ::SelectObject(dc.get(), previous);  // a bitmap still selected could not be shown
  return bitmap;
}

MenuIcons::MenuIcons(IconCache& cache, menu::Host host, HMODULE module, int size)
    : cache_(cache),
      host_(host),
      module_(module),
      build_(cache.BeginBuild()),
      start_(::GetTickCount64()),
      size_(size) {}

MenuIcons::~MenuIcons() { cache_.EndBuild(build_, due_); }

HBITMAP MenuIcons::Bitmap(const menu::MenuData& entry, std::string_view iconField, TextKind kind) {
  // Keyed by what the choice is made of, so that a remembered answer needs no choosing.
  key_.assign({static_cast<char>(host_), static_cast<char>(kind)});
  AppendKeyPart(std::string_view(reinterpret_cast<const char*>(&size_), sizeof(size_)));
  AppendKeyPart(iconField);
  // Whole, not cut to the first items ChooseIcon takes: searching for their ends would cost
  // every warm menu more than entries that differ only after them cost the first one.
  AppendKeyPart(entry.Command);
  if (entry.Command == launch::kDllProcCommand) AppendKeyPart(entry.Arguments);
  HBITMAP bitmap = nullptr;
  if (cache_.Recall(key_, build_, start_, shown_, bitmap, due_)) return bitmap;
  const launch::IconChoice choice =
      launch::ChooseIcon(host_, entry, iconField, win::LeadBytesOf(kind));
  if (choice.kind == launch::IconChoice::Kind::None) return nullptr;
  StoredChoice stored{choice.kind, kind, choice.index, std::string(choice.name), module_};
  IconFile state = finder_.Find(stored, size_);
  SharedBitmap learnt =
      cache_.Learn(key_, std::move(stored), std::move(state), size_, build_, due_);
  if (learnt) shown_.push_back(learnt);
  return learnt.get();
}

void MenuIcons::AppendKeyPart(std::string_view part) {
  // Each part after its length: no two entries' parts run together into one key.
  const std::size_t length = part.size();
  key_.append(reinterpret_cast<const char*>(&length), sizeof(length));
  key_.append(part);
}

}  // namespace zel::icons
