// The real Zelvane.exe and Editor.exe on a Wine desktop, driven from outside as a user would:
// what only their windows show, and what their commands do to files, the registry and other
// programs. Each action's test also checks that nothing else happened.
#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/win32/support.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"
#include "zel_version.h"

namespace zel::test {
namespace {

constexpr UINT kIdmExit = 0x402, kIdmAbout = 0x403, kIdmDisable = 0x404, kIdmEnable = 0x405,
               kIdmStartWithWindows = 0x406, kIdmMenuEditor = 0x407, kFirstEntry = 0x409;
constexpr int kText = 100, kSave = 101, kReload = 102, kCheck = 103, kFindings = 104, kStatus = 105;
const char kRunKey[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

// Programs under Wine see the desktop's windows only once its shell is up, which asking for
// the desktop window starts. Without it no test can run: that is a failure, not a skip.
class DesktopEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::GetDesktopWindow();
    if (!WaitFor([] { return ::FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }, 20000)) {
      std::fputs("no taskbar on the desktop\n", stderr);
      std::exit(1);
    }
  }
};
const auto* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

// Every test runs its own copy of the program from a scratch folder, so the files beside it
// (Editor.exe, zelshell.dll) are the test's to choose; `tool.exe` is the recorder.
struct Tray {
  UserMenuFile menu;
  ScratchFolder folder;
  std::string exe = folder.Copy(Built("tray/Zelvane.exe"), "Zelvane.exe");
  std::string tool = folder.Copy(Built("tests/win32/zel_recorder.exe"), "tool.exe");
  std::string Line(const std::string& caption, const std::string& arguments) const {
    return "item '" + caption + "','" + tool + "','" + arguments + "'\r\n";
  }
};

void Click(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }
void SetText(HWND control, const std::wstring& text) {
  ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
TEST(Tray, StartsHiddenWithItsIconAndShowsTheFilesMenus) {
  Tray tray;
  tray.menu.Set("item 'Notepad','notepad.exe'\r\ncitem 'Shell only','x.exe'\r\nsep\r\n"
                "sub 'Folders'\r\nitem 'Windows','explorer.exe','C:\\Windows'\r\nend\r\nAdd\r\n");
  TrayProgram program(tray.exe);
  EXPECT_FALSE(::IsWindowVisible(program.window()));
  EXPECT_EQ(WindowText(program.window()), "Zelvane");
  EXPECT_TRUE(program.HasTrayIcon());
  // The class's background brush (COLOR_BTNFACE + 1), the prompt's five controls in the dialog
  // font; one icon, made at start-up, serves all.
  EXPECT_EQ(program.InsideReport(), (std::vector<std::string>{
                                        "brush\t16",
                                        "font\tEdit\t-11\tMS Sans Serif",
                                        "font\tStatic\t-11\tMS Sans Serif",
                                        "font\tButton\t-11\tMS Sans Serif",
                                        "font\tButton\t-11\tMS Sans Serif",
                                        "font\tButton\t-11\tMS Sans Serif",
                                        "icons made\t0",
                                    }));
  ShownMenu shown = {"item 1033 Notepad", "sep 0", "sub 0 Folders", "  item 1034 Windows"};
  EXPECT_EQ(program.OpenMenu(WM_LBUTTONUP), shown);
  program.CloseMenu();
  shown.insert(shown.end(), {"sep 0", "sub 0 Options", "  item 1031 Menu Editor", "  item 1032 Update Check",
                             "  item 1029 Enable Shell Menu", "  item 1028 Disable Shell Menu",
                             "  item 1030 Start with Windows", "item 1027 About", "item 1026 Exit"});
  EXPECT_EQ(program.OpenMenu(WM_RBUTTONUP), shown);
  program.CloseMenu();
  for (UINT mouse : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE}) {
    ::PostMessageA(program.window(), 0x401, 0, mouse);
  }
  ::Sleep(500);
  EXPECT_EQ(program.Popup(), nullptr) << "only a released button shows a menu";

  tray.menu.Remove();
  EXPECT_EQ(program.OpenMenu(WM_LBUTTONUP), ShownMenu{"item 0 menu.txt not found"});
  program.CloseMenu();
  tray.menu.MakeFolder();
  const ShownMenu full = program.OpenMenu(WM_RBUTTONUP);
  EXPECT_EQ(full.front(), "item 0 menu.txt could not be read");
  EXPECT_EQ(full.back(), "item 1026 Exit");
  program.CloseMenu();
}

// An entry chosen from the menu asks for each placeholder in turn; "..." browses without moving
// the program's current folder; the entry runs after the last value, in that folder.
TEST(Tray, PromptAsksForEachPlaceholderThenRunsTheEntry) {
  Tray tray;
  const std::string picked = tray.folder.Write("picked file.txt", "x");
  const std::wstring foreign = L"\x0416\x0436 picked.txt";  // not in the ANSI code page
  const std::wstring foreignPath = win::Widen(tray.folder.path()) + L"\\" + foreign;
  ::CloseHandle(::CreateFileW(foreignPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  tray.menu.Set(tray.Line("First", "") +
                tray.Line("Two", "%input(" + tray.folder.path() + ")% and %INPUT(x)%"));
  ScratchFolder elsewhere;
  TrayProgram program(tray.exe, elsewhere.path());
  const HWND edit = ::GetWindow(program.window(), GW_CHILD);  // the controls in creation order
  const HWND label = ::GetWindow(edit, GW_HWNDNEXT), ok = ::GetWindow(label, GW_HWNDNEXT);
  const HWND cancel = ::GetWindow(ok, GW_HWNDNEXT), dots = ::GetWindow(cancel, GW_HWNDNEXT);
  const auto choose = [&] {
    program.OpenMenu(WM_LBUTTONUP);
    program.ChooseWithKeys(2);  // "Two"
    return WaitFor([&] { return ::IsWindowVisible(program.window()) != FALSE; });
  };
  const auto browse = [&](const std::wstring* name) {
    Click(dots);
    const Dialog dialog = program.WaitForDialog("Add File");
    ASSERT_NE(dialog.handle, nullptr);
    if (name != nullptr) SetText(::GetDlgItem(dialog.handle, 0x47c), *name);  // found in the folder
    ::PostMessageA(dialog.handle, WM_COMMAND, name != nullptr ? IDOK : IDCANCEL, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog.handle); }));
  };
  ASSERT_TRUE(choose());
  EXPECT_EQ(WindowText(label), "Parameter #1:");
  Click(ok);
  const Dialog refusal = program.WaitForDialog("Error");
  EXPECT_EQ(refusal.text, "No parameters entered");
  EXPECT_EQ(refusal.owner, program.window());
  Answer(refusal, IDOK);
  SetText(edit, L"typed");
  browse(nullptr);
  EXPECT_EQ(WindowText(edit), "typed") << "a cancelled browse leaves the field";
  browse(&foreign);
  EXPECT_EQ(WindowText(edit), win::AnsiPathFor(foreignPath).value()) << "its short name";
  Click(ok);
  ASSERT_TRUE(WaitFor([&] { return WindowText(label) == "Parameter #2:"; }));
  EXPECT_EQ(WindowText(edit), "");
  Click(cancel);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(program.window()); }));

  // Chosen again, the entry starts over from its first placeholder.
  ASSERT_TRUE(choose());
  EXPECT_EQ(WindowText(label), "Parameter #1:");
  const std::wstring pickedName = L"picked file.txt";
  browse(&pickedName);
  EXPECT_EQ(WindowText(edit), picked);
  Click(ok);
  ASSERT_TRUE(WaitFor([&] { return WindowText(label) == "Parameter #2:"; }));
  SetText(edit, std::wstring(300, L'v'));
  Click(ok);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "tool"),
            (Record{"\"" + tray.tool + "\" " + picked + " and " + std::string(259, 'v'), elsewhere.path()}));
  EXPECT_FALSE(::IsWindowVisible(program.window()));
  EXPECT_EQ(program.Find("#32770"), nullptr);

  // Identifiers of no entry run nothing.
  ::DeleteFileA((tray.folder.path() + "\\tool.txt").c_str());
  for (const WPARAM id : {WPARAM{kFirstEntry + 2}, WPARAM{0xFFFF}}) {
    ::SendMessageA(program.window(), WM_COMMAND, id, 0);
  }
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "tool", 500).commandLine, "(none)");
  ::SendMessageA(program.window(), WM_COMMAND, kFirstEntry, 0);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "tool").commandLine, "\"" + tray.tool + "\" ");
}

