// The real Zelvane.exe and Editor.exe on a Wine desktop, driven from outside as a user would:
// what only their windows show, and what their commands do to files, the registry and other
// programs. Each action's test also checks that nothing else happened.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "tests/win32/support.h"
#include "editor/editor_ids.h"
#include "tray/tray_ids.h"
#include "win/code_page_win32.h"
#include "win/dpi_win32.h"
#include "win/paths_win32.h"

namespace zel::test {
namespace {

using namespace tray;
using namespace editor;
const char kRunKey[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

// The first top-level window of a process of a class (visible ones only, if asked), by title.
HWND FindTop(DWORD pid, const char* className, const char* title = nullptr, bool visible = true) {
  for (HWND window = ::GetTopWindow(nullptr); window != nullptr;
       window = ::GetWindow(window, GW_HWNDNEXT)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == pid && (!visible || ::IsWindowVisible(window)) && ClassName(window) == className &&
        (title == nullptr || WindowText(window) == title)) {
      return window;
    }
  }
  return nullptr;
}

// Answers a dialog with a button (IDOK, IDYES, IDNO, IDCANCEL) and waits until it goes.
void Answer(const Dialog& dialog, int button) {
  ::PostMessageA(dialog.handle, WM_COMMAND, button, 0);
  WaitFor([&] { return !::IsWindow(dialog.handle) || !::IsWindowVisible(dialog.handle); }, 5000);
}

// The tray icon of a window, as the shell knows it.
NOTIFYICONDATAA IconOf(HWND window) {
  NOTIFYICONDATAA data = {};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  return data;
}

// A program the test starts (its command line in UTF-16, so any name can be passed) and ends,
// found by its main window's class; the tray program's stays hidden, so it is found either way.
class Program {
 public:
  Program(const std::wstring& commandLine, const std::string& currentFolder,
          const char* windowClass) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring line = commandLine;
    const std::wstring folder = win::Widen(currentFolder);
    // Programs under Wine see the desktop's windows only once its shell is up, which asking
    // for the desktop window starts.
    ::GetDesktopWindow();
    if (!WaitFor([] { return ::FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }, 20000) ||
        !::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process_) ||
        !WaitFor(
            [&] { return (window_ = FindTop(pid(), windowClass, nullptr, false)) != nullptr; })) {
      throw std::runtime_error("no window " + std::string(windowClass) + " of " +
                               win::Narrow(commandLine, TextKind::Utf8));
    }
  }
  ~Program() {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
    ::TerminateProcess(process_.hProcess, 1);
    ::WaitForSingleObject(process_.hProcess, 5000);
    WaitFor([&] { return !::IsWindow(window_); }, 5000);  // the next test must not find it
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
  }
  HWND window() const { return window_; }
  DWORD pid() const { return process_.dwProcessId; }
  DWORD WaitForExit(int milliseconds = 10000) const {  // the exit code, or STILL_ACTIVE
    ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds));
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }
  HWND Find(const char* className, const char* title = nullptr) const {
    return FindTop(pid(), className, title);
  }
  Dialog WaitForDialog(const char* title = nullptr) const {
    HWND found = nullptr;
    WaitFor([&] { return (found = Find("#32770", title)) != nullptr; });
    return found != nullptr ? ReadDialog(found) : Dialog{};
  }
  std::string Text(int id) const {
    return WindowText(id == 0 ? window_ : ::GetDlgItem(window_, id));
  }
  void Command(UINT id) const { ::PostMessageA(window_, WM_COMMAND, id, 0); }  // may open a box
  // Loads the hook library into the program's thread: it writes what only the program sees.
  void Hook() {
    const auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(::GetProcAddress(hookLibrary_.get(), "CallWndHook")));
    hook_ = ::SetWindowsHookExA(WH_CALLWNDPROC, proc, hookLibrary_.get(),
                                ::GetWindowThreadProcessId(window_, nullptr));
  }
  // Whether each control's text fits it, a line each (the hook's "layout"), of the main window
  // or another of the program's windows, laid out for `dpi` (0: the one the system says).
  std::string Layout(unsigned dpi = 0, HWND window = nullptr) const {
    ::SendMessageA(window != nullptr ? window : window_,
                   ::RegisterWindowMessageA("ZelvaneTestLayout"), dpi, 0);
    return Dump("layout");
  }
  // Tells the window that its DPI is now `dpi`, with the place the system would suggest.
  void TellDpi(unsigned dpi, int width, int height) const {
    ::SendMessageA(window_, ::RegisterWindowMessageA("ZelvaneTestDpi"), dpi,
                   MAKELPARAM(width, height));
  }
  // Posts a message that opens one modal box, which the program must own, answers it, and
  // gives "CAPTION: text".
  std::string Ask(UINT message, WPARAM wParam, int answer = IDOK, LPARAM lParam = 0) const {
    ::PostMessageA(window_, message, wParam, lParam);
    const Dialog box = WaitForDialog();
    EXPECT_EQ(box.owner, window_);
    Answer(box, answer);
    return box.title + ": " + box.text;
  }

  // What the hook wrote into %TEMP%\zelvane-<stem>-<pid>.txt, once it ends with END; the file
  // is taken away.
  std::string Dump(const char* stem) const {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string path =
        std::string(temp) + "zelvane-" + stem + "-" + std::to_string(pid()) + ".txt";
    std::string dump;
    WaitFor([&] { return (dump = ReadBytes(path)).find("END\n") != std::string::npos; }, 5000);
    ::DeleteFileA(path.c_str());
    return dump.substr(0, dump.find("END\n"));
  }

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  win::UniqueHmodule hookLibrary_{::LoadLibraryA(Built("tests/win32/inside_hook.dll").c_str())};
  HHOOK hook_ = nullptr;
};

