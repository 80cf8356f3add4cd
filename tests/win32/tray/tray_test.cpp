// The real Zelvane.exe, started and driven from outside under a Wine desktop.
#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/win32/tray/tray_driver.h"
#include "win/code_page_win32.h"
#include "zel_version.h"

namespace zel::test {
namespace {

constexpr UINT kIdmExit = 0x402, kIdmAbout = 0x403, kIdmDisable = 0x404, kIdmEnable = 0x405,
               kIdmStartWithWindows = 0x406;
constexpr char kRunKey[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

// Console programs under Wine see the desktop's windows only once its shell is up: make sure
// it is before any test looks for the tray program's windows.
class DesktopEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::GetDesktopWindow();
    ASSERT_TRUE(WaitFor([] { return ::FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }, 20000))
        << "no taskbar on the desktop";
  }
};
const auto* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

std::string Bin(const char* relative) { return std::string(ZEL_BIN_DIR) + "/" + relative; }

// Every test runs its own copy of the program from a scratch folder, so the files beside it
// (Editor.exe, zelshell.dll) are the test's to choose.
struct Fixture {
  ScratchFolder folder;
  std::string exe = folder.Copy(Bin("tray/Zelvane.exe"), "Zelvane.exe");
};

HWND ControlByClass(TrayProgram& tray, const char* className, const char* text = nullptr) {
  for (HWND control : tray.Controls()) {
    if (_stricmp(ClassName(control).c_str(), className) != 0) continue;
    if (text == nullptr || WindowText(control) == text) return control;
  }
  return nullptr;
}

void ExpectItems(const std::vector<DumpedItem>& items,
                 const std::vector<std::tuple<int, std::string, unsigned, std::string>>& expected) {
  ASSERT_EQ(items.size(), expected.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].depth, std::get<0>(expected[i])) << i;
    EXPECT_EQ(items[i].kind, std::get<1>(expected[i])) << i;
    EXPECT_EQ(items[i].id, std::get<2>(expected[i])) << i;
    EXPECT_EQ(items[i].caption, std::get<3>(expected[i])) << i;
  }
}

void CloseDialog(const TopWindow& dialog) {
  ::PostMessageA(dialog.handle, WM_COMMAND, IDOK, 0);
  WaitFor([&] { return !::IsWindow(dialog.handle) || !::IsWindowVisible(dialog.handle); });
}

