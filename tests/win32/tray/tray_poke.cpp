// tray_poke: clicks the running tray program's icon from outside, for demos and screenshots.
//   tray_poke left | right      release a mouse button over the icon
//   tray_poke command N         send the menu command N (1033 is the first entry)
//   tray_poke exit              choose "Exit"
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
  } else if (std::strcmp(what, "exit") == 0) {
    ::PostMessageA(tray, WM_COMMAND, 0x402, 0);
  } else {
    std::fprintf(stderr, "usage: tray_poke left|right|command N|exit\n");
    return 2;
  }
  return 0;
}
