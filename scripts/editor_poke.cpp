// editor_poke: presses a button of the menu editor from outside, for screenshots; waits for the
// editor to start, and returns when the button's work is done.
//   editor_poke save | reload | check
#include <cstdio>
#include <cstring>

#include "scripts/poke.h"
#include "editor/editor_ids.h"

int main(int argc, char** argv) {
  using namespace zel::editor;
  const char* what = argc > 1 ? argv[1] : "";
  const int id = std::strcmp(what, "save") == 0     ? IDC_SAVE
                 : std::strcmp(what, "reload") == 0 ? IDC_RELOAD
                 : std::strcmp(what, "check") == 0  ? IDC_CHECK
                                                    : 0;
  if (id == 0) {
    std::fprintf(stderr, "usage: editor_poke save|reload|check\n");
    return 2;
  }
  const HWND editor = zel::poke::WaitForWindow(kEditorClass);
  if (editor == nullptr) {
    std::fprintf(stderr, "editor_poke: Editor.exe is not running\n");
    return 1;
  }
  zel::poke::SendCommand(editor, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(::GetDlgItem(editor, id)));
  return 0;
}