std::string RunValue() {
  HKEY key = nullptr;
  if (::RegOpenKeyA(HKEY_CURRENT_USER, kRunKey, &key) != ERROR_SUCCESS) return "<no key>";
  char data[1024] = {};
  DWORD size = sizeof(data);
  DWORD type = 0;
  const LONG result =
      ::RegQueryValueExA(key, "Zelvane", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "<none>";
  return std::string(type == REG_SZ ? "REG_SZ:" : "other:") + std::string(data, size);
}

TEST(TrayStartup, HiddenWindowWithItsControlsFontAndIcon) {
  Fixture fixture;
  TrayProgram tray(fixture.exe);
  EXPECT_FALSE(::IsWindowVisible(tray.window()));
  EXPECT_EQ(WindowText(tray.window()), "Zelvane");
  EXPECT_EQ(::GetClassLongA(tray.window(), GCL_STYLE), 0xC8u);

  RECT work = {};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT placed = {};
  ::GetWindowRect(tray.window(), &placed);
  EXPECT_EQ(placed.left, work.right / 2 - 100);
  EXPECT_EQ(placed.top, work.bottom / 2 - 50);
  EXPECT_EQ(placed.right - placed.left, 200);
  EXPECT_EQ(placed.bottom - placed.top, 100);

  struct Expected {
    const char* className;
    const char* text;
    LONG style;
    RECT rect;
  };
  const Expected controls[] = {
      {"Edit", "", 0x50000080, {4, 18, 190, 39}},
      {"Static", "Parameters:", 0x50000000, {4, 4, 104, 17}},
      {"Button", "Ok", 0x50001000, {4, 44, 62, 64}},
      {"Button", "Cancel", 0x50001000, {62, 44, 120, 64}},
      {"Button", "...", 0x50001000, {170, 44, 190, 64}},
  };
  for (const Expected& expected : controls) {
    SCOPED_TRACE(expected.text);
    const HWND control = ControlByClass(tray, expected.className, expected.text);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(::GetWindowLongA(control, GWL_STYLE) & 0xFFFF1FFF, expected.style);
    EXPECT_EQ(::GetDlgCtrlID(control), 0);
    RECT rect = {};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, tray.window(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, expected.rect.left);
    EXPECT_EQ(rect.top, expected.rect.top);
    EXPECT_EQ(rect.right, expected.rect.right);
    EXPECT_EQ(rect.bottom, expected.rect.bottom);
  }
  // The background brush and the fonts, as the program itself sees them.
  const std::vector<std::string> inside = tray.InsideReport();
  EXPECT_EQ(inside, (std::vector<std::string>{
                        "brush\t16",
                        "font\tEdit\t-11\tMS Sans Serif",
                        "font\tStatic\t-11\tMS Sans Serif",
                        "font\tButton\t-11\tMS Sans Serif",
                        "font\tButton\t-11\tMS Sans Serif",
                        "font\tButton\t-11\tMS Sans Serif",
                        "icons made\t0",
                    }));
  EXPECT_EQ(::GetWindowLongA(ControlByClass(tray, "Edit"), GWL_EXSTYLE) & WS_EX_CLIENTEDGE,
            WS_EX_CLIENTEDGE);
  EXPECT_TRUE(tray.HasTrayIcon());
}

TEST(TrayMenus, LeftClickShowsTheEntriesAndRightClickAddsOptions) {
  Fixture fixture;
  MenuFileScope menu(
      "item 'Notepad','notepad.exe'\r\ncitem 'Shell only','x.exe'\r\nsep\r\n"
      "sub 'Folders'\r\nitem 'Windows','explorer.exe','C:\\Windows'\r\nend\r\nAdd\r\n");
  TrayProgram tray(fixture.exe);

  ExpectItems(tray.OpenMenu(WM_LBUTTONUP), {{0, "item", 0x409, "Notepad"},
                                            {0, "sep", 0, ""},
                                            {0, "sub", 0, "Folders"},
                                            {1, "item", 0x40A, "Windows"}});
  tray.CloseMenu();

  const auto full = tray.OpenMenu(WM_RBUTTONUP);
  ExpectItems(full, {{0, "item", 0x409, "Notepad"},
                     {0, "sep", 0, ""},
                     {0, "sub", 0, "Folders"},
                     {1, "item", 0x40A, "Windows"},
                     {0, "sep", 0, ""},
                     {0, "sub", 0, "Options"},
                     {1, "item", 0x407, "Menu Editor"},
                     {1, "item", 0x408, "Update Check"},
                     {1, "item", 0x405, "Enable Shell Menu"},
                     {1, "item", 0x404, "Disable Shell Menu"},
                     {1, "item", 0x406, "Start with Windows"},
                     {0, "item", 0x403, "About"},
                     {0, "item", 0x402, "Exit"}});
  tray.CloseMenu();
}

TEST(TrayMenus, PressesAndDoubleClicksShowNothing) {
  Fixture fixture;
  MenuFileScope menu("item 'A','a.exe'\r\n");
  TrayProgram tray(fixture.exe);
  for (UINT mouse : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE}) {
    ::PostMessageA(tray.window(), 0x401, 0, mouse);
  }
  ::Sleep(500);
  EXPECT_EQ(tray.PopupWindow(), nullptr);
}

TEST(TrayMenus, MissingAndUnreadableMenuFilesStillShowAMenu) {
  Fixture fixture;
  MenuFileScope menu("");
  ::DeleteFileA(MenuFileScope::Path().c_str());
  TrayProgram tray(fixture.exe);
  ExpectItems(tray.OpenMenu(WM_LBUTTONUP), {{0, "item", 0, "menu.txt not found"}});
  tray.CloseMenu();

  ASSERT_TRUE(::CreateDirectoryA(MenuFileScope::Path().c_str(), nullptr));
  const auto full = tray.OpenMenu(WM_RBUTTONUP);
  ASSERT_GE(full.size(), 2u);
  EXPECT_EQ(full[0].caption, "menu.txt could not be read");
  EXPECT_EQ(full.back().caption, "Exit");
  tray.CloseMenu();
  EXPECT_TRUE(tray.Running());
}

