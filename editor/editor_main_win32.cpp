// Editor.exe: the user's menu file as text, with Save, Reload and Check, and "Add to..."
// appending an entry for the object named on its command line.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "launch/launch_win32.h"
#include "menu/menu_check.h"
#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"
#include "editor/editor_files_win32.h"
#include "editor/editor_ids.h"
#include "editor/editor_layout.h"
#include "editor/editor_logic.h"
#include "win/code_page_win32.h"
#include "win/dpi_win32.h"

namespace zel::editor {
namespace {

constexpr char kTitle[] = "Zelvane Menu Editor";
constexpr UINT WM_APP_START = WM_APP + 1;  // the window is up: read the file, add the object

// The window and its controls belong to the window system; the fonts are ours.
struct EditorState {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  HWND text = nullptr;
  HWND save = nullptr;
  HWND saveUtf8 = nullptr;
  HWND reload = nullptr;
  HWND check = nullptr;
  HWND findings = nullptr;
  HWND status = nullptr;
  unsigned dpi = ui::kBaseDpi;  // the window's, which its fonts and layout are made for
  win::UniqueHfont uiFont;
  win::UniqueHfont textFont;
  std::array<int, kEditorButtons> captionWidths = {};  // in the buttons' font
  std::string path;                                    // the menu file
  bool open = false;               // the text control holds the menu file's text: saving is allowed
  LoadedFile onDisk;               // the file as last read or saved, to notice changes by others
  std::string addArgument;         // the path "Add to..." handed over (UTF-8), empty for none
  TextKind kind = TextKind::Ansi;  // the open file's: saved as it was read
};

EditorState g_editor;

int Ask(const std::string& text, UINT type) {
  return ::MessageBoxA(g_editor.window, text.c_str(), kTitle, type);
}

// The text control's text in the file's code page; the other controls hold ASCII.
std::string ControlText(HWND control) {
  if (control == g_editor.text && g_editor.kind == TextKind::Utf8) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        std::max(::GetWindowTextW(control, text.data(), static_cast<int>(text.size())), 0)));
    return win::Narrow(text, TextKind::Utf8);
  }
  const int length = ::GetWindowTextLengthA(control);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(control, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

bool Modified() { return ::SendMessageA(g_editor.text, EM_GETMODIFY, 0, 0) != 0; }

void SetModified(bool modified) {
  ::SendMessageA(g_editor.text, EM_SETMODIFY, modified ? TRUE : FALSE, 0);
}

void UpdateTitle() {
  const std::string title = std::string(Modified() ? "*" : "") + "Menu.txt - " + kTitle;
  ::SetWindowTextA(g_editor.window, title.c_str());
}

void SetStatus(const std::string& text) { ::SetWindowTextA(g_editor.status, text.c_str()); }

void SetOpen(bool open) {
  g_editor.open = open;
  ::EnableWindow(g_editor.save, open ? TRUE : FALSE);
  ::SendMessageA(g_editor.text, EM_SETREADONLY, open ? FALSE : TRUE, 0);
}

void SetText(const std::string& text) {
  if (g_editor.kind == TextKind::Utf8) {
    ::SetWindowTextW(g_editor.text, win::Widen(text, TextKind::Utf8).c_str());
  } else {
    ::SetWindowTextA(g_editor.text, text.c_str());
  }
}

// The text as it would be saved: the control's text with CR LF line ends.
std::string CurrentText() { return ToCrLf(ControlText(g_editor.text)); }

// The file's bytes for a text: a UTF-8 file keeps its mark.
std::string FileBytes(const std::string& text) {
  return g_editor.kind == TextKind::Utf8 ? std::string(kUtf8Mark) + text : text;
}

// Puts `bytes` into the text control. False when the control does not give them back
// unchanged: bytes that are no text in the ANSI code page would be lost on saving.
bool ShowText(const std::string& bytes, bool modified) {
  const std::string text = ToCrLf(bytes);
  SetText(text);
  if (ControlText(g_editor.text) != text) {
    ::SetWindowTextA(g_editor.text, "");
    return false;
  }
  SetModified(modified || text != bytes);
  return true;
}

void ClearFindings() { ::SendMessageA(g_editor.findings, LB_RESETCONTENT, 0, 0); }

void Refuse(const std::string& why) {
  ::SetWindowTextA(g_editor.text, "");
  SetModified(false);
  SetOpen(false);
  SetStatus("Not opened: the menu file is left as it is.");
  Ask(why + "\n\nThe menu file is left as it is.", MB_OK | MB_ICONERROR);
}

void Load() {
  ClearFindings();
  const LoadedFile file = LoadMenuFile(g_editor.path);
  g_editor.onDisk = file;
  g_editor.kind = KindOfBytes(file.bytes);
  const bool utf8 = g_editor.kind == TextKind::Utf8;
  switch (file.state) {
    case menu::MenuFileState::Missing:
      ShowText(kExampleMenu, false);
      SetOpen(true);
      SetStatus(g_editor.path + " does not exist yet: it is created when you save.");
      break;
    case menu::MenuFileState::Unreadable:
      Refuse(file.why);
      break;
    case menu::MenuFileState::Read:
      if (!ShowText(file.bytes.substr(utf8 ? kUtf8Mark.size() : 0), false)) {
        Refuse("The menu file " + g_editor.path +
               (utf8 ? " starts with the UTF-8 mark but holds bytes that are not UTF-8."
                     : " holds bytes that are not text in this system's code page.") +
               " The editor would change them on saving, so it does not open the file.");
        break;
      }
      SetOpen(true);
      SetStatus(Modified() ? "Opened " + g_editor.path +
                                 ". Its line ends are not all CR LF; saving makes them so."
                           : "Opened " + g_editor.path + ".");
      break;
  }
  UpdateTitle();
}

bool Save() {
  if (!g_editor.open) return false;
  const LoadedFile now = LoadMenuFile(g_editor.path);
  if (now.state != g_editor.onDisk.state || now.bytes != g_editor.onDisk.bytes) {
    // Another editor, or the user with another program, wrote the file meanwhile.
    if (Ask("The menu file was changed by another program since it was read here.\n\n"
            "Replace it with the text shown here? The other version is then kept as "
            "Menu.txt.bak.",
            MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
      SetStatus("Not saved: the menu file was changed by another program. Reload to see it.");
      return false;
    }
  }
  const std::string text = CurrentText();
  const std::string error = SaveMenuFile(g_editor.path, FileBytes(text));
  if (!error.empty()) {
    SetStatus("Not saved.");
    Ask("The menu was not saved.\n\n" + error + "\n\nYour text is still here, unchanged.",
        MB_OK | MB_ICONERROR);
    return false;
  }
  if (ControlText(g_editor.text) != text) {
    // Line ends typed or pasted without CR were saved as CR LF; show what was saved.
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageA(g_editor.text, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    SetText(text);
    ::SendMessageA(g_editor.text, EM_SETSEL, start, end);
  }
  g_editor.onDisk.state = menu::MenuFileState::Read;
  g_editor.onDisk.bytes = FileBytes(text);
  SetModified(false);
  UpdateTitle();
  SetStatus("Saved " + g_editor.path + ".");
  return true;
}

// Turns an ANSI file into a UTF-8 one with the same meaning: every text through the code page
// to UTF-8, then saved with the mark.
void SaveAsUtf8() {
  if (!g_editor.open) return;
  if (g_editor.kind == TextKind::Utf8) {
    Save();
    return;
  }
  const std::string text = ControlText(g_editor.text);
  g_editor.kind = TextKind::Utf8;
  SetText(win::Narrow(win::Widen(text), TextKind::Utf8));
  if (!Save()) {
    g_editor.kind = TextKind::Ansi;
    SetText(text);
    SetModified(true);
  }
}

void Reload() {
  if (Modified() && Ask("Discard your changes and read the menu file again?",
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
    return;
  }
  Load();
}

// Selects line `index` (from 0) of the text; with `focus`, the caret goes there too.
void GoToLine(std::size_t index, bool focus) {
  const LRESULT start = ::SendMessageA(g_editor.text, EM_LINEINDEX, index, 0);
  if (start < 0) return;
  const LRESULT length = ::SendMessageA(g_editor.text, EM_LINELENGTH, start, 0);
  ::SendMessageA(g_editor.text, EM_SETSEL, start, start + length);
  ::SendMessageA(g_editor.text, EM_SCROLLCARET, 0, 0);
  if (focus) ::SetFocus(g_editor.text);
}

void Check() {
  ClearFindings();
  const std::string text = FileBytes(CurrentText());
  menu::MemorySource source(text);
  const std::vector<menu::Finding> findings = menu::CheckMenu(source);
  for (const menu::Finding& finding : findings) {
    const std::string line =
        (finding.line == 0 ? std::string("File") : "Line " + std::to_string(finding.line)) + ": " +
        finding.text;
    const LRESULT at =
        ::SendMessageA(g_editor.findings, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    ::SendMessageA(g_editor.findings, LB_SETITEMDATA, at, finding.line);
  }
  if (findings.empty()) {
    const char kClean[] = "No findings: both programs read the menu as it looks.";
    ::SendMessageA(g_editor.findings, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kClean));
  }
  SetStatus(findings.empty() ? "Check: no findings."
                             : "Check: " + std::to_string(findings.size()) +
                                   (findings.size() == 1 ? " finding" : " findings") +
                                   ". Choose one to go to its line.");
}

void FindingChosen(bool focus) {
  const LRESULT at = ::SendMessageA(g_editor.findings, LB_GETCURSEL, 0, 0);
  if (at == LB_ERR) return;
  const LRESULT line = ::SendMessageA(g_editor.findings, LB_GETITEMDATA, at, 0);
  if (line > 0) GoToLine(static_cast<std::size_t>(line) - 1, focus);
}

// The test of the open menu file's code page, which the paths the editor handles are in.
LeadByteTest Lead() { return win::LeadBytesOf(g_editor.kind); }

// The program a document is to be opened with, from an open-file dialog; empty when the
// user cancels.
std::string PickProgram(const std::string& document) {
  for (;;) {
    wchar_t chosen[MAX_PATH] = {};
    const std::wstring title =
        win::Widen("Open " + LastPart(document, Lead()) + " with", g_editor.kind);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = g_editor.window;
    dialog.lpstrFilter = L"Programs (*.exe, *.com, *.bat, *.cmd)\0*.exe;*.com;*.bat;*.cmd\0";
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = ARRAYSIZE(chosen);
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameW(&dialog)) return {};
    const std::string file = win::Narrow(chosen, g_editor.kind);
    if (IsProgramPath(file, Lead())) return file;
    Ask(file +
            " is not a program (.exe, .com, .bat or .cmd). Choose the program "
            "that is to open " +
            LastPart(document, Lead()) + ".",
        MB_OK | MB_ICONWARNING);
  }
}

void AddObject(const std::string& path) {
  launch::Win32LaunchSystem system(g_editor.kind);
  const ObjectInfo object = InspectObject(path, system);
  if (!object.exists()) {
    SetStatus("Nothing was added: " + path + " does not exist.");
    Ask("\"" + path + "\" does not exist, so no entry was added for it.", MB_OK | MB_ICONWARNING);
    return;
  }
  if (!g_editor.open) {
    SetStatus("Nothing was added for " + path + ": the menu file is not open.");
    return;
  }
  AddRequest request;
  request.paths = object.paths;
  request.lead = Lead();
  request.text = g_editor.kind;
  if (object.folder) {
    request.kind = ObjectKind::Folder;
  } else if (IsProgramPath(object.paths.front(), Lead())) {
    request.kind = ObjectKind::Program;
  } else {
    request.kind = ObjectKind::Document;
    const std::string program = PickProgram(object.paths.front());
    if (program.empty()) {
      SetStatus("No program was chosen, so nothing was added for " + path + ".");
      return;
    }
    request.programPaths = InspectObject(program, system).paths;
  }
  const EntryLine entry = BuildEntryLine(request);
  if (entry.line.empty()) {
    SetStatus("Nothing was added for " + path + ".");
    Ask(entry.problem + "\n\nNothing was added; you can write the entry yourself.",
        MB_OK | MB_ICONWARNING);
    return;
  }
  std::size_t index = 0;
  const std::string before = CurrentText();
  const std::string text = AppendLine(before, entry.line, index);
  SetText(text);
  SetModified(true);
  UpdateTitle();
  GoToLine(index, true);
  if (EndsInsideSubmenu(before)) {
    // The line is right, its place is not: show the open submenu among the findings.
    Check();
    SetStatus(
        "Added the selected line, but the file ends inside a submenu with no end line, "
        "so the new entry is in that submenu. See the findings below.");
    return;
  }
  SetStatus("Added the selected line for " + object.paths.front() + ". Save to keep it.");
}

// "Add to..." for the object on the command line: a UTF-8 file names it as it is; an ANSI file
// by its ANSI or short name, and not at all when it has neither.
void AddArgument() {
  if (g_editor.kind == TextKind::Utf8) return AddObject(g_editor.addArgument);
  const std::optional<std::string> path =
      win::AnsiPathFor(win::Widen(g_editor.addArgument, TextKind::Utf8));
  if (path) return AddObject(*path);
  SetStatus("Nothing was added.");
  Ask("The object to add has characters in its name that this system's code page cannot hold, "
      "and no short name to stand for it, so no entry was added for it. Rename it, use "
      "\"Save as UTF-8\" first, or write the entry yourself.",
      MB_OK | MB_ICONWARNING);
}

std::array<HWND, kEditorButtons> Buttons() {
  return {g_editor.save, g_editor.saveUtf8, g_editor.reload, g_editor.check};
}

void Layout(int width, int height) {
  const EditorLayout layout = LayOutEditor(width, height, g_editor.dpi, g_editor.captionWidths);
  const std::array<HWND, kEditorButtons> buttons = Buttons();
  for (std::size_t i = 0; i < kEditorButtons; ++i) win::Place(buttons[i], layout.buttons[i], true);
  win::Place(g_editor.status, layout.status, true);
  win::Place(g_editor.text, layout.text, true);
  win::Place(g_editor.findings, layout.findings, true);
}

void LayoutClientArea() {
  RECT client = {};
  ::GetClientRect(g_editor.window, &client);
  Layout(client.right, client.bottom);
}

// The width of a button's caption in `font`, its "&" taken as the access key's mark.
int CaptionWidth(HWND button, HFONT font) {
  char caption[64] = {};
  ::GetWindowTextA(button, caption, sizeof(caption));
  RECT extent = {};
  const HDC dc = ::GetDC(button);
  if (dc == nullptr) return 0;
  const HGDIOBJ previous = ::SelectObject(dc, font);
  ::DrawTextA(dc, caption, -1, &extent, DT_CALCRECT | DT_SINGLELINE);
  ::SelectObject(dc, previous);
  ::ReleaseDC(button, dc);
  return extent.right - extent.left;
}

HFONT FontOr(const win::UniqueHfont& font, int stockFont) {
  return font ? font.get() : static_cast<HFONT>(::GetStockObject(stockFont));
}

// Makes the fonts for g_editor.dpi, gives them to the controls and measures the captions in
// them; the old fonts go once no control uses them.
void SetFonts() {
  win::UniqueHfont uiFont(::CreateFontA(EditorUiFontHeight(g_editor.dpi), 0, 0, 0, FW_NORMAL, FALSE,
                                        FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Shell Dlg"));
  win::UniqueHfont textFont(::CreateFontA(EditorTextFontHeight(g_editor.dpi), 0, 0, 0, FW_NORMAL,
                                          FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          FIXED_PITCH | FF_MODERN, "Courier New"));
  const HFONT controlsFont = FontOr(uiFont, DEFAULT_GUI_FONT);
  for (HWND control : {g_editor.save, g_editor.saveUtf8, g_editor.reload, g_editor.check,
                       g_editor.status, g_editor.findings}) {
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(controlsFont), TRUE);
  }
  ::SendMessageA(g_editor.text, WM_SETFONT,
                 reinterpret_cast<WPARAM>(FontOr(textFont, ANSI_FIXED_FONT)), TRUE);
  g_editor.uiFont = std::move(uiFont);
  g_editor.textFont = std::move(textFont);
  const std::array<HWND, kEditorButtons> buttons = Buttons();
  for (std::size_t i = 0; i < kEditorButtons; ++i) {
    g_editor.captionWidths[i] = CaptionWidth(buttons[i], controlsFont);
  }
  // The findings are long lines; let the list scroll sideways to show them whole.
  ::SendMessageA(g_editor.findings, LB_SETHORIZONTALEXTENT, FindingsExtent(g_editor.dpi), 0);
}

// Sizes the window to `size` where the system put it, moved and shrunk as needed to lie wholly
// on its monitor's work area: made on a monitor of another DPI than 96, it is made larger.
void FitOnMonitor(const ui::Box& size) {
  RECT placed = {};
  ::GetWindowRect(g_editor.window, &placed);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ui::Box box = {placed.left, placed.top, size.width, size.height};
  if (::GetMonitorInfoA(::MonitorFromWindow(g_editor.window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    box = ui::FitInside(box, {work.left, work.top, work.right - work.left, work.bottom - work.top});
  }
  ::SetWindowPos(g_editor.window, nullptr, box.left, box.top, box.width, box.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window moved to a monitor of another DPI, or its monitor's DPI changed: fonts and layout
// made for the new one, in the place the system suggests.
void FollowDpi(unsigned dpi, const RECT& suggested) {
  g_editor.dpi = dpi;
  SetFonts();
  ::SetWindowPos(g_editor.window, nullptr, suggested.left, suggested.top,
                 suggested.right - suggested.left, suggested.bottom - suggested.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  LayoutClientArea();  // the size may be the same, the DPI is not
}

HWND Control(const char* className, const char* text, DWORD style, DWORD exStyle, int id) {
  return ::CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                           g_editor.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           g_editor.instance, nullptr);
}

void CreateControls() {
  g_editor.save = Control("BUTTON", "&Save", BS_PUSHBUTTON | WS_TABSTOP, 0, IDC_SAVE);
  g_editor.saveUtf8 =
      Control("BUTTON", "Save as &UTF-8", BS_PUSHBUTTON | WS_TABSTOP, 0, IDC_SAVEUTF8);
  g_editor.reload = Control("BUTTON", "&Reload", BS_PUSHBUTTON | WS_TABSTOP, 0, IDC_RELOAD);
  g_editor.check = Control("BUTTON", "&Check", BS_PUSHBUTTON | WS_TABSTOP, 0, IDC_CHECK);
  g_editor.status = Control("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, IDC_STATUS);
  g_editor.text = Control("EDIT", "",
                          ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL |
                              ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
                          WS_EX_CLIENTEDGE, IDC_TEXT);
  g_editor.findings = Control(
      "LISTBOX", "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
      WS_EX_CLIENTEDGE, IDC_FINDINGS);
  g_editor.dpi = win::DpiOf(g_editor.window);
  SetFonts();
  // The default limit of a multi-line edit control is 32 KB of typed text.
  ::SendMessageA(g_editor.text, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
}

// True when the text may go: it is saved, or the user chose not to keep the changes. A
// failed save keeps the window and the text.
bool MayDiscard() {
  if (!Modified()) return true;
  const int answer = Ask("Save the changes to the menu file?", MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return false;
  return answer == IDNO || Save();
}

void Close() {
  if (MayDiscard()) ::DestroyWindow(g_editor.window);
}

void Command(int id, int code) {
  switch (id) {
    case IDC_SAVE:
      Save();
      break;
    case IDC_SAVEUTF8:
      SaveAsUtf8();
      break;
    case IDC_RELOAD:
      Reload();
      break;
    case IDC_CHECK:
      Check();
      break;
    case IDM_SELECTALL:
      ::SendMessageA(g_editor.text, EM_SETSEL, 0, -1);
      break;
    case IDC_TEXT:
      if (code == EN_CHANGE) UpdateTitle();
      break;
    case IDC_FINDINGS:
      if (code == LBN_SELCHANGE) FindingChosen(false);
      if (code == LBN_DBLCLK) FindingChosen(true);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK EditorWindowProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) noexcept {
  // i686 mingw unwinds with dw2 tables: nothing may leave a window procedure.
  try {
    switch (message) {
      case WM_CREATE:
        g_editor.window = window;
        CreateControls();
        return 0;
      case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
      case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        const ui::Box smallest = SmallestEditorSize(g_editor.dpi);
        limits->ptMinTrackSize.x = smallest.width;
        limits->ptMinTrackSize.y = smallest.height;
        return 0;
      }
      case WM_DPICHANGED:
        if (lParam != 0) FollowDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
      case WM_SETFOCUS:
        ::SetFocus(g_editor.text);
        return 0;
      case WM_APP_START:
        Load();
        if (!g_editor.addArgument.empty()) AddArgument();
        return 0;
      case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
      case WM_CLOSE:
        Close();
        return 0;
      case WM_QUERYENDSESSION:
        // Logging off closes the editor as the close box does: unsaved text is asked about.
        return MayDiscard() ? TRUE : FALSE;
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
      default:
        break;
    }
  } catch (...) {
    // Out of memory on a huge paste, most likely; the text control still holds the text.
    SetStatus("The last action failed: not enough memory.");
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace
}  // namespace zel::editor

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  using namespace zel::editor;
  g_editor.instance = instance;
  try {
    g_editor.path = zel::menu::GetMenuFilePath();
    // The command line as the system holds it: its ANSI copy has "?" for characters outside
    // the code page. Cut in UTF-8, where the blanks and quotes it is cut at stay themselves.
    const std::string argument =
        PathFromArgument(ArgumentText(zel::win::Narrow(::GetCommandLineW(), zel::TextKind::Utf8)));
    g_editor.addArgument = argument;
  } catch (...) {
    return 1;
  }

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = EditorWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconA(instance, "ICO");
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kEditorClass;
  if (!::RegisterClassA(&windowClass)) return 1;

  const zel::ui::Box base = EditorWindowSize(zel::ui::kBaseDpi);
  const HWND window =
      ::CreateWindowExA(0, kEditorClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        base.width, base.height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  if (g_editor.dpi != zel::ui::kBaseDpi) FitOnMonitor(EditorWindowSize(g_editor.dpi));
  ::ShowWindow(window, show);
  ::UpdateWindow(window);
  ::PostMessageA(window, WM_APP_START, 0, 0);

  ACCEL keys[] = {
      {FVIRTKEY | FCONTROL, 'S', IDC_SAVE},
      {FVIRTKEY | FCONTROL, 'A', IDM_SELECTALL},
      {FVIRTKEY, VK_F7, IDC_CHECK},
  };
  const zel::win::UniqueHaccel accelerators(::CreateAcceleratorTableA(keys, ARRAYSIZE(keys)));
  MSG message;
  // Wide: a character the code page lacks, typed into a UTF-8 file's text, reaches the control.
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (accelerators && ::TranslateAcceleratorW(window, accelerators.get(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
