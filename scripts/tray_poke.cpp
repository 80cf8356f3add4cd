// tray_poke: clicks the running tray program's icon from outside, for demos, screenshots and the
// installer test. Each waits for the window it drives and for what it does to show.
//   tray_poke running           returns once the program's window is there (fails after 15 s)
//   tray_poke left | right      release a mouse button over the icon; returns once the menu shows
//   tray_poke command N         the menu command N (1033 is the first entry), once handled
//   tray_poke exit              choose "Exit"; returns once the program's window is gone
//   tray_poke key down|right|return|escape   a key for the open popup menu
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scripts/poke.h"
#include "tray/tray_ids.h"

namespace {

int VisibleMenus() {
  int count = 0;
  for (HWND menu = nullptr;
       (menu = ::FindWindowExA(nullptr, menu, "#32768", nullptr)) != nullptr;) {
    count += ::IsWindowVisible(menu) ? 1 : 0;
  }
  return count;
}

// Posts a key to the open menu; a key that opens or closes a menu returns once it has.
bool Key(const char* key) {
  const HWND popup = ::FindWindowA("#32768", nullptr);
  if (popup == nullptr) return false;
  const bool down = std::strcmp(key, "down") == 0;
  const WPARAM vk = down                              ? VK_DOWN
                    : std::strcmp(key, "right") == 0  ? VK_RIGHT
                    : std::strcmp(key, "return") == 0 ? VK_RETURN
                                                      : VK_ESCAPE;
  const int before = VisibleMenus();
  ::PostMessageA(popup, WM_KEYDOWN, vk, 0);
  return down || zel::poke::WaitFor([&] { return VisibleMenus() != before; }, 5000);
}

}  // namespace

int main(int argc, char** argv) {
  const HWND tray = zel::poke::WaitForWindow("Zelvane");
  if (tray == nullptr) {
    std::fprintf(stderr, "tray_poke: Zelvane is not running\n");
    return 1;
  }
  const char* what = argc > 1 ? argv[1] : "";
  bool done = true;
  if (std::strcmp(what, "running") == 0) {
  } else if (std::strcmp(what, "left") == 0 || std::strcmp(what, "right") == 0) {
    ::PostMessageA(tray, zel::tray::WM_TRAYICON, 0, what[0] == 'l' ? WM_LBUTTONUP : WM_RBUTTONUP);
    done = zel::poke::WaitFor([] { return VisibleMenus() > 0; }, 5000);
  } else if (std::strcmp(what, "command") == 0 && argc > 2) {
    zel::poke::SendCommand(tray, std::strtoul(argv[2], nullptr, 10));
  } else if (std::strcmp(what, "key") == 0 && argc > 2) {
    done = Key(argv[2]);
  } else if (std::strcmp(what, "exit") == 0) {
    ::PostMessageA(tray, WM_COMMAND, zel::tray::IDM_EXIT, 0);
    done = zel::poke::WaitFor([&] { return !::IsWindow(tray); }, 5000);
  } else {
    std::fprintf(stderr, "usage: tray_poke running|left|right|command N|key K|exit\n");
    return 2;
  }
  if (!done) std::fprintf(stderr, "tray_poke: %s: nothing showed\n", what);
  return done ? 0 : 1;
}