// The tray program, driven through its icon's messages and the hook library inside it, which
// writes each popup menu as it opens and, asked, a report of what only the program can see.
class TrayProgram : public Program {
 public:
  explicit TrayProgram(const std::string& exe, const std::string& currentFolder = "")
      : Program(L"\"" + win::Widen(exe) + L"\"", currentFolder, "Zelvane") {
    WaitFor([&] { return HasTrayIcon(); }, 5000);  // added right after the window
    Hook();
  }
  ~TrayProgram() {
    NOTIFYICONDATAA data = IconOf(window());
    ::Shell_NotifyIconA(NIM_DELETE, &data);  // a terminated program leaves its icon behind
  }
  std::string OpenMenu(UINT mouseMessage) {  // the popup's text; it stays open
    ::PostMessageA(window(), WM_TRAYICON, 0, mouseMessage);
    return ShownMenu();
  }
  std::string ShownMenu() const {  // the popup's text once it opens; it stays open
    if (!WaitFor([&] { return Popup() != nullptr; })) throw std::runtime_error("no popup menu");
    return Dump("menu");
  }
  HWND Popup() const { return Find("#32768"); }
  void CloseMenu() {
    ::PostMessageA(Popup(), WM_KEYDOWN, VK_ESCAPE, 0);
    WaitFor([&] { return Popup() == nullptr; }, 5000);
  }
  void ChooseWithKeys(int n) {  // the n-th selectable item (from 1) of the open popup
    const HWND popup = Popup();
    for (int i = 0; i < n; ++i) ::PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    WaitFor([&] { return Popup() == nullptr; }, 5000);
  }
  std::string InsideReport() const {
    ::SendMessageA(window(), ::RegisterWindowMessageA("ZelvaneTrayTestReport"), 0, 0);
    return Dump("report");
  }
  bool HasTrayIcon() const {
    NOTIFYICONDATAA data = IconOf(window());
    return ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
  }
};