TEST(Tray, EntryIdentifiersBeforeTheFirstMenuRunNothing) {
  Tray tray;
  tray.menu.Set(tray.Line("Only", ""));
  TrayProgram program(tray.exe);
  ::SendMessageA(program.window(), WM_COMMAND, kFirstEntry, 0);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "tool", 500).commandLine, "(none)");
}

// Makes the Run key read-only for everyone for the length of a scope, as a policy might.
class ReadOnlyRunKey {
 public:
  ReadOnlyRunKey() {
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, READ_CONTROL | WRITE_DAC, &key_);
    DWORD size = sizeof(saved_);
    ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_, &size);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr);
    ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly);
    ::LocalFree(readOnly);
  }
  ~ReadOnlyRunKey() {
    ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_);
    ::RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  char saved_[4096] = {};
};

bool RunValueExists() {
  return ::RegGetValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane", RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

TEST(Tray, StartWithWindowsWritesTheQuotedPathAndSaysWhenItCannot) {
  Tray tray;
  ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane");
  TrayProgram program(tray.exe);
  const auto checked = [&] {
    const ShownMenu items = program.OpenMenu(WM_RBUTTONUP);
    program.CloseMenu();
    return items[items.size() - 3] == "  item 1030 checked Start with Windows";
  };
  const auto toggle = [&] { ::SendMessageA(program.window(), WM_COMMAND, kIdmStartWithWindows, 0); };
  const auto toggleRefused = [&](const char* text) {
    ReadOnlyRunKey readOnly;
    ::PostMessageA(program.window(), WM_COMMAND, kIdmStartWithWindows, 0);
    const Dialog box = program.WaitForDialog("ERROR");
    EXPECT_EQ(box.text.rfind(text, 0), 0u) << box.text;
    EXPECT_NE(box.text.find("(error 5)"), std::string::npos) << box.text;
    Answer(box, IDOK);
  };
  EXPECT_FALSE(checked());
  toggle();
  // Quoted (the folder's name has a space), the terminating zero byte stored.
  char data[MAX_PATH * 2] = {};
  DWORD size = sizeof(data);
  DWORD type = 0;
  ::RegGetValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane", RRF_RT_ANY, &type, data, &size);
  EXPECT_EQ(std::string(data, size), "\"" + tray.exe + "\"" + std::string(1, '\0'));
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_TRUE(checked());
  toggleRefused("Zelvane could not be kept from starting with Windows: ");
  EXPECT_TRUE(checked());
  toggle();
  EXPECT_FALSE(checked());
  toggleRefused("Zelvane could not be set to start with Windows: ");
  EXPECT_FALSE(RunValueExists());
  // Any value of that name counts as on, whatever its type.
  const DWORD one = 1;
  ::RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, "Zelvane", REG_DWORD, &one, sizeof(one));
  EXPECT_TRUE(checked());
  toggle();
  EXPECT_FALSE(RunValueExists());
  EXPECT_EQ(program.Find("#32770"), nullptr);
}

