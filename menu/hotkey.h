// The hotkey line: `hotkey 'Ctrl+Alt+Z'` names the key combination that opens the tray's
// left-click menu. Its word holds no keyword, so every reader of the file that knows nothing of
// it ignores the line.
#pragma once

#include <string>
#include <string_view>

namespace zel::menu {

class LineScan;

// The modifier bits as RegisterHotKey takes them (MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN).
inline constexpr unsigned kModAlt = 1, kModCtrl = 2, kModShift = 4, kModWin = 8;

struct Hotkey {
  unsigned modifiers = 0;
  unsigned key = 0;  // the virtual-key code
};

// A line whose first word is "hotkey" (any case), with no comment mark and no keyword in it:
// one that both programs otherwise ignore.
bool IsHotkeyLine(std::string_view line, const LineScan& scan);

// Reads "Ctrl+Alt+Z": modifiers (Ctrl, Alt, Shift, Win) and one key (a letter, a digit, F1 to
// F24 or a named key), joined by "+", in any case. Nothing when it reads; otherwise why not.
std::string ParseHotkey(std::string_view text, Hotkey& hotkey);

// The named keys, "Space, Tab, ...", as the message for an unknown name lists them.
std::string KeyNames();

}  // namespace zel::menu