// Makes the Run key read-only for everyone for the length of a scope, as a policy might.
class ReadOnlyRunKey {
 public:
  ReadOnlyRunKey() {
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, READ_CONTROL | WRITE_DAC, &key_);
    DWORD size = sizeof(saved_);
    ::RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_, &size);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                          &readOnly, nullptr);
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

TEST(TrayOptions, StartWithWindowsTogglesTheRunValueAndItsCheckMark) {
  Fixture fixture;
  MenuFileScope menu("");
  TrayProgram tray(fixture.exe);
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kRunKey, &key), ERROR_SUCCESS);
  ::RegDeleteValueA(key, "Zelvane");
  ::RegCloseKey(key);

  auto startWithWindows = [&] {
    const auto items = tray.OpenMenu(WM_RBUTTONUP);
    tray.CloseMenu();
    for (const DumpedItem& item : items) {
      if (item.id == kIdmStartWithWindows) return item.checked;
    }
    ADD_FAILURE() << "no Start with Windows item";
    return false;
  };
  EXPECT_FALSE(startWithWindows());
  ::SendMessageA(tray.window(), WM_COMMAND, kIdmStartWithWindows, 0);
  // The program's own path, quoted (its folder's name has a space), with its terminating zero
  // byte stored.
  EXPECT_EQ(RunValue(), "REG_SZ:\"" + fixture.exe + "\"" + std::string(1, '\0'));
  EXPECT_TRUE(startWithWindows());

  // A Run key the user may not change: the failure is said, and the value stays.
  {
    ReadOnlyRunKey readOnly;
    ::PostMessageA(tray.window(), WM_COMMAND, kIdmStartWithWindows, 0);
    const TopWindow box = tray.WaitForDialog("ERROR");
    ASSERT_NE(box.handle, nullptr);
    EXPECT_EQ(box.text.rfind("Zelvane could not be kept from starting with Windows: ", 0), 0u)
        << box.text;
    EXPECT_NE(box.text.find("(error 5)"), std::string::npos) << box.text;
    CloseDialog(box);
  }
  EXPECT_TRUE(startWithWindows());

  ::SendMessageA(tray.window(), WM_COMMAND, kIdmStartWithWindows, 0);
  EXPECT_EQ(RunValue(), "<none>");
  EXPECT_FALSE(startWithWindows());

  // Any value of that name counts as on, whatever its type.
  ASSERT_EQ(::RegOpenKeyA(HKEY_CURRENT_USER, kRunKey, &key), ERROR_SUCCESS);
  const DWORD one = 1;
  ::RegSetValueExA(key, "Zelvane", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  ::RegCloseKey(key);
  EXPECT_TRUE(startWithWindows());
  ::SendMessageA(tray.window(), WM_COMMAND, kIdmStartWithWindows, 0);
  EXPECT_EQ(RunValue(), "<none>");
  {
    ReadOnlyRunKey readOnly;
    ::PostMessageA(tray.window(), WM_COMMAND, kIdmStartWithWindows, 0);
    const TopWindow box = tray.WaitForDialog("ERROR");
    ASSERT_NE(box.handle, nullptr);
    EXPECT_EQ(box.text.rfind("Zelvane could not be set to start with Windows: ", 0), 0u)
        << box.text;
    CloseDialog(box);
  }
  EXPECT_EQ(RunValue(), "<none>");
}

TEST(TrayOptions, ShellMenuCommandsReportWhatReallyHappened) {
  Fixture fixture;
  MenuFileScope menu("");
  struct Case {
    const char* what;
    UINT command;
    bool fakeBeside;
    bool plantedInCurrentFolder;
    const char* text;
    const char* caption;
  };
  const Case cases[] = {
      {"no library", kIdmEnable, false, false, "Unable to load Context Menu", "ERROR"},
      {"no library", kIdmDisable, false, false, "Unable to load Context Menu", "ERROR"},
      {"planted in the current folder only", kIdmEnable, false, true,
       "Unable to load Context Menu", "ERROR"},
      {"registration fails", kIdmEnable, true, false,
       "Menu could not be registered (error 0x80004005)", "ERROR"},
      {"export missing", kIdmDisable, true, false,
       "Unable to find DllUnregisterServer in Context Menu", "ERROR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder current;
    const std::string beside = fixture.folder.path() + "\\zelshell.dll";
    ::DeleteFileA(beside.c_str());
    if (c.fakeBeside) fixture.folder.Copy(Bin("tests/win32/tray/fake_shell.dll"), "zelshell.dll");
    if (c.plantedInCurrentFolder) current.Copy(Bin("tests/win32/tray/fake_shell.dll"), "zelshell.dll");
    TrayProgram tray(fixture.exe, current.path());
    ::PostMessageA(tray.window(), WM_COMMAND, c.command, 0);
    const TopWindow box = tray.WaitForDialog();
    ASSERT_NE(box.handle, nullptr);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.title, c.caption);
    EXPECT_EQ(::GetWindow(box.handle, GW_OWNER), tray.window());
    CloseDialog(box);
  }
}