// The shell menu commands load zelshell.dll from the program's folder only, and say what
// really happened: the message, its caption and its owner, one box each.
TEST(Tray, ShellMenuCommandsSayWhatReallyHappened) {
  Tray tray;
  const std::string classKey = "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";
  const std::string blocker = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu\\stuck";
  ::RegDeleteTreeA(HKEY_CLASSES_ROOT, classKey.c_str());
  ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu");
  ScratchFolder current;
  current.Copy(Built("shellext/zelshell.dll"), "zelshell.dll");  // planted where it must not load
  TrayProgram program(tray.exe, current.path());
  const auto command = [&](UINT id, const char* caption, const std::string& text) {
    ::PostMessageA(program.window(), WM_COMMAND, id, 0);
    const Dialog box = program.WaitForDialog();
    EXPECT_EQ(box.title, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.owner, program.window());
    Answer(box, IDOK);
  };
  command(kIdmEnable, "ERROR", "Unable to load Context Menu");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));

  const std::string dll = tray.folder.Copy(Built("shellext/zelshell.dll"), "zelshell.dll");
  for (int round = 0; round < 2; ++round) command(kIdmEnable, "SUCCESS", "Menu Registered");
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", nullptr), win::ShortPath(dll));
  HKEY key = nullptr;
  ::RegCreateKeyA(HKEY_CLASSES_ROOT, blocker.c_str(), &key);
  ::RegCloseKey(key);
  command(kIdmDisable, "ERROR", "Menu could not be unregistered (error 0x80004005)");
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, blocker.c_str());
  command(kIdmDisable, "SUCCESS", "Menu Unregistered");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));

  // A library whose registration fails and that lacks the unregistration export.
  tray.folder.Copy(ProcLog::DllPath(), "zelshell.dll");
  command(kIdmEnable, "ERROR", "Menu could not be registered (error 0x80004005)");
  command(kIdmDisable, "ERROR", "Unable to find DllUnregisterServer in Context Menu");
  EXPECT_EQ(program.Find("#32770"), nullptr);
}

