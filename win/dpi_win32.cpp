#include "win/dpi_win32.h"

#include "ui/dpi_scale.h"

namespace zel::win {
namespace {

// A user32 function that older systems lack; null there.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

unsigned SystemDpi() {
  // Asked directly where the system can: the screen's DC costs a menu far more.
  using GetDpiForSystemCall = UINT(WINAPI*)();
  if (const auto get = User32Function<GetDpiForSystemCall>("GetDpiForSystem")) {
    if (const UINT dpi = get(); dpi != 0) return dpi;
  }
  const HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return ui::kBaseDpi;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : ui::kBaseDpi;
}

}  // namespace

unsigned DpiOf(HWND window) {
  using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
  if (window == nullptr) return SystemDpi();
  if (const auto get = User32Function<GetDpiForWindowCall>("GetDpiForWindow")) {
    if (const UINT dpi = get(window); dpi != 0) return dpi;  // 0: no such window
  }
  return SystemDpi();
}

int MetricAt(int index, unsigned dpi) {
  using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);
  if (const auto get = User32Function<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi")) {
    return get(index, dpi);
  }
  return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

// DPI_AWARENESS_CONTEXT values are handles; the headers for Windows 7 have none of them.
using SetThreadDpiAwarenessContextCall = HANDLE(WINAPI*)(HANDLE);

StretchedThread::StretchedThread()
    : set_(User32Function<SetThreadDpiAwarenessContextCall>("SetThreadDpiAwarenessContext")) {
  const HANDLE unaware = reinterpret_cast<HANDLE>(-1);  // DPI_AWARENESS_CONTEXT_UNAWARE
  if (set_ != nullptr) previous_ = set_(unaware);
}

StretchedThread::~StretchedThread() {
  if (set_ != nullptr && previous_ != nullptr) set_(previous_);
}

}  // namespace zel::win