std::string ClassKeyValue(const char* subkey) {
  HKEY key = nullptr;
  const std::string path = std::string("CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}") + subkey;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "<no key>";
  }
  char data[1024] = {};
  DWORD size = sizeof(data);
  ::RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
  return data;
}

TEST(TrayOptions, ShellMenuCommandsRegisterTheLibraryBesideTheProgram) {
  Fixture fixture;
  MenuFileScope menu("");
  const std::string library = fixture.folder.Copy(Bin("shellext/zelshell.dll"), "zelshell.dll");
  char shortPath[MAX_PATH] = {};
  ::GetShortPathNameA(library.c_str(), shortPath, MAX_PATH);
  TrayProgram tray(fixture.exe);

  for (int round = 0; round < 2; ++round) {  // twice: the message shows each time
    ::PostMessageA(tray.window(), WM_COMMAND, kIdmEnable, 0);
    const TopWindow done = tray.WaitForDialog("SUCCESS");
    ASSERT_NE(done.handle, nullptr);
    EXPECT_EQ(done.text, "Menu Registered");
    CloseDialog(done);
    EXPECT_EQ(ClassKeyValue(""), "Zelvane");
    // The folder's name has a space: the server key holds the short form.
    EXPECT_EQ(ClassKeyValue("\\InprocServer32"), shortPath);
  }

  // A key that cannot be deleted (here: another program's subkey under the handler key) is a
  // failure, not "Menu Unregistered".
  const std::string blocker =
      "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu\\left by another program";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyA(HKEY_CLASSES_ROOT, blocker.c_str(), &key), ERROR_SUCCESS);
  ::RegCloseKey(key);
  ::PostMessageA(tray.window(), WM_COMMAND, kIdmDisable, 0);
  const TopWindow failed = tray.WaitForDialog("ERROR");
  ASSERT_NE(failed.handle, nullptr);
  EXPECT_EQ(failed.text, "Menu could not be unregistered (error 0x80004005)");
  CloseDialog(failed);
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, blocker.c_str());

  ::PostMessageA(tray.window(), WM_COMMAND, kIdmDisable, 0);
  const TopWindow undone = tray.WaitForDialog("SUCCESS");
  ASSERT_NE(undone.handle, nullptr);
  EXPECT_EQ(undone.text, "Menu Unregistered");
  CloseDialog(undone);
  EXPECT_EQ(ClassKeyValue(""), "<no key>");
}

