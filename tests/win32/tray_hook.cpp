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

// Stands in for one icon function: counts the call and passes it on.
template <typename Function>
struct Counted;
template <typename Result, typename... Args>
struct Counted<Result(WINAPI*)(Args...)> {
  static inline Result(WINAPI* real)(Args...) = nullptr;
  static Result WINAPI Call(Args... args) {
    ::InterlockedIncrement(&g_iconsMade);
    return real(args...);
  }
};

// Points the program's import slot of user32's `name` at its counting stand-in. (The address
// comes from GetProcAddress: taking it in this library could give a local jump stub.)
template <typename Function>
void Count(const char* name) {
  const auto real = reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), name)));
  Counted<Function>::real = real;
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name != 0; ++library) {
    for (auto* slot = reinterpret_cast<Function*>(base + library->FirstThunk); *slot != nullptr; ++slot) {
      if (*slot != real) continue;
      DWORD old = 0;
      ::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old);
      *slot = &Counted<Function>::Call;
      ::VirtualProtect(slot, sizeof(*slot), old, &old);
    }
  }
}

void CountIconsMade() {
  Count<decltype(&::LoadImageA)>("LoadImageA");
  Count<decltype(&::LoadImageW)>("LoadImageW");
  Count<decltype(&::LoadIconA)>("LoadIconA");
  Count<decltype(&::LoadIconW)>("LoadIconW");
  Count<decltype(&::CopyIcon)>("CopyIcon");
}

// ---- menus and what only the program sees

// One line an item: "<two spaces a level><kind> <id>[ checked][ <caption>]".
void DumpMenu(std::FILE* out, HMENU menu, int depth) {
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    char text[512] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = sizeof(text);
    ::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    const char* kind = (info.fType & MFT_SEPARATOR) ? "sep" : info.hSubMenu ? "sub" : "item";
    std::fprintf(out, "%*s%s %u%s%s%s\n", depth * 2, "", kind, info.hSubMenu ? 0u : info.wID,
                 (info.fState & MFS_CHECKED) ? " checked" : "", *text ? " " : "", text);
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
