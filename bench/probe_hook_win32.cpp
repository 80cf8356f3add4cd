// A hook library the benchmark loads into the running tray program, which nobody can look into
// from outside: on the registered message "ZelvaneBenchProbe" it counts the program's GDI
// objects and writes the count to %TEMP%\zelvane-bench-gdi-<pid>.txt.
#include <windows.h>

#include <cstdio>

namespace {

// Wine takes a GDI handle whose upper word is zero for its slot in any generation; its table
// has 16,384 slots from 0x20 on.
int CountGdiObjects() {
  int count = 0;
  for (UINT_PTR slot = 0x20; slot < 0x20 + 16384; ++slot) {
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++count;
  }
  return count;
}

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