TEST(TrayOptions, AboutShowsTheProgramAndVersion) {
  Fixture fixture;
  MenuFileScope menu("");
  TrayProgram tray(fixture.exe);
  ::PostMessageA(tray.window(), WM_COMMAND, kIdmAbout, 0);
  // Windows titles the box "About Zelvane" from the text before "#"; Wine shows the whole
  // text after its own "About ", so only the start is compared.
  const TopWindow about = tray.WaitForDialog();
  ASSERT_NE(about.handle, nullptr);
  EXPECT_NE(about.title.find("About Zelvane"), std::string::npos) << about.title;
  bool versionShown = false;
  for (HWND child = ::GetWindow(about.handle, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (WindowText(child).find("Zelvane v" ZEL_VERSION_TEXT) != std::string::npos) versionShown = true;
  }
  EXPECT_TRUE(versionShown);
  CloseDialog(about);
  EXPECT_TRUE(tray.Running());
}

// "Exit" deletes the icon and ends the process; a closed main window ends it cleanly too.
TEST(TrayLifetime, ExitAndClosingTheWindowRemoveTheIconAndEndTheProcess) {
  const struct {
    const char* what;
    UINT message;
    WPARAM wParam;
  } ways[] = {{"Exit", WM_COMMAND, kIdmExit}, {"WM_CLOSE", WM_CLOSE, 0}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    Fixture fixture;
    MenuFileScope menu("");
    TrayProgram tray(fixture.exe);
    ASSERT_TRUE(tray.HasTrayIcon());
    ::PostMessageA(tray.window(), way.message, way.wParam, 0);
    EXPECT_EQ(tray.WaitForExit(), 0u);
    EXPECT_FALSE(TrayIconExists(tray.window()));
  }
}

// The icon, loaded once at start, serves every re-added tray icon and the About box: neither
// makes another one.
TEST(TrayLifetime, TaskbarCreatedAddsTheIconAgainFromTheOneLoadedIcon) {
  Fixture fixture;
  MenuFileScope menu("item 'A','a.exe'\r\n");
  TrayProgram tray(fixture.exe);
  ASSERT_EQ(tray.InsideReport().back(), "icons made\t0");
  for (int restart = 0; restart < 3; ++restart) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = tray.window();
    ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &data));  // as if the shell had restarted
    ASSERT_FALSE(tray.HasTrayIcon());
    ::PostMessageA(tray.window(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor([&] { return tray.HasTrayIcon(); }, 5000));
  }
  ::PostMessageA(tray.window(), WM_COMMAND, kIdmAbout, 0);
  const TopWindow about = tray.WaitForDialog();
  ASSERT_NE(about.handle, nullptr);
  CloseDialog(about);
  EXPECT_EQ(tray.InsideReport().back(), "icons made\t0");
  // The menu is unaffected.
  EXPECT_EQ(tray.OpenMenu(WM_LBUTTONUP).size(), 1u);
  tray.CloseMenu();
}

TEST(TrayLifetime, TwoCopiesEachAnswerTheirOwnIcon) {
  Fixture fixture;
  MenuFileScope menu("item 'A','a.exe'\r\n");
  TrayProgram first(fixture.exe);
  TrayProgram second(fixture.exe);
  ASSERT_NE(first.window(), second.window());
  EXPECT_TRUE(first.HasTrayIcon());
  EXPECT_TRUE(second.HasTrayIcon());
  second.OpenMenu(WM_LBUTTONUP);
  EXPECT_EQ(first.PopupWindow(), nullptr);
  EXPECT_NE(second.PopupWindow(), nullptr);
  second.CloseMenu();
}

// What a copy of the recorder program wrote: its command line, and into `folder` its current
// folder.
std::string Recorded(const std::string& folder, const std::string& name, int milliseconds = 10000,
                     std::string* currentFolder = nullptr) {
  const std::string path = folder + "\\" + name + ".txt";
  std::string record;
  WaitFor([&] {
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    char buffer[4096];
    const std::size_t n = std::fread(buffer, 1, sizeof(buffer), in);
    std::fclose(in);
    record.assign(buffer, n);
    return true;
  }, milliseconds);
  const std::size_t end = record.find('\n');
  if (currentFolder != nullptr && end != std::string::npos) {
    *currentFolder = record.substr(end + 1, record.find('\n', end + 1) - end - 1);
  }
  return record.substr(0, end);  // the command line
}

// A fixture with the recorder copied in as `tool.exe` and a menu file that names it.
struct EntryFixture : Fixture {
  std::string tool = folder.Copy(Bin("tests/win32/zel_recorder.exe"), "tool.exe");
  std::string Line(const std::string& caption, const std::string& arguments) const {
    return "item '" + caption + "','" + tool + "','" + arguments + "'\r\n";
  }
};

constexpr UINT kFirstEntry = 0x409;

void ClickButton(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }

