// A hook library that the tray tests load into the running tray program: another process
// cannot read an HMENU, so this one writes each popup menu, as it opens, to a file that the
// test reads: %TEMP%\zelvane-menu-<pid>.txt; and on the registered message
// "ZelvaneTrayTestReport" it reports what only the program can see into
// %TEMP%\zelvane-report-<pid>.txt. Once inside, it counts the icons the program makes, by
// standing in for the icon functions in its import table.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/win32/support.h"

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
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports);
       library->Name != 0; ++library) {
    for (auto* slot = reinterpret_cast<Function*>(base + library->FirstThunk); *slot != nullptr;
         ++slot) {
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

std::set<HMENU> g_popups;  // every popup menu shown

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

// Its class's background brush and the fonts of its controls (GDI objects and control data do
// not cross processes under Wine), the icons it made, and the popup menus it still holds.
void WriteReport(HWND window) {
  std::string report =
      "brush " + std::to_string(::GetClassLongPtrA(window, GCLP_HBRBACKGROUND)) + "\n";
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    LOGFONTA font = {};
    ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(child, WM_GETFONT, 0, 0)), sizeof(font),
                 &font);
    report += "font " + std::to_string(font.lfHeight) + " " + font.lfFaceName + "\n";
  }
  int alive = 0;
  for (HMENU popup : g_popups) alive += ::IsMenu(popup) ? 1 : 0;
  report += "icons made " + std::to_string(g_iconsMade) + "\npopups alive " +
            std::to_string(alive) + "\n";
  WriteTemp("report", report);
}

}  // namespace

extern "C" LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  static const UINT reportMessage = ::RegisterWindowMessageA("ZelvaneTrayTestReport");
  [[maybe_unused]] static const bool counting = (CountIconsMade(), true);
  if (code == HC_ACTION && message->message == reportMessage) WriteReport(message->hwnd);
  if (code == HC_ACTION && message->message == WM_INITMENUPOPUP && HIWORD(message->lParam) == 0) {
    g_popups.insert(reinterpret_cast<HMENU>(message->wParam));
    WriteTemp("menu", zel::test::MenuText(reinterpret_cast<HMENU>(message->wParam)));
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
