// One owner for every Windows resource: a movable, non-copyable handle that closes itself.
#pragma once

#include <windows.h>

#include <utility>

namespace zel::win {

// Traits name the handle type, its invalid value and how it is closed.
template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Type get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  Type release() { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Type handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Type handle_ = Traits::Invalid();
};

template <typename T, auto CloseFunction>
struct NullInvalidTraits {
  using Type = T;
  static Type Invalid() { return nullptr; }
  // The close result is not examined: nothing useful can be done when closing fails.
  static void Close(Type handle) { CloseFunction(handle); }
};

struct FileTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { ::CloseHandle(handle); }
};

// A FindFirstFile search: invalid as a file handle is, closed by FindClose.
struct FindTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { ::FindClose(handle); }
};

using UniqueHmenu = UniqueHandle<NullInvalidTraits<HMENU, ::DestroyMenu>>;
using UniqueHkey = UniqueHandle<NullInvalidTraits<HKEY, ::RegCloseKey>>;
using UniqueHmodule = UniqueHandle<NullInvalidTraits<HMODULE, ::FreeLibrary>>;
using UniqueHandleObject = UniqueHandle<NullInvalidTraits<HANDLE, ::CloseHandle>>;
using UniqueHlocal = UniqueHandle<NullInvalidTraits<HLOCAL, ::LocalFree>>;
using UniqueHicon = UniqueHandle<NullInvalidTraits<HICON, ::DestroyIcon>>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
// Deleted only once nothing uses it: a font after the windows it was set on (WM_SETFONT).
using UniqueHfont = UniqueHandle<NullInvalidTraits<HFONT, ::DeleteObject>>;
// A bitmap is deleted only once no menu shows it (hbmpItem is not the menu's) and no DC
// holds it selected.
using UniqueHbitmap = UniqueHandle<NullInvalidTraits<HBITMAP, ::DeleteObject>>;
using UniqueHdc = UniqueHandle<NullInvalidTraits<HDC, ::DeleteDC>>;
using UniqueHaccel = UniqueHandle<NullInvalidTraits<HACCEL, ::DestroyAcceleratorTable>>;

}  // namespace zel::win
