// tray_poke: clicks the running tray program's icon from outside, for demos and screenshots.
//   tray_poke left | right      release a mouse button over the icon
//   tray_poke command N         send the menu command N (1033 is the first entry)
//   tray_poke exit              choose "Exit"
//   tray_poke key down|right|return|escape   a key for the open popup menu
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const HWND tray = ::FindWindowA("Zelvane", nullptr);
  if (tray == nullptr) {
    std::fprintf(stderr, "tray_poke: Zelvane is not running\n");
    return 1;
  }
  const char* what = argc > 1 ? argv[1] : "";
  if (std::strcmp(what, "left") == 0) {
    ::PostMessageA(tray, 0x401, 0, WM_LBUTTONUP);
  } else if (std::strcmp(what, "right") == 0) {
    ::PostMessageA(tray, 0x401, 0, WM_RBUTTONUP);
  } else if (std::strcmp(what, "command") == 0 && argc > 2) {
    ::PostMessageA(tray, WM_COMMAND, std::strtoul(argv[2], nullptr, 10), 0);
  } else if (std::strcmp(what, "key") == 0 && argc > 2) {
    const HWND popup = ::FindWindowA("#32768", nullptr);
    const char* key = argv[2];
    const WPARAM vk = std::strcmp(key, "down") == 0     ? VK_DOWN
                      : std::strcmp(key, "right") == 0  ? VK_RIGHT
                      : std::strcmp(key, "return") == 0 ? VK_RETURN
                                                        : VK_ESCAPE;
    if (popup != nullptr) ::PostMessageA(popup, WM_KEYDOWN, vk, 0);
  } else if (std::strcmp(what, "exit") == 0) {
    ::PostMessageA(tray, WM_COMMAND, 0x402, 0);
  } else {
    std::fprintf(stderr, "usage: tray_poke left|right|command N|key K|exit\n");
    return 2;
  }
  return 0;
}