// The menu editor started with an argument text, once it has read the menu file.
class EditorProgram : public Program {
 public:
  explicit EditorProgram(const std::wstring& argumentText = L"")
      : Program(L"\"" + win::Widen(Built("editor/Editor.exe")) + L"\" " + argumentText, "",
                kEditorClass) {
    WaitFor([&] { return !Text(IDC_STATUS).empty(); });  // the file has been read
  }
  void Type(const std::string& text) const {  // a replaced selection is typing to the window
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(::GetDlgItem(window(), IDC_TEXT), EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG,
                          5000, &result);
    ::SendMessageTimeoutA(::GetDlgItem(window(), IDC_TEXT), EM_REPLACESEL, TRUE,
                          reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
  }
  bool WaitForStatus(const std::string& part) const {
    return WaitFor([&] { return Text(IDC_STATUS).find(part) != std::string::npos; });
  }
};

// Every test runs its own copy of the program from a scratch folder, so the files beside it
// (Editor.exe, zelshell.dll) are the test's to choose; `tool.exe` is the recorder.
struct Tray {
  UserMenuFile menu;
  ScratchFolder folder;
  std::string exe = folder.Copy(Built("tray/Zelvane.exe"), "Zelvane.exe");
  std::string tool = folder.Copy(Built("tests/win32/zel_recorder.exe"), "tool.exe");
  ScratchFolder elsewhere;  // the program's current folder
};

void Click(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }
void SetText(HWND control, const std::wstring& text) {
  ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Hidden, with its icon; the file's menus on released buttons, one popup held at a time; the
// editor from the program's folder; the icon back after a shell restart; Exit ends it with its
// icon.
TEST(Tray, ShowsTheFilesMenusAndItsCommandsAndEndsWithItsIcon) {
  Tray tray;
  tray.menu.Set(
      "item 'Notepad','notepad.exe'\r\ncitem 'Shell only','x.exe'\r\nsep\r\n"
      "sub 'Folders'\r\nitem 'Windows','explorer.exe','C:\\Windows'\r\nend\r\nAdd\r\n");
  tray.folder.Copy(tray.tool, "Editor.exe");
  TrayProgram program(tray.exe, tray.elsewhere.path());
  EXPECT_FALSE(::IsWindowVisible(program.window()));

  // The options' items are in tests/cases: here, that they follow the entries.
  const std::string entries = "item 1033 Notepad\nsep 0\nsub 0 Folders\n  item 1034 Windows\n";
  EXPECT_EQ(program.OpenMenu(WM_RBUTTONUP).rfind(entries + "sep 0\nsub 0 Options\n", 0), 0u);
  program.CloseMenu();
  // Handled in order: when the release's menu opens, the others have shown none.
  for (UINT mouse : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE}) {
    ::PostMessageA(program.window(), WM_TRAYICON, 0, mouse);
  }
  EXPECT_EQ(program.OpenMenu(WM_LBUTTONUP), entries);
  program.CloseMenu();

  program.Command(IDM_MENUEDITOR);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "Editor"),
            Started("\"" + tray.folder.path() + "\\Editor.exe\" ", tray.elsewhere.path()));
  NOTIFYICONDATAA data = IconOf(program.window());
  ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &data));  // as if the shell had restarted
  ::PostMessageA(program.window(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_TRUE(WaitFor([&] { return program.HasTrayIcon(); }, 5000));
  // Refused (here by an icon already in its place, at logon by a taskbar not yet ready), the
  // icon is added again on a timer, with no TaskbarCreated to come.
  ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &data) && ::Shell_NotifyIconA(NIM_ADD, &data));
  ::SendMessageA(program.window(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &data));
  EXPECT_TRUE(WaitFor([&] { return program.HasTrayIcon(); }, 5000));
  EXPECT_EQ(program.InsideReport(), "popups 2, alive 1\n") << "no other menu; none leaked";

  program.Command(IDM_EXIT);
  EXPECT_EQ(program.WaitForExit(), 0u);
  EXPECT_FALSE(program.HasTrayIcon());
}

// Ctrl+Alt+key pressed on the keyboard.
void PressCtrlAlt(WORD key) {
  const WORD keys[] = {VK_CONTROL, VK_MENU, key};
  INPUT inputs[6] = {};
  for (int i = 0; i < 6; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = keys[i < 3 ? i : 5 - i];
    inputs[i].ki.dwFlags = i < 3 ? 0 : KEYEVENTF_KEYUP;
  }
  ::SendInput(6, inputs, sizeof(INPUT));
}

