// The menu file's hotkey line: its key combination, registered on the main window, opens the
// left-click menu from the keyboard.
#include <windows.h>

#include <cstdio>
#include <string>

#include "menu/hotkey.h"
#include "tray/tray_ids.h"
#include "tray/tray_state_win32.h"
#include "win/error_text_win32.h"

namespace zel::tray {

void UseHotkey(const menu::BuildResult& build) {
  std::optional<std::string> wanted;
  if (build.hotkeyLine != 0) wanted = build.hotkeyText;
  // A line as it was is neither registered nor reported again, whether it worked or not.
  if (wanted == g_tray.hotkeyText) return;
  // Taken before the message box: a build inside the box's modal loop finds nothing new.
  g_tray.hotkeyText = wanted;
  if (g_tray.hotkeyRegistered) ::UnregisterHotKey(g_tray.mainWindow, kHotkeyId);
  g_tray.hotkeyRegistered = false;
  if (!wanted) return;
  menu::Hotkey hotkey;
  std::string why = menu::ParseHotkey(*wanted, hotkey);
  if (why.empty()) {
    // MOD_NOREPEAT: a held combination opens the menu once, not once per key repeat.
    g_tray.hotkeyRegistered =
        ::RegisterHotKey(g_tray.mainWindow, kHotkeyId, hotkey.modifiers | MOD_NOREPEAT,
                         hotkey.key) != FALSE;
    if (g_tray.hotkeyRegistered) return;
    why = "another program or Windows holds it: " + win::ErrorText(::GetLastError());
  }
  char text[1024];
  std::snprintf(text, sizeof(text),
                "The hotkey '%s' on line %u of the menu file does not open the menu: %s",
                wanted->c_str(), static_cast<unsigned>(build.hotkeyLine), why.c_str());
  ::MessageBoxA(g_tray.mainWindow, text, "Zelvane", MB_OK | MB_ICONWARNING);
}

}  // namespace zel::tray
