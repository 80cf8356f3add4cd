// Zelvane.exe: start-up, the hidden main window that holds the prompt, the tray icon and the
// message loop.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "tray/leftovers.h"
#include "tray/prompt_layout.h"
#include "tray/tray_ids.h"
#include "tray/tray_state_win32.h"
#include "win/dpi_win32.h"

namespace zel::tray {

TrayState g_tray;

namespace {

constexpr char kClassName[] = "Zelvane";
constexpr char kWindowTitle[] = "Zelvane";
constexpr char kIconName[] = "Ico";  // resource names match without regard to case: "ICO"

void RegisterMainClass() {
  WNDCLASSA windowClass = {};
  windowClass.style = 0xC8;  // CS_DBLCLKS | CS_CLASSDC | CS_PARENTDC
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = g_tray.instance;
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassA(&windowClass);  // a failure shows as a missing window; nothing to retry
}

void CreateMainWindow() {
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &g_tray.workArea, 0);
  const int right = g_tray.workArea.right;
  const int bottom = g_tray.workArea.bottom;
  const ui::Box base = PromptWindowBox(right, bottom, ui::kBaseDpi);
  g_tray.mainWindow =
      ::CreateWindowExA(WS_EX_WINDOWEDGE, kClassName, kWindowTitle, 0, base.left, base.top,
                        base.width, base.height, nullptr, nullptr, g_tray.instance, nullptr);
  // Made on the monitor of that place, in its DPI's pixels: sized again for it.
  const unsigned dpi = win::DpiOf(g_tray.mainWindow);
  if (dpi != ui::kBaseDpi) {
    win::Place(g_tray.mainWindow, PromptWindowBox(right, bottom, dpi), false);
  }
  CreatePromptControls(dpi);
}

int RunMessageLoop() {
  MSG message;
  // Only the main window's and its controls' messages: no dialog-style keyboard handling.
  for (;;) {
    // Wide: a character the code page lacks, typed into the prompt, reaches the edit field.
    const BOOL got = ::GetMessageW(&message, g_tray.mainWindow, 0, 0);
    // -1: the filter window is gone or the call failed; spinning on it would never end.
    if (got == 0 || got == -1) break;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    if (!::IsWindow(g_tray.mainWindow)) break;
  }
  return 0;
}

bool AddIconOnce() {
  NOTIFYICONDATAA& data = g_tray.trayIconData;
  data = {};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;  // 88: the record without its later extensions
  data.hWnd = g_tray.mainWindow;
  data.uID = 0;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAYICON;
  data.hIcon = g_tray.icon.get();
  static const char kTip[64] = "Zelvane";
  std::memcpy(data.szTip, kTip, sizeof(kTip));
  return ::Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

}  // namespace

win::UniqueHicon ProgramIcon(int width, int height) {
  return win::UniqueHicon(static_cast<HICON>(
      ::LoadImageA(g_tray.instance, kIconName, IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}

void LoadProgramIcon() {
  g_tray.icon = ProgramIcon(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON));
}

void AddTrayIcon() {
  if (AddIconOnce()) {
    ::KillTimer(g_tray.mainWindow, kIconRetryTimer);
    return;
  }
  // Started from the Run key, the program often comes before the taskbar takes icons, and
  // TaskbarCreated never follows, because the taskbar already exists: try again every two
  // seconds, for two minutes at most.
  g_tray.iconRetriesLeft = kIconRetries;
  ::SetTimer(g_tray.mainWindow, kIconRetryTimer, kIconRetryMilliseconds, nullptr);
}

void RetryTrayIcon() {
  if (AddIconOnce() || --g_tray.iconRetriesLeft <= 0) {
    ::KillTimer(g_tray.mainWindow, kIconRetryTimer);
  }
}

void DeleteTrayIcon() { ::Shell_NotifyIconA(NIM_DELETE, &g_tray.trayIconData); }

}  // namespace zel::tray

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace zel::tray;
  static_assert(sizeof(void*) != 4 || NOTIFYICONDATAA_V1_SIZE == 88, "icon record of 88 bytes");
  g_tray.instance = instance;
  DeleteLeftovers();  // what an upgrade could not remove while it was in use
  g_tray.taskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");
  RegisterMainClass();
  CreateMainWindow();  // stays hidden until the prompt is needed
  ::SetFocus(g_tray.edit);
  ::UpdateWindow(g_tray.mainWindow);
  LoadProgramIcon();  // once: the icon serves every re-added tray icon
  AddTrayIcon();
  BuildEntryMenu();  // the hotkey line's key works from the start
  return RunMessageLoop();
}