TEST(Tray, EditorAboutAndTheIconAfterAShellRestart) {
  Tray tray;
  tray.folder.Copy(tray.tool, "Editor.exe");
  ScratchFolder elsewhere;
  TrayProgram program(tray.exe, elsewhere.path());
  ASSERT_EQ(program.InsideReport().back(), "icons made\t0");  // counted from here on
  ::PostMessageA(program.window(), WM_COMMAND, kIdmMenuEditor, 0);
  EXPECT_EQ(WaitForRecord(tray.folder.path(), "Editor"),
            (Record{"\"" + tray.folder.path() + "\\Editor.exe\" ", elsewhere.path()}));

  for (int restart = 0; restart < 3; ++restart) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = program.window();
    ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &data));  // as if the shell had restarted
    ::PostMessageA(program.window(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor([&] { return program.HasTrayIcon(); }, 5000));
  }
  ::PostMessageA(program.window(), WM_COMMAND, kIdmAbout, 0);
  const Dialog about = program.WaitForDialog();
  ASSERT_NE(about.handle, nullptr);
  EXPECT_NE(about.title.find("About Zelvane"), std::string::npos) << about.title;
  bool versionShown = false;
  for (HWND child = ::GetWindow(about.handle, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    versionShown = versionShown || WindowText(child).find("Zelvane v" ZEL_VERSION_TEXT) != std::string::npos;
  }
  EXPECT_TRUE(versionShown);
  Answer(about, IDOK);
  EXPECT_EQ(program.InsideReport().back(), "icons made\t0") << "the icon was loaded once";
}

TEST(Tray, ExitOrAClosedWindowEndsTheProgramWithItsIcon) {
  for (const UINT message : {UINT{WM_COMMAND}, UINT{WM_CLOSE}}) {
    Tray tray;
    TrayProgram program(tray.exe), other(tray.exe);
    ::PostMessageA(program.window(), message, message == WM_COMMAND ? kIdmExit : 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_FALSE(program.HasTrayIcon());
    EXPECT_TRUE(other.Running() && other.HasTrayIcon()) << "the other copy has its own icon";
  }
}

// ---- the editor

std::string Bak() { return UserMenuFile::Path() + ".bak"; }

TEST(Editor, OpensTheFileAsItIsAndSavesItSafely) {
  UserMenuFile menu("item 'A','a.exe'\nsep\n");  // LF only: read as one line
  {
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForStatus("CR LF")) << editor.Text(kStatus);
    EXPECT_EQ(editor.Text(kText), "item 'A','a.exe'\r\nsep\r\n");
    EXPECT_EQ(editor.Text(0).rfind("*Menu.txt", 0), 0u) << "marked changed: " << editor.Text(0);
    editor.Press(kSave);
    ASSERT_TRUE(editor.WaitForStatus("Saved"));
    EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'A','a.exe'\r\nsep\r\n");
    EXPECT_EQ(ReadBytes(Bak()), "item 'A','a.exe'\nsep\n");
    EXPECT_EQ(editor.Text(0).rfind("Menu.txt", 0), 0u);

    // Another program changed the file: replaced only when the user says so.
    editor.Type("item 'Mine','mine.exe'\r\n");
    menu.Set("item 'Theirs','theirs.exe'\r\n");
    for (const int answer : {IDNO, IDYES}) {
      editor.Press(kSave);
      const Dialog box = editor.WaitForDialog();
      EXPECT_NE(box.text.find("changed by another program"), std::string::npos) << box.text;
      Answer(box, answer);
      ASSERT_TRUE(editor.WaitForStatus(answer == IDNO ? "Not saved" : "Saved"));
    }
    EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'Mine','mine.exe'\r\n");
    EXPECT_EQ(ReadBytes(Bak()), "item 'Theirs','theirs.exe'\r\n");

    // Reload asks before it drops typed text.
    editor.Type("typed\r\n");
    editor.Press(kReload);
    Answer(editor.WaitForDialog(), IDYES);
    EXPECT_TRUE(WaitFor([&] { return editor.Text(kText) == "item 'Mine','mine.exe'\r\n"; }));
  }
  // A read-only file is said and kept, and so is the text.
  ::SetFileAttributesA(UserMenuFile::Path().c_str(), FILE_ATTRIBUTE_READONLY);
  EditorProgram editor;
  editor.Type("item 'New','new.exe'\r\n");
  editor.Press(kSave);
  const Dialog box = editor.WaitForDialog();
  EXPECT_NE(box.text.find("read-only"), std::string::npos) << box.text;
  Answer(box, IDOK);
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), "item 'Mine','mine.exe'\r\n");
  EXPECT_EQ(editor.Text(kText), "item 'New','new.exe'\r\n");
  EXPECT_EQ(ReadBytes(Bak()), "item 'Theirs','theirs.exe'\r\n");
}