// The hotkey line's combination is the program's from its start (no other can have it): it
// opens the left-click menu ready for the keyboard, Enter running the first entry. A changed
// line takes effect at the next menu and gives the old key back; a combination another program
// holds is said once, in one box, and the program goes on.
TEST(Tray, HotkeyLineOpensTheMenuReadyForTheKeyboard) {
  Tray tray;
  const std::string entries = "item 'Tool','" + tray.tool + "'\r\nitem 'Other','x.exe'\r\n";
  tray.menu.Set("hotkey 'Ctrl+Alt+F11'\r\n" + entries);
  const auto available = [](WORD key) {
    const bool had = ::RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, key) != FALSE;
    if (had) ::UnregisterHotKey(nullptr, 7);
    return had;
  };
  TrayProgram program(tray.exe, tray.elsewhere.path());
  ASSERT_TRUE(WaitFor([&] { return !available(VK_F11); }, 5000));
  PressCtrlAlt(VK_F11);
  EXPECT_EQ(program.ShownMenu(), "item 1033 Tool\nitem 1034 Other\n");
  ::PostMessageA(program.Popup(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "tool"),
            Started("\"" + tray.tool + "\" ", tray.elsewhere.path()));

  ASSERT_TRUE(::RegisterHotKey(nullptr, 8, MOD_CONTROL | MOD_ALT, VK_F12));  // another program's
  tray.menu.Set("hotkey 'Ctrl+Alt+F12'\r\n" + entries);
  const std::string box = program.Ask(WM_TRAYICON, 0, IDOK, WM_LBUTTONUP);
  EXPECT_NE(box.find("hotkey 'Ctrl+Alt+F12' on line 1"), std::string::npos) << box;
  program.ShownMenu();
  program.CloseMenu();
  program.OpenMenu(WM_LBUTTONUP);  // after a second box it would not open
  program.CloseMenu();
  ::UnregisterHotKey(nullptr, 8);
  EXPECT_TRUE(available(VK_F11));
}

// An entry chosen from the menu asks for each placeholder in turn; "..." browses from the
// placeholder's folder without moving the program's current folder; the entry runs after the
// last value, cut to the prompt's 259 characters, in that folder.
TEST(Tray, PromptAsksForEachPlaceholderThenRunsTheEntry) {
  Tray tray;
  const std::string picked = tray.folder.Write("picked file.txt", "x");
  const std::wstring foreign = tray.folder.WriteWide("\xD0\x96\xD0\xB6 picked.txt");
  tray.menu.Set("item 'First','" + tray.tool + "'\r\nitem 'Two','" + tray.tool + "','%input(" +
                tray.folder.path() + ")% and %INPUT(x)%'\r\n");
  TrayProgram program(tray.exe, tray.elsewhere.path());
  const HWND edit = ::GetWindow(program.window(), GW_CHILD);  // the controls in creation order
  const HWND label = ::GetWindow(edit, GW_HWNDNEXT), ok = ::GetWindow(label, GW_HWNDNEXT);
  const HWND cancel = ::GetWindow(ok, GW_HWNDNEXT), dots = ::GetWindow(cancel, GW_HWNDNEXT);
  const auto choose = [&] {
    program.OpenMenu(WM_LBUTTONUP);
    program.ChooseWithKeys(2);  // "Two"
    return WaitFor([&] { return ::IsWindowVisible(program.window()) != FALSE; }) &&
           WindowText(label) == "Parameter #1:";
  };
  const auto browse = [&](const std::wstring& name) {  // an empty name cancels
    Click(dots);
    const Dialog dialog = program.WaitForDialog("Add File");
    ASSERT_NE(dialog.handle, nullptr);
    SetText(::GetDlgItem(dialog.handle, 0x47c), name);  // found in the placeholder's folder
    ::PostMessageA(dialog.handle, WM_COMMAND, name.empty() ? IDCANCEL : IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog.handle); }));
  };
  const auto next = [&] {
    Click(ok);
    return WaitFor([&] { return WindowText(label) == "Parameter #2:"; }) &&
           WindowText(edit).empty();
  };
  ASSERT_TRUE(choose());
  Click(ok);
  const Dialog refusal = program.WaitForDialog("Error");
  EXPECT_EQ(refusal.text, "No parameters entered");
  EXPECT_EQ(refusal.owner, program.window());
  Answer(refusal, IDOK);
  SetText(edit, L"typed");
  browse(L"");
  EXPECT_EQ(WindowText(edit), "typed") << "a cancelled browse leaves the field";
  browse(foreign.substr(foreign.rfind(L'\\') + 1));
  EXPECT_EQ(WindowText(edit), win::AnsiPathFor(foreign).value()) << "its short name";
  ASSERT_TRUE(next());
  Click(cancel);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(program.window()); }));

  ASSERT_TRUE(choose()) << "chosen again, the entry starts over";
  browse(L"picked file.txt");
  EXPECT_EQ(WindowText(edit), picked);
  ASSERT_TRUE(next());
  SetText(edit, std::wstring(300, L'v'));
  Click(ok);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "tool"),
            Started("\"" + tray.tool + "\" " + picked + " and " + std::string(259, 'v'),
                    tray.elsewhere.path()));
  EXPECT_FALSE(::IsWindowVisible(program.window()));
  EXPECT_EQ(program.Find("#32770"), nullptr);
}

