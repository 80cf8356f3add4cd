// A hook library that the tray tests load into the running tray program: another process
// cannot read an HMENU, so this one writes each popup menu, as it opens, to a file that the
// test reads: %TEMP%\zelvane-menu-<pid>.txt; and on the registered message
// "ZelvaneTrayTestReport" it reports what only the program can see.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void DumpMenu(std::FILE* out, HMENU menu, int depth) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[512] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = sizeof(text);
    if (!::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    const char* kind = (info.fType & MFT_SEPARATOR) ? "sep" : info.hSubMenu ? "sub" : "item";
    std::fprintf(out, "%d\t%s\t%u\t%s\t%s\n", depth, kind, info.hSubMenu ? 0u : info.wID,
                 (info.fState & MFS_CHECKED) ? "checked" : "-", text);
    if (info.hSubMenu != nullptr) DumpMenu(out, info.hSubMenu, depth + 1);
  }
}

std::string TempFile(const char* stem) {
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + stem + std::to_string(::GetCurrentProcessId()) + ".txt";
}

// What only the program itself can see: its class's background brush and the fonts of its
// controls (GDI objects and control data do not cross processes under Wine).
void WriteReport(HWND window) {
  std::FILE* out = std::fopen(TempFile("zelvane-report-").c_str(), "wb");
  if (out == nullptr) return;
  std::fprintf(out, "brush\t%lu\n",
               static_cast<unsigned long>(::GetClassLongPtrA(window, GCLP_HBRBACKGROUND)));
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    LOGFONTA font = {};
    const auto handle = reinterpret_cast<HFONT>(::SendMessageA(child, WM_GETFONT, 0, 0));
    if (handle != nullptr) ::GetObjectA(handle, sizeof(font), &font);
    char className[64] = {};
    ::GetClassNameA(child, className, sizeof(className));
    std::fprintf(out, "font\t%s\t%ld\t%s\n", className, static_cast<long>(font.lfHeight),
                 font.lfFaceName);
  }
  std::fprintf(out, "END\n");
  std::fclose(out);
}

}  // namespace

extern "C" LRESULT CALLBACK CallWndHook(int code, WPARAM wParam,
                                                             LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  static const UINT reportMessage = ::RegisterWindowMessageA("ZelvaneTrayTestReport");
  if (code == HC_ACTION && message->message == reportMessage) WriteReport(message->hwnd);
  if (code == HC_ACTION && message->message == WM_INITMENUPOPUP && HIWORD(message->lParam) == 0) {
    if (std::FILE* out = std::fopen(TempFile("zelvane-menu-").c_str(), "ab")) {
      std::fprintf(out, "MENU\n");
      DumpMenu(out, reinterpret_cast<HMENU>(message->wParam), 0);
      std::fprintf(out, "END\n");
      std::fclose(out);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
