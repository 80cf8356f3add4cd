// A hook library that the tray tests load into the running tray program: another process
// cannot read an HMENU, so this one writes each popup menu, as it opens, to a file that the
// test reads: %TEMP%\zelvane-menu-<pid>.txt; and on the registered message
// "ZelvaneTrayTestReport" it reports what only the program can see. Once inside, it counts
// the icons the program makes, by standing in for the icon functions in its import table.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// ---- icons made by the program, counted through its import table

LONG g_iconsMade = 0;
decltype(&::LoadImageA) g_loadImageA = nullptr;
decltype(&::LoadImageW) g_loadImageW = nullptr;
decltype(&::LoadIconA) g_loadIconA = nullptr;
decltype(&::LoadIconW) g_loadIconW = nullptr;
decltype(&::CopyImage) g_copyImage = nullptr;
decltype(&::CopyIcon) g_copyIcon = nullptr;
decltype(&::CreateIconIndirect) g_createIconIndirect = nullptr;

HANDLE WINAPI CountedLoadImageA(HINSTANCE a, LPCSTR b, UINT c, int d, int e, UINT f) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_loadImageA(a, b, c, d, e, f);
}
HANDLE WINAPI CountedLoadImageW(HINSTANCE a, LPCWSTR b, UINT c, int d, int e, UINT f) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_loadImageW(a, b, c, d, e, f);
}
HICON WINAPI CountedLoadIconA(HINSTANCE a, LPCSTR b) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_loadIconA(a, b);
}
HICON WINAPI CountedLoadIconW(HINSTANCE a, LPCWSTR b) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_loadIconW(a, b);
}
HANDLE WINAPI CountedCopyImage(HANDLE a, UINT b, int c, int d, UINT e) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_copyImage(a, b, c, d, e);
}
HICON WINAPI CountedCopyIcon(HICON a) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_copyIcon(a);
}
HICON WINAPI CountedCreateIconIndirect(PICONINFO a) {
  ::InterlockedIncrement(&g_iconsMade);
  return g_createIconIndirect(a);
}

// Points every import slot of the program that holds one of the icon functions at its
// counting stand-in.
void CountIconsMade() {
  const HMODULE user32 = ::GetModuleHandleA("user32.dll");
  struct Swap {
    const char* name;
    void** real;
    void* counted;
  } swaps[] = {
      {"LoadImageA", reinterpret_cast<void**>(&g_loadImageA), reinterpret_cast<void*>(&CountedLoadImageA)},
      {"LoadImageW", reinterpret_cast<void**>(&g_loadImageW), reinterpret_cast<void*>(&CountedLoadImageW)},
      {"LoadIconA", reinterpret_cast<void**>(&g_loadIconA), reinterpret_cast<void*>(&CountedLoadIconA)},
      {"LoadIconW", reinterpret_cast<void**>(&g_loadIconW), reinterpret_cast<void*>(&CountedLoadIconW)},
      {"CopyImage", reinterpret_cast<void**>(&g_copyImage), reinterpret_cast<void*>(&CountedCopyImage)},
      {"CopyIcon", reinterpret_cast<void**>(&g_copyIcon), reinterpret_cast<void*>(&CountedCopyIcon)},
      {"CreateIconIndirect", reinterpret_cast<void**>(&g_createIconIndirect),
       reinterpret_cast<void*>(&CountedCreateIconIndirect)},
  };
  for (Swap& swap : swaps) *swap.real = reinterpret_cast<void*>(::GetProcAddress(user32, swap.name));

  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    for (auto* slot = reinterpret_cast<void**>(base + library->FirstThunk); *slot != nullptr; ++slot) {
      for (const Swap& swap : swaps) {
        if (*swap.real == nullptr || *slot != *swap.real) continue;
        DWORD old = 0;
        ::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old);
        *slot = swap.counted;
        ::VirtualProtect(slot, sizeof(*slot), old, &old);
      }
    }
  }
}

// ---- menus and what only the program sees

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
  std::fprintf(out, "icons made\t%ld\n", static_cast<long>(g_iconsMade));
  std::fprintf(out, "END\n");
  std::fclose(out);
}

}  // namespace

extern "C" LRESULT CALLBACK CallWndHook(int code, WPARAM wParam,
                                                             LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  static const UINT reportMessage = ::RegisterWindowMessageA("ZelvaneTrayTestReport");
  static const bool counting = (CountIconsMade(), true);
  (void)counting;
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
