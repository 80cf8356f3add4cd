// The real Editor.exe on a Wine desktop, driven from this process: the user's menu file opened
// and saved, refused files, "Add to..." for programs, folders and documents, and the ways in
// from the tray program and the shell extension.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "launch/launch_win32.h"
#include "menu/menu_build.h"
#include "menu/menu_tree.h"
#include "tests/win32/editor/editor_driver.h"
#include "win/code_page_win32.h"
#include "tools/editor/editor_ids.h"
#include "tools/editor/editor_logic.h"

namespace zel::test {
namespace {

using tools::editor::IDC_CHECK;
using tools::editor::IDC_FINDINGS;
using tools::editor::IDC_RELOAD;
using tools::editor::IDC_SAVE;
using tools::editor::IDC_STATUS;
using tools::editor::IDC_TEXT;

// The menu a deliverable builds from `bytes`, as an indented listing (what `zelmenu show`
// prints), and its entry table.
std::string Show(const std::string& bytes, menu::Host host, const std::string& selected = "",
                 menu::MenuTable* entries = nullptr) {
  menu::BuildRequest request;
  request.host = host;
  request.selectedPath = selected;
  menu::MenuTreeSink sink;
  menu::MenuTable table;
  menu::MenuBuilder builder(request, sink, sink.Root(), table);
  menu::MemorySource source(bytes);
  menu::FeedLines(builder, source);
  if (entries != nullptr) *entries = table;
  return menu::Describe(sink.Tree());
}

// What `zelmenu show MENUFILE` prints (line ends as "\n").
std::string ZelmenuShow(const std::string& menuFile) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string outPath = std::string(temp) + "zelmenu-show-" +
                              std::to_string(::GetCurrentProcessId()) + ".txt";
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  const HANDLE out = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process = {};
  std::string commandLine =
      "\"" + BinaryPath("tools\\zelmenu.exe") + "\" show \"" + menuFile + "\"";
  if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(out);
  std::string text;
  for (const char c : ReadBytes(outPath)) {
    if (c != '\r') text += c;
  }
  ::DeleteFileA(outPath.c_str());
  return text;
}

std::string LongPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  ::GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
  return buffer;
}

std::string ShortPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  ::GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return buffer;
}

// Keeps the backup of the user's menu file out of other tests.
class BackupScope {
 public:
  BackupScope() { ::DeleteFileA(Path().c_str()); }
  ~BackupScope() {
    ::SetFileAttributesA(MenuFileScope::Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(Path().c_str());
  }
  static std::string Path() { return MenuFileScope::Path() + ".bak"; }
};

// Every byte but NUL, CR and LF, on lines with CR LF ends, a Ctrl-Z and text after it included.
std::string EveryByte() {
  std::string bytes = "item 'A','a.exe'\r\n";
  for (int c = 1; c < 256; ++c) {
    if (c == '\r' || c == '\n') continue;
    bytes += static_cast<char>(c);
    if (c % 32 == 0) bytes += "\r\n";
  }
  return bytes + "\r\nno line end at the end";
}

TEST(EditorFile, OpenedAndSavedUnchangedKeepsEveryByte) {
  BackupScope backup;
  const std::string bytes = EveryByte();
  MenuFileScope menu(bytes);
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened")) << editor.Text(IDC_STATUS);
  EXPECT_EQ(editor.Text(IDC_TEXT), bytes);
  EXPECT_EQ(editor.Title().rfind("Menu.txt", 0), 0u) << "not marked changed: " << editor.Title();
  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved")) << editor.Text(IDC_STATUS);
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), bytes);
  EXPECT_EQ(ReadBytes(BackupScope::Path()), bytes);
}

