// A hook library that the desktop tests load into the tray program and the editor, to see what
// only the program can: another process cannot read an HMENU, a control's font or a bitmap.
// Into %TEMP%\zelvane-<what>-<pid>.txt it writes
// - "menu": each popup menu as it opens (MenuText), and "icons": its items' bitmap widths;
// - "report", on the registered message "ZelvaneTrayTestReport": the popups shown and held;
// - "layout", on "ZelvaneTestLayout" (wParam: the DPI the window is laid out for, 0 for the
//   one the system says): whether each control's text fits it in its font, and the width of
//   each icon a static control shows.
// On "ZelvaneTestDpi" (wParam: a DPI, lParam: a width and height) it tells the window that its
// DPI changed, as the system does when the window moves to another monitor.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <string>

#include "tests/win32/support.h"
#include "ui/dpi_scale.h"
#include "win/dpi_win32.h"

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

// The width of each item's bitmap in a popup, "-" for none, a blank between.
void WriteIcons(HMENU popup) {
  std::string widths;
  for (int i = 0; i < ::GetMenuItemCount(popup); ++i) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_BITMAP;
    ::GetMenuItemInfoA(popup, static_cast<UINT>(i), TRUE, &info);
    BITMAP bitmap = {};
    const bool has = info.hbmpItem != nullptr &&
                     ::GetObjectA(info.hbmpItem, sizeof(bitmap), &bitmap) == int{sizeof(bitmap)};
    widths += (i == 0 ? "" : " ") + (has ? std::to_string(bitmap.bmWidth) : std::string("-"));
  }
  WriteTemp("icons", widths + "\n");
}

// A window's class name, in small letters.
std::string KindOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof(name));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof(text));
  return text;
}

// "<class> <text> font <height> <face>: fits", or "...: clipped, needs WxH in WxH": whether
// the control's text, drawn in its font, fits inside it. Text that scrolls (a multi-line edit
// control, a list) is not measured ("<class> font <height> <face>: scrolls"), nor the width of
// text cut at the window's edge by design
// (SS_LEFTNOWORDWRAP) or of an edit field's. A push button needs its edge and focus frame
// around the text: 3 pixels at 96 DPI on every side.
std::string FitOf(HWND control, unsigned dpi) {
  const std::string kind = KindOf(control);
  const LONG style = ::GetWindowLongA(control, GWL_STYLE);
  if (kind == "static" && (style & SS_TYPEMASK) == SS_ICON) {
    ICONINFO icon = {};
    BITMAP mask = {};
    const HICON shown = reinterpret_cast<HICON>(::SendMessageA(control, STM_GETICON, 0, 0));
    if (shown != nullptr && ::GetIconInfo(shown, &icon)) {
      ::GetObjectA(icon.hbmMask, sizeof(mask), &mask);
      ::DeleteObject(icon.hbmMask);
      if (icon.hbmColor != nullptr) ::DeleteObject(icon.hbmColor);
    }
    return "icon " + std::to_string(mask.bmWidth) + "\n";
  }
  const HFONT font = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  LOGFONTA made = {};
  ::GetObjectA(font, sizeof(made), &made);
  const std::string madeAs =
      " font " + std::to_string(made.lfHeight) + " " + std::string(made.lfFaceName);
  if (kind == "listbox" || (kind == "edit" && (style & ES_MULTILINE) != 0)) {
    return kind + madeAs + ": scrolls\n";
  }
  const std::string text = TextOf(control);
  // A DC of its own: a control's may be its parent's or its class's, shared with their fonts.
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = ::SelectObject(dc, font);
  RECT needs = {};
  const bool noPrefix = kind != "button" && (style & SS_NOPREFIX) != 0;
  ::DrawTextA(dc, text.empty() ? "Ag" : text.c_str(), -1, &needs,
              DT_CALCRECT | DT_SINGLELINE | (noPrefix ? DT_NOPREFIX : 0));
  ::SelectObject(dc, previous);
  ::DeleteDC(dc);
  const int frame = kind == "button" ? 2 * zel::ui::Scaled(3, dpi) : 0;
  const bool widthCut = kind == "edit" || (kind == "static" && (style & SS_LEFTNOWORDWRAP) != 0);
  RECT has = {};
  ::GetClientRect(control, &has);
  const bool fits =
      (widthCut || needs.right + frame <= has.right) && needs.bottom + frame <= has.bottom;
  return kind + " " + text + madeAs +
         (fits ? ": fits"
               : ": clipped, needs " + std::to_string(needs.right + frame) + "x" +
                     std::to_string(needs.bottom + frame) + " in " + std::to_string(has.right) +
                     "x" + std::to_string(has.bottom)) +
         "\n";
}

// At `dpi`, the one the window is laid out for (0: the one the system says it is at).
void WriteLayout(HWND window, unsigned dpi) {
  if (dpi == 0) dpi = zel::win::DpiOf(window);
  std::string layout;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    layout += FitOf(child, dpi);
  }
  WriteTemp("layout", layout);
}

void TellDpi(HWND window, unsigned dpi, LPARAM size) {
  RECT suggested = {};
  ::GetWindowRect(window, &suggested);
  suggested.right = suggested.left + LOWORD(size);
  suggested.bottom = suggested.top + HIWORD(size);
  ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

}  // namespace

extern "C" LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  static const UINT reportMessage = ::RegisterWindowMessageA("ZelvaneTrayTestReport");
  static const UINT layoutMessage = ::RegisterWindowMessageA("ZelvaneTestLayout");
  static const UINT dpiMessage = ::RegisterWindowMessageA("ZelvaneTestDpi");
  if (code != HC_ACTION) return ::CallNextHookEx(nullptr, code, wParam, lParam);
  if (message->message == reportMessage) WriteReport();
  if (message->message == layoutMessage) {
    WriteLayout(message->hwnd, static_cast<unsigned>(message->wParam));
  }
  if (message->message == dpiMessage) {
    TellDpi(message->hwnd, static_cast<unsigned>(message->wParam), message->lParam);
  }
  if (message->message == WM_INITMENUPOPUP && HIWORD(message->lParam) == 0) {
    const auto popup = reinterpret_cast<HMENU>(message->wParam);
    g_popups.insert(popup);
    ++g_shown;
    WriteTemp("menu", zel::test::MenuText(popup));
    WriteIcons(popup);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
