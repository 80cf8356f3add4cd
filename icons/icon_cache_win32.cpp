#include "icons/icon_cache_win32.h"

#include <shellapi.h>

#include <algorithm>

#include "win/code_page_win32.h"
#include "win/paths_win32.h"

namespace zel::icons {
namespace {

// Frees the cache's lock however the caller leaves.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

constexpr std::uint32_t kAlpha = 0xFF000000;
// FILE_ATTRIBUTE_RECALL_ON_OPEN and FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS, which the headers lack.
constexpr DWORD kRecallOnOpen = 0x00040000;
constexpr DWORD kRecallOnDataAccess = 0x00400000;

}  // namespace

SharedBitmap IconCache::Bitmap(const std::string& file, int index, menu::TextKind kind) {
  // Nothing from a network or removable drive: a menu must never wait for a slow or gone one.
  if (!win::OnFixedDrive(file)) return nullptr;
  // By the wide name: a UTF-8 menu's paths may hold any character.
  std::wstring wide = win::Widen(file, kind);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  // Nor a file that is not on the disk (offline, or in the cloud only): reading it for its icon
  // would fetch it.
  constexpr DWORD kNotHere =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess;
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & kNotHere) != 0) {
    return nullptr;
  }
  Key key{
      std::move(wide),
      std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime,
      index, ::GetSystemMetrics(SM_CXSMICON)};
  {
    const ExclusiveLock lock(lock_);
    if (const Entry* entry = Find(key)) return entry->bitmap;
  }
  // Extracted without the lock: no other thread's menu waits for this file.
  HICON small = nullptr;
  ::ExtractIconExW(key.file.c_str(), index, nullptr, &small, 1);
  const win::UniqueHicon icon(small);
  win::UniqueHbitmap made = icon ? MenuBitmapOf(icon.get(), key.size) : win::UniqueHbitmap();
  SharedBitmap bitmap;
  // Released first: should reset throw, it deletes the bitmap itself.
  if (made) bitmap.reset(made.release(), ::DeleteObject);
  const ExclusiveLock lock(lock_);
  // Another thread may have made it meanwhile: the first one kept stays, this one goes.
  if (const Entry* entry = Find(key)) return entry->bitmap;
  Insert({std::move(key), bitmap});
  return bitmap;
}

IconCache::Entry* IconCache::Find(const Key& key) {
  for (Entry& entry : bitmaps_) {
    if (entry.key == key) {
      entry.used = ++useClock_;
      return &entry;
    }
  }
  return nullptr;
}

void IconCache::Insert(Entry entry) {
  entry.used = ++useClock_;
  // The icon a file had before it changed is never asked for again.
  auto slot = std::find_if(bitmaps_.begin(), bitmaps_.end(), [&entry](const Entry& kept) {
    return kept.key.file == entry.key.file && kept.key.index == entry.key.index;
  });
  if (slot == bitmaps_.end() && bitmaps_.size() < kIconCacheCapacity) {
    bitmaps_.push_back(std::move(entry));
    return;
  }
  if (slot == bitmaps_.end()) {
    slot = std::min_element(bitmaps_.begin(), bitmaps_.end(),
                            [](const Entry& a, const Entry& b) { return a.used < b.used; });
  }
  // The answers naming the bitmap go with it; menus that show it keep their shares.
  if (const SharedBitmap gone = slot->bitmap) {
    std::erase_if(answers_, [&gone](const Answer& answer) { return answer.bitmap == gone; });
  }
  *slot = std::move(entry);
}

bool IconCache::Recent(const std::string& choice, SharedBitmap& bitmap) {
  const ULONGLONG now = ::GetTickCount64();
  const ExclusiveLock lock(lock_);
  for (const Answer& answer : answers_) {
    if (answer.choice != choice) continue;
    bitmap = answer.bitmap;
    return now - answer.given < kIconRecheckMilliseconds;
  }
  return false;
}

void IconCache::Remember(const std::string& choice, const SharedBitmap& bitmap) {
  const ULONGLONG now = ::GetTickCount64();
  const ExclusiveLock lock(lock_);
  for (Answer& answer : answers_) {
    if (answer.choice == choice) {
      answer = {choice, bitmap, now};
      return;
    }
  }
  if (answers_.size() < kIconCacheCapacity) {
    answers_.push_back({choice, bitmap, now});
    return;
  }
  // Full: the oldest answer, which has stood longest, makes room.
  *std::min_element(answers_.begin(), answers_.end(), [](const Answer& a, const Answer& b) {
    return a.given < b.given;
  }) = {choice, bitmap, now};
}

void IconCache::Clear() {
  const ExclusiveLock lock(lock_);
  answers_.clear();  // they name the bitmaps
  bitmaps_.clear();
}

std::size_t IconCache::Size() {
  const ExclusiveLock lock(lock_);
  return bitmaps_.size();
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

HBITMAP MenuIcons::Bitmap(const menu::MenuData& entry, std::string_view iconField,
                          menu::TextKind kind) {
  system_.SetTextKind(kind);
  const launch::IconChoice choice =
      launch::ChooseIcon(host_, entry, iconField, system_.LeadBytes());
  if (choice.kind == launch::IconChoice::Kind::None) return nullptr;
  key_.assign({static_cast<char>(choice.kind), static_cast<char>(kind)});
  key_.append(reinterpret_cast<const char*>(&choice.index), sizeof(choice.index));
  key_ += choice.name;
  for (const auto& [key, bitmap] : seen_) {
    if (key == key_) return bitmap.get();
  }
  SharedBitmap bitmap;
  if (!cache_.Recent(key_, bitmap)) {
    const std::string file = FileOf(choice, kind);
    bitmap = file.empty() ? nullptr : cache_.Bitmap(file, choice.index, kind);
    cache_.Remember(key_, bitmap);
  }
  seen_.emplace_back(key_, bitmap);
  return bitmap.get();
}

ShownBitmaps MenuIcons::Shown() const {
  ShownBitmaps shown;
  for (const auto& [key, bitmap] : seen_) {
    if (bitmap) shown.push_back(bitmap);
  }
  return shown;
}

std::string MenuIcons::FileOf(const launch::IconChoice& choice, menu::TextKind kind) {
  const std::string name(choice.name);
  switch (choice.kind) {
    case launch::IconChoice::Kind::Program:
      return launcher_.FileFor(system_.ExpandEnvironment(name), ".exe");
    case launch::IconChoice::Kind::Dll:
      return launcher_.FileFor(name, ".dll");
    case launch::IconChoice::Kind::File:
      return launcher_.FileFor(system_.ExpandEnvironment(name), "");
    case launch::IconChoice::Kind::Editor: {
      // In the menu file's kind: the folder's name may hold any character.
      const std::string folder = win::ModuleFolder(module_, kind);
      return folder.empty() ? std::string() : folder + launch::kEditorProgram;
    }
    case launch::IconChoice::Kind::None:
      break;
  }
  return {};
}

}  // namespace zel::icons