TEST(EditorFile, LfOnlyFileIsSavedWithCrLf) {
  BackupScope backup;
  const std::string lf = "item 'Notepad','notepad.exe'\nsep\nitem 'Calc','calc.exe'\n";
  const std::string crlf = "item 'Notepad','notepad.exe'\r\nsep\r\nitem 'Calc','calc.exe'\r\n";
  MenuFileScope menu(lf);
  // Read as one line, the whole file is a separator.
  EXPECT_EQ(ZelmenuShow(MenuFileScope::Path()), "--------\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("CR LF")) << editor.Text(IDC_STATUS);
  EXPECT_EQ(editor.Title().rfind("*", 0), 0u) << "marked changed: " << editor.Title();
  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved")) << editor.Text(IDC_STATUS);
  const std::string saved = ReadBytes(MenuFileScope::Path());
  EXPECT_EQ(saved, crlf);
  EXPECT_EQ(ZelmenuShow(MenuFileScope::Path()),
            "Notepad  [1033]  command \"notepad.exe\"  arguments \"\"\n"
            "--------\n"
            "Calc  [1034]  command \"calc.exe\"  arguments \"\"\n");
  EXPECT_EQ(ReadBytes(BackupScope::Path()), lf);
}

TEST(EditorFile, SaveKeepsThePreviousVersionAsBak) {
  BackupScope backup;
  MenuFileScope menu("item 'Old','old.exe'\r\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  editor.Type("item 'New','new.exe'\r\n");
  EXPECT_EQ(editor.Title().rfind("*", 0), 0u) << editor.Title();
  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved")) << editor.Text(IDC_STATUS);
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), "item 'New','new.exe'\r\n");
  EXPECT_EQ(ReadBytes(BackupScope::Path()), "item 'Old','old.exe'\r\n");
  EXPECT_EQ(editor.Title().rfind("Menu.txt", 0), 0u) << editor.Title();
}

TEST(EditorFile, SaveIntoReadOnlyFileSaysSoAndKeepsFileAndText) {
  BackupScope backup;
  MenuFileScope menu("item 'Old','old.exe'\r\n");
  ::SetFileAttributesA(MenuFileScope::Path().c_str(), FILE_ATTRIBUTE_READONLY);
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  editor.Type("item 'New','new.exe'\r\n");
  editor.Press(IDC_SAVE);
  const TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_NE(box.text.find("read-only"), std::string::npos) << box.text;
  EditorProgram::Answer(box, IDOK);
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), "item 'Old','old.exe'\r\n");
  EXPECT_EQ(editor.Text(IDC_TEXT), "item 'New','new.exe'\r\n");
  EXPECT_EQ(editor.Title().rfind("*", 0), 0u) << editor.Title();
  EXPECT_EQ(::GetFileAttributesA(BackupScope::Path().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(EditorFile, MissingFileStartsFromTheExampleAndIsCreatedOnSave) {
  BackupScope backup;
  MenuFileScope menu("");
  ::DeleteFileA(MenuFileScope::Path().c_str());
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("does not exist yet")) << editor.Text(IDC_STATUS);
  const std::string example = editor.Text(IDC_TEXT);
  EXPECT_EQ(example.rfind("//", 0), 0u) << example;
  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), example);
}