void SetText(HWND control, const std::string& text) {
  ::SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

TEST(TrayEntries, ChoosingAnEntryFromTheMenuStartsItsProgram) {
  EntryFixture fixture;
  const std::string second = fixture.folder.Copy(fixture.tool, "second.exe");
  MenuFileScope menu(fixture.Line("First", "") + "item 'Second','" + second +
                     "','an argument %TEMP%'\r\n");
  TrayProgram tray(fixture.exe);
  tray.OpenMenu(WM_LBUTTONUP);
  tray.ChooseWithKeys(2);
  char temp[MAX_PATH] = {};
  ::GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
  EXPECT_EQ(Recorded(fixture.folder.path(), "second"),
            "\"" + second + "\" an argument " + temp);
  EXPECT_EQ(::GetFileAttributesA((fixture.folder.path() + "\\tool.txt").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST(TrayEntries, IdentifiersBeforeAnyMenuOrBeyondTheTableAreIgnored) {
  EntryFixture fixture;
  MenuFileScope menu(fixture.Line("Only", ""));
  TrayProgram tray(fixture.exe);
  ::SendMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);  // no menu shown yet
  tray.OpenMenu(WM_LBUTTONUP);
  tray.CloseMenu();
  ::SendMessageA(tray.window(), WM_COMMAND, kFirstEntry + 1, 0);  // beyond the one entry
  ::SendMessageA(tray.window(), WM_COMMAND, 0xFFFF, 0);
  EXPECT_EQ(Recorded(fixture.folder.path(), "tool", 1000), "");
  ::SendMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);
  EXPECT_EQ(Recorded(fixture.folder.path(), "tool"), "\"" + fixture.tool + "\" ");
  EXPECT_TRUE(tray.Running());
}

TEST(TrayPrompt, AsksForEachPlaceholderInTurnThenRuns) {
  EntryFixture fixture;
  MenuFileScope menu(fixture.Line("Two", "%input(C:\\)% and %INPUT(%TEMP%)%"));
  TrayProgram tray(fixture.exe);
  const HWND edit = ControlByClass(tray, "Edit");
  const HWND label = ControlByClass(tray, "Static");
  const HWND ok = ControlByClass(tray, "Button", "Ok");
  tray.OpenMenu(WM_LBUTTONUP);
  tray.CloseMenu();
  ::PostMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(tray.window()) != FALSE; }));
  EXPECT_EQ(WindowText(label), "Parameter #1:");

  // An empty value is refused, and the prompt stays as it was.
  ClickButton(ok);
  const TopWindow refusal = tray.WaitForDialog("Error");
  ASSERT_NE(refusal.handle, nullptr);
  EXPECT_EQ(refusal.text, "No parameters entered");
  EXPECT_EQ(::GetWindow(refusal.handle, GW_OWNER), tray.window());
  CloseDialog(refusal);
  EXPECT_EQ(WindowText(label), "Parameter #1:");

  SetText(edit, "first");
  ClickButton(ok);
  ASSERT_TRUE(WaitFor([&] { return WindowText(label) == "Parameter #2:"; }));
  EXPECT_TRUE(::IsWindowVisible(tray.window()));
  EXPECT_EQ(WindowText(edit), "");
  SetText(edit, "second %TEMP%");
  ClickButton(ok);
  char temp[MAX_PATH] = {};
  ::GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
  EXPECT_EQ(Recorded(fixture.folder.path(), "tool"),
            "\"" + fixture.tool + "\" first and second " + temp);
  EXPECT_FALSE(::IsWindowVisible(tray.window()));
}

TEST(TrayPrompt, CancelRunsNothingAndTheNextChoiceStartsOver) {
  EntryFixture fixture;
  MenuFileScope menu(fixture.Line("Two", "%input(a)% %input(b)%"));
  TrayProgram tray(fixture.exe);
  const HWND edit = ControlByClass(tray, "Edit");
  const HWND label = ControlByClass(tray, "Static");
  tray.OpenMenu(WM_LBUTTONUP);
  tray.CloseMenu();
  ::PostMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);
  ASSERT_TRUE(WaitFor([&] { return WindowText(label) == "Parameter #1:"; }));
  SetText(edit, "x");
  ClickButton(ControlByClass(tray, "Button", "Ok"));
  ASSERT_TRUE(WaitFor([&] { return WindowText(label) == "Parameter #2:"; }));
  SetText(edit, "typed");
  ClickButton(ControlByClass(tray, "Button", "Cancel"));
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(tray.window()); }));
  EXPECT_EQ(WindowText(edit), "");

  // The values live in memory only until the next click rebuilds the menu.
  tray.OpenMenu(WM_LBUTTONUP);
  tray.CloseMenu();
  ::PostMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(tray.window()) != FALSE; }));
  EXPECT_EQ(WindowText(label), "Parameter #1:");
  EXPECT_EQ(Recorded(fixture.folder.path(), "tool", 500), "");
}