// Start with Windows writes the quoted path, and any value of that name shows as the check
// mark unless Task Manager switched it off; the shell menu commands load zelshell.dll from the
// program's folder only, and say what really happened when they could not, in one box that
// the program owns.
TEST(Tray, OptionsChangeTheRegistryAndSayWhenTheyCannot) {
  Tray tray;
  ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane");
  tray.elsewhere.Copy(Built("shellext/zelshell.dll"), "zelshell.dll");  // must not load
  TrayProgram program(tray.exe, tray.elsewhere.path());
  const auto checked = [&] {
    const std::string items = program.OpenMenu(WM_RBUTTONUP);
    program.CloseMenu();
    return items.find("item 1030 checked Start with Windows") != std::string::npos;
  };
  const auto toggle = [&] {
    ::SendMessageA(program.window(), WM_COMMAND, IDM_STARTWITHWINDOWS, 0);
  };
  const auto said = [&](UINT id) { return program.Ask(WM_COMMAND, id); };
  EXPECT_FALSE(checked());
  toggle();
  // Quoted (the folder's name has a space), the terminating zero byte stored.
  char data[MAX_PATH * 2] = {};
  DWORD size = sizeof(data);
  ::RegGetValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane", RRF_RT_REG_SZ, nullptr, data, &size);
  EXPECT_EQ(std::string(data, size), "\"" + tray.exe + "\"" + std::string(1, '\0'));
  EXPECT_TRUE(checked());
  toggle();
  EXPECT_FALSE(checked());
  // Switched off in Task Manager, another copy's value stays; switching on takes it over.
  const char approvedKey[] =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
  const BYTE off[12] = {3};
  const char oldCopy[] = "C:\\Old\\Zelvane.exe";
  ::RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane", REG_SZ, oldCopy, sizeof(oldCopy));
  ::RegSetKeyValueA(HKEY_CURRENT_USER, approvedKey, "Zelvane", REG_BINARY, off, sizeof(off));
  EXPECT_FALSE(checked());
  toggle();
  EXPECT_TRUE(checked());
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kRunKey, "Zelvane"), "\"" + tray.exe + "\"");
  const LONG approved =
      ::RegGetValueA(HKEY_CURRENT_USER, approvedKey, "Zelvane", RRF_RT_ANY, 0, 0, 0);
  EXPECT_EQ(approved, ERROR_FILE_NOT_FOUND);
  toggle();

  EXPECT_EQ(said(IDM_ENABLESHELLMENU), "ERROR: Unable to load Context Menu");
  tray.folder.Copy(Built("shellext/zelshell.dll"), "zelshell.dll");
  EXPECT_EQ(said(IDM_ENABLESHELLMENU), "SUCCESS: Menu Registered");
  EXPECT_EQ(said(IDM_DISABLESHELLMENU), "SUCCESS: Menu Unregistered");
  // A library whose registration fails and that cannot unregister.
  tray.folder.Copy(ProcLog::DllPath(), "zelshell.dll");
  EXPECT_EQ(said(IDM_ENABLESHELLMENU).rfind("ERROR: Menu could not be registered: ", 0), 0u);
  EXPECT_EQ(said(IDM_DISABLESHELLMENU),
            "ERROR: Unable to find DllUnregisterServer in Context Menu");
  EXPECT_EQ(program.Find("#32770"), nullptr);
}

