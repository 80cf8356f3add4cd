// A hook library that the tray tests load into the running tray program: another process
// cannot read an HMENU, so this one writes each popup menu, as it opens, to a file that the
// test reads: %TEMP%\zelvane-menu-<pid>.txt; and on the registered message
// "ZelvaneTrayTestReport" it reports what only the program can see into
// %TEMP%\zelvane-report-<pid>.txt.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/win32/support.h"

namespace {

std::set<HMENU> g_popups;  // every popup menu shown
int g_shown = 0;           // how often one was

void WriteTemp(const char* stem, const std::string& text) {
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "zelvane-" + stem + "-" +
                           std::to_string(::GetCurrentProcessId()) + ".txt";
  if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fputs((text + "END\n").c_str(), out);
    std::fclose(out);
  }
}

// How many popup menus it showed and how many it still holds.
void WriteReport() {
  int alive = 0;
  for (HMENU popup : g_popups) alive += ::IsMenu(popup) ? 1 : 0;
  WriteTemp("report",
            "popups " + std::to_string(g_shown) + ", alive " + std::to_string(alive) + "\n");
}

}  // namespace

extern "C" LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  static const UINT reportMessage = ::RegisterWindowMessageA("ZelvaneTrayTestReport");
  if (code == HC_ACTION && message->message == reportMessage) WriteReport();
  if (code == HC_ACTION && message->message == WM_INITMENUPOPUP && HIWORD(message->lParam) == 0) {
    g_popups.insert(reinterpret_cast<HMENU>(message->wParam));
    ++g_shown;
    WriteTemp("menu", zel::test::MenuText(reinterpret_cast<HMENU>(message->wParam)));
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
