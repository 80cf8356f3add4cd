// The least a tray program can be: a hidden window and an icon in the notification area. The
// benchmark compares the tray program's memory with this one's, under the same Wine. Built with
// ZEL_BARE_PROMPT (and a common-controls manifest), it also starts up as the tray program must:
// the common-dialog library loaded, the prompt's five controls made and its edit field focused.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr UINT kIconMessage = WM_USER + 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

#ifdef ZEL_BARE_PROMPT
void StartLikeTheTrayProgram(HWND window, HINSTANCE instance) {
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  ::LoadLibraryA((std::string(system) + "\\comdlg32.dll").c_str());
  HWND edit = nullptr;
  for (const char* className : {"edit", "static", "button", "button", "button"}) {
    const HWND control = ::CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20,
                                           window, nullptr, instance, nullptr);
    if (edit == nullptr) edit = control;
  }
  ::SetFocus(edit);
}
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "ZelvaneBareTray";
  ::RegisterClassA(&windowClass);
  const HWND window = ::CreateWindowExA(0, "ZelvaneBareTray", "Bare tray", WS_OVERLAPPEDWINDOW, 0,
                                        0, 100, 100, nullptr, nullptr, instance, nullptr);
#ifdef ZEL_BARE_PROMPT
  StartLikeTheTrayProgram(window, instance);
#endif
  NOTIFYICONDATAA icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = 1;
  icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  icon.uCallbackMessage = kIconMessage;
  icon.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
  lstrcpyA(icon.szTip, "Bare tray");
  ::Shell_NotifyIconA(NIM_ADD, &icon);
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  ::Shell_NotifyIconA(NIM_DELETE, &icon);
  return 0;
}