// ---- the editor

// A file the editor cannot show unchanged is said and left alone: it cannot be saved over.
// Another is shown with CR LF line ends, and marked changed when the file had others; saved as
// shown. A file another program changed is replaced only when the user says so; Reload,
// closing and logging off ask before typed text is dropped. "Add to..." appends a line for the
// object it is given, selected and unsaved.
TEST(Editor, ShowsSavesAndAddsToTheFileSafely) {
  const std::string nul("item 'A','a.exe'\r\n\0item 'B','b.exe'\r\n", 37);
  UserMenuFile menu(nul);
  {
    EditorProgram refused;
    const Dialog box = refused.WaitForDialog();
    EXPECT_NE(box.text.find("NUL byte"), std::string::npos) << box.text;
    Answer(box, IDOK);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(refused.window(), IDC_SAVE)));
    refused.Command(IDC_SAVE);  // Ctrl+S reaches the same command
    ::PostMessageA(refused.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(refused.WaitForExit(), 0u);
    EXPECT_EQ(ReadBytes(UserMenuFile::Path()), nul);
  }
  menu.Set("item 'A','a.exe'\nsep\n");  // LF only: read as one line
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("CR LF")) << editor.Text(IDC_STATUS);
  EXPECT_EQ(editor.Text(IDC_TEXT), "item 'A','a.exe'\r\nsep\r\n");
  EXPECT_EQ(editor.Text(0).rfind("*Menu.txt", 0), 0u) << "marked changed: " << editor.Text(0);
  editor.Command(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'A','a.exe'\r\nsep\r\n");

  editor.Type("item 'Mine','mine.exe'\r\n");
  menu.Set("item 'Theirs','theirs.exe'\r\n");
  const auto asked = [&](UINT message, WPARAM id, int answer, const char* question) {
    const std::string box = editor.Ask(message, id, answer);
    EXPECT_NE(box.find(question), std::string::npos) << box;
  };
  asked(WM_COMMAND, IDC_SAVE, IDNO, "changed by another program");
  ASSERT_TRUE(editor.WaitForStatus("Not saved"));
  asked(WM_COMMAND, IDC_SAVE, IDYES, "changed by another program");
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'Mine','mine.exe'\r\n");
  editor.Type("typed\r\n");
  asked(WM_COMMAND, IDC_RELOAD, IDYES, "Discard your changes");
  EXPECT_TRUE(WaitFor([&] { return editor.Text(IDC_TEXT) == "item 'Mine','mine.exe'\r\n"; }));

  editor.Type("item 'New','new.exe'\r\n");
  asked(WM_CLOSE, 0, IDCANCEL, "Save the changes");
  asked(WM_QUERYENDSESSION, 0, IDYES, "Save the changes");
  // Read once saved: a read while the editor replaces the file would make it fail.
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'New','new.exe'\r\n");
  EXPECT_EQ(editor.WaitForExit(500), STILL_ACTIVE);
  editor.Type("item 'Newer','newer.exe'\r\n");
  asked(WM_CLOSE, 0, IDNO, "Save the changes");
  EXPECT_EQ(editor.WaitForExit(), 0u);
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'New','new.exe'\r\n");

  const std::string tools = "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend";
  menu.Set(tools);
  ScratchFolder folder;
  const std::wstring program = folder.WriteWide("\xD0\x96 tool.exe");
  EditorProgram adding(L"\"" + program + L"\"");
  ASSERT_TRUE(adding.WaitForStatus("Added")) << adding.Text(IDC_STATUS);
  // The ANSI menu file names the program by the short path that its code page can hold.
  const std::string text = adding.Text(IDC_TEXT);
  EXPECT_EQ(text.rfind(tools + "\r\nitem '", 0), 0u) << text;
  EXPECT_NE(text.find("','" + win::AnsiPathFor(program).value() + "'\r\n"), std::string::npos);
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), tools);
}