TEST(Editor, UnsavedChangesAreAskedAboutWhenClosingOrLoggingOff) {
  const struct {
    UINT message;
    int answer;
    bool closes;
    const char* saved;
  } cases[] = {
      {WM_CLOSE, IDCANCEL, false, "item 'Old','old.exe'\r\n"},
      {WM_CLOSE, IDNO, true, "item 'Old','old.exe'\r\n"},
      {WM_QUERYENDSESSION, IDYES, false, "item 'New','new.exe'\r\n"},
  };
  for (const auto& c : cases) {
    UserMenuFile menu("item 'Old','old.exe'\r\n");
    EditorProgram editor;
    editor.Type("item 'New','new.exe'\r\n");
    ::PostMessageA(editor.window(), c.message, 0, 0);
    const Dialog box = editor.WaitForDialog();
    EXPECT_NE(box.text.find("Save the changes"), std::string::npos) << box.text;
    Answer(box, c.answer);
    EXPECT_EQ(editor.WaitForExit(c.closes ? 10000 : 500) != STILL_ACTIVE, c.closes) << c.answer;
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(UserMenuFile::Path()) == c.saved; })) << c.answer;
  }
}

TEST(Editor, MissingFileStartsFromTheExampleAndAFileItCannotShowIsLeftAlone) {
  UserMenuFile menu;
  {
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForStatus("does not exist yet"));
    const std::string example = editor.Text(kText);
    EXPECT_EQ(example.rfind("//", 0), 0u) << example;
    editor.Press(kSave);
    ASSERT_TRUE(editor.WaitForStatus("Saved"));
    EXPECT_EQ(ReadBytes(UserMenuFile::Path()), example);
  }
  const std::string nul("item 'A','a.exe'\r\n\0item 'B','b.exe'\r\n", 37);
  menu.Set(nul);
  EditorProgram editor;
  const Dialog box = editor.WaitForDialog();
  EXPECT_NE(box.text.find("NUL byte"), std::string::npos) << box.text;
  Answer(box, IDOK);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(editor.window(), kSave)));
  editor.Press(kSave);  // Ctrl+S reaches the same command
  ::PostMessageA(editor.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(editor.WaitForExit(), 0u);
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), nul);
  EXPECT_EQ(::GetFileAttributesA(Bak().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Editor, CheckListsFindingsAndChoosingOneSelectsItsLineInAWindowOfAnySize) {
  UserMenuFile menu("item 'Notepad','notepad.exe'\r\nitem 'Help','http://example.com'\r\nitem 'Sepia','s.exe'\r\n");
  EditorProgram editor;
  editor.Press(kCheck);
  ASSERT_TRUE(editor.WaitForStatus("2 findings")) << editor.Text(kStatus);
  const HWND list = ::GetDlgItem(editor.window(), kFindings);
  ::SendMessageA(list, LB_SETCURSEL, 1, 0);
  ::PostMessageA(editor.window(), WM_COMMAND, MAKEWPARAM(kFindings, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  EXPECT_TRUE(WaitFor([&] { return editor.SelectedText() == "item 'Sepia','s.exe'"; })) << editor.SelectedText();
  for (const int width : {900, 500}) {
    ::SetWindowPos(editor.window(), nullptr, 0, 0, width, width * 3 / 4, SWP_NOZORDER | SWP_NOMOVE);
    RECT client = {}, text = {}, findings = {};
    EXPECT_TRUE(WaitFor([&] {
      ::GetClientRect(editor.window(), &client);
      ::GetWindowRect(::GetDlgItem(editor.window(), kText), &text);
      ::GetWindowRect(list, &findings);
      POINT corner = {findings.right, findings.bottom};
      ::ScreenToClient(editor.window(), &corner);
      // Both fill the width; the findings end at the bottom and the text grows above them.
      return text.right - text.left == client.right - 12 && corner.y == client.bottom - 6 &&
             text.bottom <= findings.top && text.bottom - text.top > 100;
    }, 3000)) << width;
  }
}

// "Add to..." appends a line for the object it is given, selected and unsaved, or says why not.
TEST(Editor, AddToAppendsALineForEachKindOfObject) {
  const std::string tools = "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend";
  UserMenuFile menu(tools);
  ScratchFolder folder;
  const std::string program = folder.Write("My Tool.exe", "MZ");
  const std::string document = folder.Write("Quarterly Report.txt", "text");
  const std::string viewer = folder.Write("viewer.exe", "MZ");
  const std::wstring foreign = win::Widen(folder.path()) + L"\\\x0416 tool.exe";
  ::CloseHandle(::CreateFileW(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  const auto quoted = [](const std::string& path) { return L"\"" + win::Widen(path) + L"\""; };
  const struct {
    std::wstring argument;
    std::string line;  // empty: refused with a message holding `why`
    const char* why;
  } cases[] = {
      {win::Widen(win::ShortPath(program)), "item 'My Tool','" + program + "'", ""},
      {quoted(folder.path()), "item '" + folder.path().substr(folder.path().rfind('\\') + 1) +
                                  "','explorer.exe','\"" + folder.path() + "\"'", ""},
      {L"\"" + foreign + L"\"", "','" + win::AnsiPathFor(foreign).value() + "'", ""},
      {quoted(folder.path() + "\\gone.exe"), "", "does not exist"},
      {L"\"" + win::Widen(folder.path()) + L"\\\x0416 gone.exe\"", "", "code page"},
      {quoted(folder.Write("sepsep.exe", "MZ")), "", "\"sep\""},
  };
  for (const auto& c : cases) {
    EditorProgram editor(c.argument);
    if (c.line.empty()) {
      const Dialog box = editor.WaitForDialog();
      EXPECT_NE(box.text.find(c.why), std::string::npos) << box.text;
      Answer(box, IDOK);
      EXPECT_EQ(editor.Text(kText), tools);
      continue;
    }
    ASSERT_TRUE(editor.WaitForStatus("Added")) << editor.Text(kStatus);
    const std::string selected = editor.SelectedText();
    EXPECT_NE(selected.find(c.line), std::string::npos) << selected;
    EXPECT_EQ(editor.Text(kText), tools + "\r\n" + selected + "\r\n");
    EXPECT_EQ(editor.Text(0).rfind("*", 0), 0u) << "unsaved";
    EXPECT_EQ(ReadBytes(UserMenuFile::Path()), tools);
  }
  // A document: the program that is to open it is picked, and the line serves its extension.
  EditorProgram editor(quoted(document));
  const Dialog dialog = editor.WaitForDialog("Open Quarterly Report.txt with");
  SetText(::GetDlgItem(dialog.handle, 0x47c), win::Widen(viewer));
  ::PostMessageA(dialog.handle, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(editor.WaitForStatus("Added")) << editor.Text(kStatus);
  EXPECT_EQ(editor.SelectedText(), "citem 'viewer','" + viewer + "','%s','txt'");
  editor.Press(kSave);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  EXPECT_EQ(ReadBytes(UserMenuFile::Path()), tools + "\r\ncitem 'viewer','" + viewer + "','%s','txt'\r\n");
}

}  // namespace
}  // namespace zel::test