TEST(EditorFile, FileItCannotShowUnchangedIsRefusedAndLeftAlone) {
  const struct {
    std::string bytes;
    const char* message;
  } cases[] = {
      {std::string("item 'A','a.exe'\r\n\0item 'B','b.exe'\r\n", 37), "NUL byte"},
      {std::string(4 * 1024 * 1024, 'x'), "larger than"},
  };
  for (const auto& c : cases) {
    BackupScope backup;
    MenuFileScope menu(c.bytes);
    EditorProgram editor;
    const TopWindow box = editor.WaitForDialog();
    ASSERT_NE(box.handle, nullptr) << c.message;
    EXPECT_NE(box.text.find(c.message), std::string::npos) << box.text;
    EditorProgram::Answer(box, IDOK);
    EXPECT_FALSE(::IsWindowEnabled(editor.Control(IDC_SAVE))) << c.message;
    editor.Press(IDC_SAVE);  // Ctrl+S reaches the same command
    ::PostMessageA(editor.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(editor.WaitForExit()) << c.message;
    EXPECT_TRUE(ReadBytes(MenuFileScope::Path()) == c.bytes) << c.message;
    EXPECT_EQ(::GetFileAttributesA(BackupScope::Path().c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

TEST(EditorFile, ClosingWithUnsavedChangesAsks) {
  const struct {
    int answer;
    bool closes;
    const char* file;
  } cases[] = {
      {IDCANCEL, false, "item 'Old','old.exe'\r\n"},
      {IDNO, true, "item 'Old','old.exe'\r\n"},
      {IDYES, true, "item 'New','new.exe'\r\n"},
  };
  for (const auto& c : cases) {
    BackupScope backup;
    MenuFileScope menu("item 'Old','old.exe'\r\n");
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForStatus("Opened"));
    editor.Type("item 'New','new.exe'\r\n");
    ::PostMessageA(editor.window(), WM_CLOSE, 0, 0);
    const TopWindow box = editor.WaitForDialog();
    ASSERT_NE(box.handle, nullptr) << c.answer;
    EXPECT_NE(box.text.find("Save the changes"), std::string::npos) << box.text;
    EditorProgram::Answer(box, c.answer);
    EXPECT_EQ(editor.WaitForExit(c.closes ? 10000 : 500), c.closes) << c.answer;
    EXPECT_EQ(ReadBytes(MenuFileScope::Path()), c.file) << c.answer;
  }
}

TEST(EditorFile, FileChangedByAnotherProgramIsReplacedOnlyWhenTheUserSaysSo) {
  BackupScope backup;
  MenuFileScope menu("item 'Old','old.exe'\r\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  editor.Type("item 'Mine','mine.exe'\r\n");
  std::ofstream(MenuFileScope::Path(), std::ios::binary) << "item 'Theirs','theirs.exe'\r\n";

  editor.Press(IDC_SAVE);
  TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_NE(box.text.find("changed by another program"), std::string::npos) << box.text;
  EditorProgram::Answer(box, IDNO);
  ASSERT_TRUE(editor.WaitForStatus("Not saved"));
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), "item 'Theirs','theirs.exe'\r\n");

  editor.Press(IDC_SAVE);
  box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EditorProgram::Answer(box, IDYES);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), "item 'Mine','mine.exe'\r\n");
  EXPECT_EQ(ReadBytes(BackupScope::Path()), "item 'Theirs','theirs.exe'\r\n");

  // Saved by this editor, the file is no stranger's any more: the next save asks nothing.
  editor.Type("item 'Again','again.exe'\r\n");
  editor.Press(IDC_SAVE);
  EXPECT_TRUE(WaitFor([] {
    return ReadBytes(MenuFileScope::Path()) == "item 'Again','again.exe'\r\n";
  }));
  EXPECT_EQ(editor.WaitForDialog(nullptr, 300).handle, nullptr);
}

TEST(EditorFile, LoggingOffWithUnsavedChangesAsksToo) {
  BackupScope backup;
  MenuFileScope menu("item 'Old','old.exe'\r\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  editor.Type("item 'New','new.exe'\r\n");
  ::PostMessageA(editor.window(), WM_QUERYENDSESSION, 0, 0);
  const TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_NE(box.text.find("Save the changes"), std::string::npos) << box.text;
  EditorProgram::Answer(box, IDYES);
  EXPECT_TRUE(WaitFor([] {
    return ReadBytes(MenuFileScope::Path()) == "item 'New','new.exe'\r\n";
  }));
}

TEST(EditorFile, ReloadReadsTheFileAgainAfterAsking) {
  BackupScope backup;
  MenuFileScope menu("item 'Old','old.exe'\r\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  editor.Type("typed\r\n");
  std::ofstream(MenuFileScope::Path(), std::ios::binary) << "item 'Other','other.exe'\r\n";
  editor.Press(IDC_RELOAD);
  const TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EditorProgram::Answer(box, IDYES);
  EXPECT_TRUE(WaitFor([&] { return editor.Text(IDC_TEXT) == "item 'Other','other.exe'\r\n"; }))
      << editor.Text(IDC_TEXT);
}

TEST(EditorLayout, TextAndFindingsFollowTheWindowsSize) {
  BackupScope backup;
  MenuFileScope menu("item 'Notepad','notepad.exe'\r\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  const struct {
    int width;
    int height;
  } sizes[] = {{900, 700}, {500, 360}};
  for (const auto& size : sizes) {
    ::SetWindowPos(editor.window(), nullptr, 0, 0, size.width, size.height,
                   SWP_NOZORDER | SWP_NOMOVE);
    RECT client = {};
    RECT text = {};
    RECT findings = {};
    EXPECT_TRUE(WaitFor([&] {
      ::GetClientRect(editor.window(), &client);
      ::GetWindowRect(editor.Control(IDC_TEXT), &text);
      ::GetWindowRect(editor.Control(IDC_FINDINGS), &findings);
      POINT corner = {findings.right, findings.bottom};
      ::ScreenToClient(editor.window(), &corner);
      // Both fill the width; the findings end at the bottom and the text grows above them.
      return text.right - text.left == client.right - 12 && corner.y == client.bottom - 6 &&
             text.bottom <= findings.top && text.bottom - text.top > 100;
    }, 3000)) << size.width << "x" << size.height;
  }
}

TEST(EditorCheck, FindingsWithLineNumbersAndChoosingOneSelectsItsLine) {
  BackupScope backup;
  MenuFileScope menu("item 'Notepad','notepad.exe'\r\nitem 'Help','http://example.com'\r\n"
                     "item 'Sepia','sepia.exe'\r\n");
  EditorProgram editor;
  ASSERT_TRUE(editor.WaitForStatus("Opened"));
  editor.Press(IDC_CHECK);
  ASSERT_TRUE(editor.WaitForStatus("2 findings")) << editor.Text(IDC_STATUS);
  const HWND list = editor.Control(IDC_FINDINGS);
  ASSERT_EQ(::SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
  ::SendMessageA(list, LB_SETCURSEL, 1, 0);
  ::PostMessageA(editor.window(), WM_COMMAND, MAKEWPARAM(IDC_FINDINGS, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  EXPECT_TRUE(WaitFor([&] { return editor.SelectedText() == "item 'Sepia','sepia.exe'"; }))
      << editor.SelectedText();

  editor.Type("item 'Notepad','notepad.exe'\r\n");
  editor.Press(IDC_CHECK);
  ASSERT_TRUE(editor.WaitForStatus("no findings")) << editor.Text(IDC_STATUS);
}

// "Add to..." with the object's short path, as the shell extension starts the editor.
struct AddFixture {
  BackupScope backup;
  MenuFileScope menu{"sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend"};
  ScratchFolder folder;
};

TEST(EditorAdd, ProgramGetsAnItemLineSelectedAndUnsaved) {
  AddFixture fixture;
  const std::string program = LongPath(fixture.folder.Write("My Tool.exe", "MZ"));
  EditorProgram editor(ShortPath(program));
  ASSERT_TRUE(editor.WaitForStatus("Added")) << editor.Text(IDC_STATUS);
  const std::string line = "item 'My Tool','" + program + "'";
  EXPECT_EQ(editor.Text(IDC_TEXT),
            "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend\r\n" + line + "\r\n");
  EXPECT_EQ(editor.SelectedText(), line);
  EXPECT_EQ(editor.Title().rfind("*", 0), 0u) << editor.Title();
  EXPECT_EQ(ReadBytes(MenuFileScope::Path()), "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend");

  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  menu::MenuTable entries;
  EXPECT_EQ(Show(ReadBytes(MenuFileScope::Path()), menu::Host::Shell, "C:\\x.txt", &entries),
            "Tools >\n  Notepad [1]\nMy Tool [2]\n");
  ASSERT_NE(entries.Find(1), nullptr);
  EXPECT_EQ(entries.Find(1)->Command, program);
}

TEST(EditorAdd, FolderGetsAnExplorerLineWhateverTheArgumentsForm) {
  AddFixture fixture;
  const std::string folder = LongPath(fixture.folder.path());
  const std::string line = "item '" + tools::editor::LastPart(folder) + "','explorer.exe','\"" + folder +
                           "\"'";
  for (const std::string& argument :
       {ShortPath(folder), "\"" + folder + "\"", folder, "  \"" + ShortPath(folder) + "\" "}) {
    EditorProgram editor(argument);
    ASSERT_TRUE(editor.WaitForStatus("Added")) << argument << ": " << editor.Text(IDC_STATUS);
    EXPECT_EQ(editor.SelectedText(), line) << argument;
  }
  EditorProgram editor(ShortPath(folder));
  ASSERT_TRUE(editor.WaitForStatus("Added"));
  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  menu::MenuTable entries;
  Show(ReadBytes(MenuFileScope::Path()), menu::Host::Tray, "", &entries);
  ASSERT_NE(entries.Find(1), nullptr);
  EXPECT_EQ(entries.Find(1)->Command, "explorer.exe");
  EXPECT_EQ(entries.Find(1)->Arguments, "\"" + folder + "\"");
}

TEST(EditorAdd, DocumentGetsAShellLineForItsExtensionWithThePickedProgram) {
  AddFixture fixture;
  const std::string document = fixture.folder.Write("Quarterly Report.txt", "text");
  const std::string viewer = LongPath(fixture.folder.Write("viewer.exe", "MZ"));
  EditorProgram editor(ShortPath(document));
  const TopWindow dialog = editor.WaitForDialog("Open Quarterly Report.txt with");
  ASSERT_NE(dialog.handle, nullptr);
  const HWND name = ::GetDlgItem(dialog.handle, 0x47c);
  ASSERT_NE(name, nullptr);
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(viewer.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &result);
  ::PostMessageA(dialog.handle, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(editor.WaitForStatus("Added")) << editor.Text(IDC_STATUS);
  const std::string line = "citem 'viewer','" + viewer + "','%s','txt'";
  EXPECT_EQ(editor.SelectedText(), line);

  editor.Press(IDC_SAVE);
  ASSERT_TRUE(editor.WaitForStatus("Saved"));
  const std::string saved = ReadBytes(MenuFileScope::Path());
  EXPECT_EQ(Show(saved, menu::Host::Tray), "Tools >\n  Notepad [1033]\n");
  EXPECT_EQ(Show(saved, menu::Host::Shell, "C:\\a.log"), "Tools >\n  Notepad [1]\n");
  menu::MenuTable entries;
  EXPECT_EQ(Show(saved, menu::Host::Shell, LongPath(document), &entries),
            "Tools >\n  Notepad [1]\nviewer [2]\n");
  ASSERT_NE(entries.Find(1), nullptr);
  EXPECT_EQ(entries.Find(1)->Arguments, "%s");
}

TEST(EditorAdd, ToAMissingFileAfterTheExampleAndToAFileEndingInsideASubmenu) {
  const struct {
    bool missing;
    const char* bytes;
    const char* status;
  } cases[] = {
      {true, "", "Save to keep it"},
      {false, "csub 'Shell only'\r\nitem 'X','x.exe'\r\n", "ends inside a submenu"},
  };
  for (const auto& c : cases) {
    BackupScope backup;
    MenuFileScope menu(c.bytes);
    if (c.missing) ::DeleteFileA(MenuFileScope::Path().c_str());
    ScratchFolder folder;
    const std::string program = LongPath(folder.Write("tool.exe", "MZ"));
    EditorProgram editor(ShortPath(program));
    ASSERT_TRUE(editor.WaitForStatus(c.status)) << editor.Text(IDC_STATUS);
    const std::string line = "item 'tool','" + program + "'";
    EXPECT_EQ(editor.SelectedText(), line);
    const std::string text = editor.Text(IDC_TEXT);
    EXPECT_EQ(text.substr(text.size() - line.size() - 2), line + "\r\n");
    if (c.missing) {
      EXPECT_EQ(text.rfind("//", 0), 0u) << text;
    } else {
      EXPECT_GE(::SendMessageA(editor.Control(IDC_FINDINGS), LB_GETCOUNT, 0, 0), 1);
    }
    editor.Press(IDC_SAVE);
    ASSERT_TRUE(editor.WaitForStatus("Saved"));
    EXPECT_EQ(ReadBytes(MenuFileScope::Path()), text);
  }
}

TEST(EditorAdd, CancelledProgramChoiceAddsNothing) {
  AddFixture fixture;
  const std::string document = fixture.folder.Write("notes.txt", "text");
  EditorProgram editor(ShortPath(document));
  const TopWindow dialog = editor.WaitForDialog("Open notes.txt with");
  ASSERT_NE(dialog.handle, nullptr);
  ::PostMessageA(dialog.handle, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(editor.WaitForStatus("nothing was added")) << editor.Text(IDC_STATUS);
  EXPECT_EQ(editor.Text(IDC_TEXT), "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend");
  EXPECT_EQ(editor.Title().rfind("Menu.txt", 0), 0u) << editor.Title();
}

TEST(EditorAdd, PathThatDoesNotExistIsReportedAndNothingChanges) {
  AddFixture fixture;
  const std::string missing = fixture.folder.path() + "\\gone.exe";
  EditorProgram editor(missing);
  const TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_NE(box.text.find("does not exist"), std::string::npos) << box.text;
  EditorProgram::Answer(box, IDOK);
  EXPECT_EQ(editor.Text(IDC_TEXT), "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend");
  EXPECT_EQ(editor.Title().rfind("Menu.txt", 0), 0u) << editor.Title();
}

// A name outside the code page reaches the editor whole through the wide command line: the
// object is added by its short path; one with no ANSI name at all is refused with a reason.
TEST(EditorAdd, NameOutsideTheCodePageIsAddedByItsShortPathOrExplained) {
  AddFixture fixture;
  const std::wstring program = win::Widen(fixture.folder.path()) + L"\\\x0416 tool.exe";
  ::CloseHandle(::CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  wchar_t shortForm[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(program.c_str(), shortForm, MAX_PATH), 0u);
  {
    EditorProgram editor(L"\"" + program + L"\"");
    ASSERT_TRUE(editor.WaitForStatus("Added")) << editor.Text(IDC_STATUS);
    const std::string line = editor.SelectedText();
    EXPECT_NE(line.find("','" + std::string(win::AnsiPathFor(shortForm).value()) + "'"),
              std::string::npos) << line;
    EXPECT_EQ(line.find('?'), std::string::npos) << line;
  }
  EditorProgram editor(win::Widen(fixture.folder.path()) + L"\\\x0416 gone.exe");
  const TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_NE(box.text.find("code page"), std::string::npos) << box.text;
  EditorProgram::Answer(box, IDOK);
  EXPECT_EQ(editor.Text(IDC_TEXT), "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend");
}

TEST(EditorAdd, ObjectNoLineCanCarryIsExplainedAndNothingChanges) {
  AddFixture fixture;
  const std::string program = fixture.folder.Write("sepsep.exe", "MZ");
  EditorProgram editor(ShortPath(program));
  const TopWindow box = editor.WaitForDialog();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_NE(box.text.find("\"sep\""), std::string::npos) << box.text;
  EditorProgram::Answer(box, IDOK);
  EXPECT_EQ(editor.Text(IDC_TEXT), "sub 'Tools'\r\nitem 'Notepad','notepad.exe'\r\nend");
}

// The ways in: the tray program's "Menu Editor" and the shell extension's "Add to...".
TEST(EditorStart, TrayMenuEditorCommandOpensTheEditor) {
  BackupScope backup;
  MenuFileScope menu("item 'Notepad','notepad.exe'\r\n");
  ScratchFolder folder;
  const std::string tray = folder.Copy(BinaryPath("tray\\Zelvane.exe"), "Zelvane.exe");
  folder.Copy(BinaryPath("tools\\Editor.exe"), "Editor.exe");
  ASSERT_EQ(::FindWindowA(tools::editor::kEditorClass, nullptr), nullptr);
  TrayProgram program(tray);
  ::PostMessageA(program.window(), WM_COMMAND, 0x407, 0);
  const EditorWindow editor;
  ASSERT_NE(editor.window(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return editor.Text() == "item 'Notepad','notepad.exe'\r\n"; }))
      << editor.Text();
  ::PostMessageA(editor.window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(editor.WaitForExit());
}

TEST(EditorStart, ShellAddToStartsTheEditorWithTheShortPath) {
  BackupScope backup;
  MenuFileScope menu("Add\r\n");
  ScratchFolder folder;
  const std::string program = LongPath(folder.Write("Long Program Name.exe", "MZ"));
  ASSERT_EQ(::FindWindowA(tools::editor::kEditorClass, nullptr), nullptr);
  // The shell extension's run of "Add to...", from a module beside a copy of Editor.exe: here
  // this test program, whose folder gets the copy.
  std::string selected = program;
  launch::Win32LaunchSystem system;
  launch::RunShellEntry({"Add", ""}, selected, launch::ExtractFolder(win::GetModulePath()),
                        system);
  EXPECT_EQ(selected, ShortPath(program));
  const EditorWindow editor;
  ASSERT_NE(editor.window(), nullptr);
  const std::string expected = "Add\r\nitem 'Long Program Name','" + program + "'\r\n";
  EXPECT_TRUE(WaitFor([&] { return editor.Text() == expected; })) << editor.Text();
}

}  // namespace
}  // namespace zel::test