// ---- at the desktop's DPI

// The DPI of the prefix's desktop (its LogPixels), as ZEL_DPI names it; 96 without it.
unsigned DesktopDpi() {
  char value[8] = {};
  return ::GetEnvironmentVariableA("ZEL_DPI", value, sizeof(value)) ? std::atoi(value) : 96;
}

// A length at 96 DPI taken to `dpi`, to the nearest pixel.
long At(double pixels, unsigned dpi) { return std::lround(pixels * dpi / 96); }

// A window's edges: a top-level window's on the screen, a child's in its parent's client area.
RECT EdgesOf(HWND window) {
  RECT edges = {};
  ::GetWindowRect(window, &edges);
  if (const HWND parent = ::GetParent(window)) {
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&edges), 2);
  }
  return edges;
}

// A layout report (the hook's) of `controls` texts that each fit in `font` ("font <height>
// <face>"); a control whose text scrolls is not counted.
void ExpectFits(const std::string& layout, int controls, const std::string& font) {
  std::istringstream lines(layout);
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with(": scrolls")) continue;
    EXPECT_NE(line.find(" " + font + ": fits"), std::string::npos) << line;
    ++count;
  }
  EXPECT_EQ(count, controls) << layout;
}

std::string Font(long height, const char* face) {
  return "font " + std::to_string(height) + " " + face;
}