TEST(TrayPrompt, LongValueReachesTheEntryCutTo259Characters) {
  EntryFixture fixture;
  MenuFileScope menu(fixture.Line("One", "%input(x)%"));
  TrayProgram tray(fixture.exe);
  tray.OpenMenu(WM_LBUTTONUP);
  tray.CloseMenu();
  ::PostMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(tray.window()) != FALSE; }));
  SetText(ControlByClass(tray, "Edit"), std::string(300, 'v'));
  ClickButton(ControlByClass(tray, "Button", "Ok"));
  EXPECT_EQ(Recorded(fixture.folder.path(), "tool"),
            "\"" + fixture.tool + "\" " + std::string(259, 'v'));
}

// "..." puts the chosen file's path in the field (its short form where its name has characters
// outside the code page), leaves the field as it was when cancelled, and leaves the program's
// current folder where it was: the entry still starts in the program's own folder.
TEST(TrayPrompt, BrowseFillsTheFieldAndKeepsTheCurrentFolder) {
  EntryFixture fixture;
  const std::string picked = fixture.folder.Write("picked file.txt", "x");
  const std::wstring foreignName = L"\x0416\x0436 picked.txt";  // not in the ANSI code page
  const std::wstring foreign = win::Widen(fixture.folder.path()) + L"\\" + foreignName;
  ::CloseHandle(::CreateFileW(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  MenuFileScope menu(fixture.Line("Pick", "%input(" + fixture.folder.path() + ")%"));
  ScratchFolder elsewhere;
  TrayProgram tray(fixture.exe, elsewhere.path());
  const HWND edit = ControlByClass(tray, "Edit");
  tray.OpenMenu(WM_LBUTTONUP);
  tray.CloseMenu();
  ::PostMessageA(tray.window(), WM_COMMAND, kFirstEntry, 0);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(tray.window()) != FALSE; }));

  const auto browse = [&](const std::wstring* name) {
    ClickButton(ControlByClass(tray, "Button", "..."));
    const TopWindow dialog = tray.WaitForDialog("Add File");
    ASSERT_NE(dialog.handle, nullptr);
    if (name == nullptr) {
      ::PostMessageA(dialog.handle, WM_COMMAND, IDCANCEL, 0);
    } else {
      // The dialog opened in the placeholder's folder: a bare file name is found there.
      const HWND field = ::GetDlgItem(dialog.handle, 0x47c);
      ASSERT_NE(field, nullptr);
      ::SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name->c_str()));
      ::PostMessageA(dialog.handle, WM_COMMAND, IDOK, 0);
    }
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog.handle); }));
  };
  SetText(edit, "typed");
  browse(nullptr);
  EXPECT_EQ(WindowText(edit), "typed");
  browse(&foreignName);
  wchar_t shortForm[MAX_PATH] = {};
  ::GetShortPathNameW(foreign.c_str(), shortForm, MAX_PATH);
  EXPECT_EQ(win::Widen(WindowText(edit)), shortForm);
  const std::wstring pickedName = L"picked file.txt";
  browse(&pickedName);
  EXPECT_EQ(WindowText(edit), picked);

  ClickButton(ControlByClass(tray, "Button", "Ok"));
  std::string startedIn;
  EXPECT_EQ(Recorded(fixture.folder.path(), "tool", 10000, &startedIn),
            "\"" + fixture.tool + "\" " + picked);
  EXPECT_EQ(startedIn, elsewhere.path());
}

TEST(TrayOptions, MenuEditorStartsEditorBesideTheProgram) {
  EntryFixture fixture;
  fixture.folder.Copy(fixture.tool, "Editor.exe");
  MenuFileScope menu("");
  ScratchFolder elsewhere;
  TrayProgram tray(fixture.exe, elsewhere.path());
  ::PostMessageA(tray.window(), WM_COMMAND, 0x407, 0);
  EXPECT_EQ(Recorded(fixture.folder.path(), "Editor"),
            "\"" + fixture.folder.path() + "\\Editor.exe\" ");
}

}  // namespace
}  // namespace zel::test
