// The DPI a window shows at and the system's sizes for it. The per-monitor calls exist from
// Windows 10 1607 on and are looked up when asked for; before that every window shows at the
// system's DPI, and so do these answers.
#pragma once

#include <windows.h>

namespace zel::win {

// The DPI of the monitor `window` is on, as the window's awareness sees it (96 for a window
// the system stretches); the system's DPI for no window, or where the system cannot tell.
unsigned DpiOf(HWND window);

// A system metric (SM_CXSMICON, SM_CXICON...) at `dpi`.
int MetricAt(int index, unsigned dpi);

// While it lives, the windows this thread makes are drawn at 96 DPI and stretched by the
// system, as in a program that declares no DPI awareness (from Windows 10 1607 on; elsewhere
// nothing changes). For code of others that lays out its windows in fixed pixels.
class StretchedThread {
 public:
  StretchedThread();
  ~StretchedThread();
  StretchedThread(const StretchedThread&) = delete;
  StretchedThread& operator=(const StretchedThread&) = delete;

 private:
  HANDLE(WINAPI* set_)(HANDLE) = nullptr;  // SetThreadDpiAwarenessContext; none: unchanged
  HANDLE previous_ = nullptr;              // the thread's awareness context before
};

// Moves and sizes `window` to `box` (client coordinates for a child window).
template <typename Box>
void Place(HWND window, const Box& box, bool redraw) {
  ::MoveWindow(window, box.left, box.top, box.width, box.height, redraw ? TRUE : FALSE);
}

}  // namespace zel::win