// The tray's menu icons, the prompt, About and the editor at the desktop's DPI, then told by
// the system that their window is now at another: every icon at the small-icon size, every
// control where the 96-DPI layout puts it, taken to the DPI, or wide enough for its caption,
// and every text whole, in a font made for that DPI. A DLL procedure runs stretched, as in a
// program unaware of DPI. (Wine gives every window the desktop's DPI, so it cannot tell the
// tray's own DPI from the system's.)
TEST(Dpi, MenuPromptAndEditorFitTheDesktopsDpiAndFollowAChange) {
  const unsigned dpi = DesktopDpi();
  ASSERT_EQ(win::DpiOf(nullptr), dpi) << "the prefix's LogPixels";
  // Higher: Wine keeps a window's frame at the desktop's DPI, which a lower one would not fit.
  const unsigned other = dpi + 48;
  Tray tray;
  const std::string written = tray.folder.path() + "\\awareness.txt";
  tray.menu.Set(
      "item 'Ask','notepad.exe','%input(x)%'\r\nitem 'Gone','gone.exe'\r\n"
      "item 'Proc','DllProc','" +
      ProcLog::DllPath() + ",ProcAwareness," + written + "'\r\n");
  TrayProgram program(tray.exe, tray.elsewhere.path());
  const auto choose = [&](int n) {
    program.OpenMenu(WM_LBUTTONUP);
    program.ChooseWithKeys(n);
  };
  program.OpenMenu(WM_LBUTTONUP);
  EXPECT_EQ(program.Dump("icons"), std::to_string(::GetSystemMetrics(SM_CXSMICON)) + " - -\n");
  program.CloseMenu();
  choose(3);
  EXPECT_TRUE(WaitFor([&] { return ReadBytes(written) == "stretched"; })) << ReadBytes(written);
  choose(1);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(program.window()) != FALSE; }));
  program.Command(IDM_ABOUT);
  const Dialog about = program.WaitForDialog();
  EXPECT_NE(
      program.Layout(0, about.handle).find("icon " + std::to_string(::GetSystemMetrics(SM_CXICON))),
      std::string::npos);
  Answer(about, IDOK);

  // The prompt's controls at 96 DPI: left, top, right and bottom edges.
  const RECT prompt[] = {
      {4, 18, 190, 39}, {4, 4, 104, 17}, {4, 44, 62, 64}, {62, 44, 120, 64}, {170, 44, 190, 64}};
  const auto expectPrompt = [&](unsigned at) {
    const RECT window = EdgesOf(program.window());
    EXPECT_NEAR(window.right - window.left, At(200, at), 1);
    EXPECT_NEAR(window.bottom - window.top, At(100, at), 1);
    RECT client = {};
    ::GetClientRect(program.window(), &client);
    HWND control = ::GetWindow(program.window(), GW_CHILD);
    for (const RECT& base : prompt) {
      const RECT edges = EdgesOf(control);
      EXPECT_TRUE(std::abs(edges.left - At(base.left, at)) <= 1 &&
                  std::abs(edges.top - At(base.top, at)) <= 1 &&
                  std::abs(edges.right - At(base.right, at)) <= 1 &&
                  std::abs(edges.bottom - At(base.bottom, at)) <= 1 &&
                  edges.right <= client.right && edges.bottom <= client.bottom)
          << "at " << at << ": " << WindowText(control) << " at " << edges.left << "," << edges.top
          << "," << edges.right << "," << edges.bottom;
      control = ::GetWindow(control, GW_HWNDNEXT);
    }
    // The bitmap face at 96 DPI, the size it is drawn for; its outline twin elsewhere.
    ExpectFits(program.Layout(at), 5,
               Font(At(-11, at), at == 96 ? "MS Sans Serif" : "Microsoft Sans Serif"));
  };
  expectPrompt(dpi);
  // Seen, it takes the place the system suggests: here, where it stands, larger.
  const RECT before = EdgesOf(program.window());
  program.TellDpi(other, At(200, other), At(100, other));
  expectPrompt(other);
  EXPECT_EQ(EdgesOf(program.window()).left, before.left);
  EXPECT_EQ(EdgesOf(program.window()).top, before.top);
  // Hidden, then shown again where its window's DPI is the desktop's once more (as after a
  // change it was not told of): laid out for that DPI again.
  const HWND cancel = ::GetWindow(
      ::GetWindow(::GetWindow(::GetWindow(program.window(), GW_CHILD), GW_HWNDNEXT), GW_HWNDNEXT),
      GW_HWNDNEXT);
  Click(cancel);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(program.window()); }));
  choose(1);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(program.window()) != FALSE; }));
  expectPrompt(dpi);

  EditorProgram editor;
  editor.Hook();
  for (const unsigned at : {dpi, other}) {
    if (at != dpi) editor.TellDpi(at, At(600, at), At(450, at));
    const RECT window = EdgesOf(editor.window());
    EXPECT_NEAR(window.right - window.left, At(at == dpi ? 760 : 600, at), 1);
    EXPECT_NEAR(window.bottom - window.top, At(at == dpi ? 540 : 450, at), 1);
    RECT client = {};
    ::GetClientRect(editor.window(), &client);
    long right = 0;  // the buttons in a row, left to right, none over another
    for (const int id : {IDC_SAVE, IDC_SAVEUTF8, IDC_RELOAD, IDC_CHECK, IDC_STATUS}) {
      const RECT edges = EdgesOf(::GetDlgItem(editor.window(), id));
      EXPECT_TRUE(edges.left > right && edges.right <= client.right) << "at " << at << ": " << id;
      right = edges.right;
    }
    const std::string layout = editor.Layout(at);
    ExpectFits(layout, 5, Font(At(-11, at), "MS Shell Dlg"));
    EXPECT_NE(layout.find("edit " + Font(-std::lround(10.0 * at / 72), "Courier New")),
              std::string::npos)
        << layout;
  }
  // No smaller than its parts need at that DPI.
  ::SetWindowPos(editor.window(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
  const RECT smallest = EdgesOf(editor.window());
  EXPECT_EQ(smallest.right - smallest.left, At(420, other));
  EXPECT_EQ(smallest.bottom - smallest.top, At(300, other));
}

}  // namespace
}  // namespace zel::test
