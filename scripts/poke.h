// What the demo pokes share: they drive windows of another process, which may not be there yet,
// so each waits for what it drives instead of the scripts sleeping.
#pragma once

#include <windows.h>

namespace zel::poke {

// Polls `done` every 20 ms for up to `milliseconds`.
template <typename Done>
bool WaitFor(Done done, int milliseconds) {
  for (int waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= milliseconds) return false;
    ::Sleep(20);
  }
}

// The top-level window of class `windowClass`, waited for up to 15 s (a program just started),
// and then until its program has handled what it posted itself at start-up and waits for input.
inline HWND WaitForWindow(const char* windowClass) {
  HWND found = nullptr;
  WaitFor([&] { return (found = ::FindWindowA(windowClass, nullptr)) != nullptr; }, 15000);
  DWORD processId = 0;
  if (found != nullptr && ::GetWindowThreadProcessId(found, &processId) != 0) {
    if (const HANDLE process =
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId)) {
      ::WaitForInputIdle(process, 5000);  // a time-out only means it is busy: go on
      ::CloseHandle(process);
    }
  }
  return found;
}

// Sends a command and returns once the window has handled it, or after 5 s (a command that
// opens a modal box returns only when the box closes).
inline void SendCommand(HWND window, WPARAM command, LPARAM from = 0) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(window, WM_COMMAND, command, from, SMTO_NORMAL, 5000, &result);
}

}  // namespace zel::poke
