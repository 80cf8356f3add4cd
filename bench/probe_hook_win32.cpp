// A hook library the benchmark loads into the running tray program, which nobody can look into
// from outside: on the registered message "ZelvaneBenchProbe" it counts the program's GDI
// objects and writes the count to %TEMP%\zelvane-bench-gdi-<pid>.txt.
#include <windows.h>

#include <cstdio>

#include "bench/gdi_objects_win32.h"

namespace {

void Report() {
  char path[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, path);
  char name[MAX_PATH] = {};
  std::snprintf(name, sizeof name, "%szelvane-bench-gdi-%lu.txt", path,
                static_cast<unsigned long>(::GetCurrentProcessId()));
  if (FILE* file = std::fopen(name, "w")) {
    std::fprintf(file, "%d\n", CountGdiObjects());
    std::fclose(file);
  }
}

}  // namespace

extern "C" LRESULT CALLBACK GetMessageProbe(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT probe = ::RegisterWindowMessageA("ZelvaneBenchProbe");
  const auto* message = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && message->message == probe) Report();
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
