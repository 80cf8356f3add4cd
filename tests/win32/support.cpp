#include "tests/win32/support.h"

#include <shellapi.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "menu/menu_win32.h"
#include "win/code_page_win32.h"

namespace zel::test {
namespace {

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  const HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
  for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(find, &data)) {
    const std::string name = data.cFileName;
    const std::string full = path + "\\" + name;
    if (name == "." || name == "..") continue;
    ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
    ::DeleteFileA(full.c_str());
  }
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  ::RemoveDirectoryA(path.c_str());
}

// The first top-level window of a process of a class (visible ones only, if asked), by title.
HWND FindTop(DWORD pid, const char* className, const char* title, bool visible = true) {
  for (HWND window = ::GetTopWindow(nullptr); window != nullptr; window = ::GetWindow(window, GW_HWNDNEXT)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == pid && (!visible || ::IsWindowVisible(window)) && ClassName(window) == className &&
        (title == nullptr || WindowText(window) == title)) {
      return window;
    }
  }
  return nullptr;
}

Dialog ReadDialog(HWND window) {
  return {window, WindowText(window), WindowText(::GetDlgItem(window, 0xFFFF)), ::GetWindow(window, GW_OWNER)};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, int milliseconds) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > static_cast<DWORD>(milliseconds)) return false;
    ::Sleep(20);
  }
  return true;
}

std::string Built(const std::string& relative) {
  std::string path = ZEL_BUILD_DIR "\\" + relative;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string CurrentFolder() {
  char folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(sizeof(folder), folder);
  return folder;
}

ScratchFolder::ScratchFolder() {
  // Unique across processes and runs. The name starts with the tick count's fast-moving digits:
  // Wine makes short names from the first four characters and a hash, and folders that share
  // those four characters can collide, so that a short path leads to another folder.
  static std::atomic<int> serial{0};
  char base[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, base);
  path_ = std::string(base) + std::to_string(10000 + ::GetTickCount() % 10000).substr(1) +
          " zel test " + std::to_string(::GetCurrentProcessId()) + " " + std::to_string(++serial);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream(path_ + "\\" + name, std::ios::binary) << bytes;
  return path_ + "\\" + name;
}

std::string ScratchFolder::Copy(const std::string& source, const std::string& name) const {
  return ::CopyFileA(source.c_str(), (path_ + "\\" + name).c_str(), FALSE) ? path_ + "\\" + name : "";
}

std::string ScratchFolder::MakeFolder(const std::string& name) const {
  ::CreateDirectoryA((path_ + "\\" + name).c_str(), nullptr);
  return path_ + "\\" + name;
}

std::string UserMenuFile::Path() { return menu::GetMenuFilePath(); }

UserMenuFile::UserMenuFile() {
  ::CreateDirectoryA(Path().substr(0, Path().find_last_of('\\')).c_str(), nullptr);
  for (const std::string& file : {Path(), Path() + ".bak"}) {
    ::MoveFileExA(file.c_str(), (file + ".before-test").c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

UserMenuFile::~UserMenuFile() {
  Remove();
  for (const std::string& file : {Path(), Path() + ".bak"}) {
    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(file.c_str());
    ::MoveFileA((file + ".before-test").c_str(), file.c_str());
  }
}

void UserMenuFile::Set(const std::string& bytes) const {
  Remove();
  std::ofstream(Path(), std::ios::binary) << bytes;
}

void UserMenuFile::Remove() const {
  ::SetFileAttributesA(Path().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(Path().c_str());
  ::RemoveDirectoryA(Path().c_str());
}

void UserMenuFile::MakeFolder() const {
  Remove();
  ::CreateDirectoryA(Path().c_str(), nullptr);
}

Record WaitForRecord(const std::string& folder, const std::string& name, int milliseconds) {
  Record record;
  WaitFor([&] {
    const std::vector<std::string> lines = Lines(ReadBytes(folder + "\\" + name + ".txt"));
    if (lines.size() == 2) record = {lines[0], lines[1]};
    return lines.size() == 2;
  }, milliseconds);
  return record;
}

std::string ProcLog::Take() {
  const auto take = reinterpret_cast<int(__stdcall*)(char*, int)>(
      reinterpret_cast<void*>(::GetProcAddress(dll_.get(), "TakeLog")));
  std::string log(1 << 20, '\0');
  log.resize(static_cast<std::size_t>(take(log.data(), static_cast<int>(log.size()))));
  return log;
}

std::string WindowText(HWND window) {
  // WM_GETTEXT itself: GetWindowText of another process's window reads only its caption.
  DWORD_PTR length = 0, copied = 0;
  ::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::string text(length + 1, '\0');
  ::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof(name));
  return name;
}

void Answer(const Dialog& dialog, int button) {
  ::PostMessageA(dialog.handle, WM_COMMAND, button, 0);
  WaitFor([&] { return !::IsWindow(dialog.handle) || !::IsWindowVisible(dialog.handle); }, 5000);
}

BoxWatcher::BoxWatcher()
    : thread_([this] {
        std::set<HWND> seen;
        for (; !stop_; ::Sleep(20)) {
          const HWND box = FindTop(::GetCurrentProcessId(), "#32770", nullptr);
          if (box == nullptr || !seen.insert(box).second) continue;
          const Dialog dialog = ReadDialog(box);
          ::PostMessageA(box, WM_CLOSE, 0, 0);  // posted: the box's thread is in its modal loop
          std::lock_guard<std::mutex> lock(mutex_);
          boxes_.push_back(dialog);
        }
      }) {}

BoxWatcher::~BoxWatcher() {
  stop_ = true;
  thread_.join();
}

std::vector<Dialog> BoxWatcher::Boxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

Program::Program(const std::wstring& commandLine, const std::string& currentFolder, const char* windowClass) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  std::wstring line = commandLine;
  const std::wstring folder = win::Widen(currentFolder);
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process_)) {
    throw std::runtime_error("cannot start " + win::ToUtf8(commandLine));
  }
  // The tray program's main window stays hidden: found whether visible or not.
  if (!WaitFor([&] { return (window_ = FindTop(pid(), windowClass, nullptr, false)) != nullptr; })) {
    throw std::runtime_error(std::string("no window ") + windowClass);
  }
}

Program::~Program() {
  ::TerminateProcess(process_.hProcess, 1);
  ::WaitForSingleObject(process_.hProcess, 5000);
  // The window outlives the process for a moment; the next test must not find it.
  WaitFor([&] { return !::IsWindow(window_); }, 5000);
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
}

DWORD Program::WaitForExit(int milliseconds) const {
  ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds));
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

HWND Program::Find(const char* className, const char* title) const { return FindTop(pid(), className, title); }

Dialog Program::WaitForDialog(const char* title, int milliseconds) const {
  HWND found = nullptr;
  WaitFor([&] { return (found = Find("#32770", title)) != nullptr; }, milliseconds);
  return found != nullptr ? ReadDialog(found) : Dialog{};
}

std::string Program::Text(int id) const { return WindowText(id == 0 ? window_ : ::GetDlgItem(window_, id)); }

TrayProgram::TrayProgram(const std::string& exe, const std::string& currentFolder)
    : Program(L"\"" + win::Widen(exe) + L"\"", currentFolder, "Zelvane") {
  WaitFor([&] { return HasTrayIcon(); }, 5000);  // added right after the window
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  dumpPath_ = std::string(temp) + "zelvane-menu-" + std::to_string(pid()) + ".txt";
  hookLibrary_.reset(::LoadLibraryA(Built("tests/win32/tray_hook.dll").c_str()));
  const auto proc = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(::GetProcAddress(hookLibrary_.get(), "CallWndHook")));
  hook_ = ::SetWindowsHookExA(WH_CALLWNDPROC, proc, hookLibrary_.get(),
                              ::GetWindowThreadProcessId(window(), nullptr));
}

TrayProgram::~TrayProgram() {
  ::UnhookWindowsHookEx(hook_);
  ::DeleteFileA(dumpPath_.c_str());
  // A terminated program leaves its icon behind; take it away for the next test.
  NOTIFYICONDATAA data = {};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window();
  ::Shell_NotifyIconA(NIM_DELETE, &data);
}

ShownMenu TrayProgram::OpenMenu(UINT mouseMessage) {
  ::DeleteFileA(dumpPath_.c_str());
  ::PostMessageA(window(), 0x401, 0, mouseMessage);  // the icon's callback message
  std::string dump;
  if (!WaitFor([&] { return Popup() != nullptr && (dump = ReadBytes(dumpPath_)).find("END\n") != std::string::npos; })) {
    throw std::runtime_error("no popup menu was shown and read");
  }
  ShownMenu items;
  for (const std::string& line : Lines(dump.substr(0, dump.find("END\n")))) {
    if (line != "MENU") items.push_back(line);
  }
  return items;
}

void TrayProgram::CloseMenu() {
  for (int i = 0; i < 3 && Popup() != nullptr; ++i) {
    ::PostMessageA(Popup(), WM_KEYDOWN, VK_ESCAPE, 0);
    WaitFor([&] { return Popup() == nullptr; }, 2000);
  }
}

void TrayProgram::ChooseWithKeys(int n) {
  const HWND popup = Popup();
  for (int i = 0; i < n; ++i) ::PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
  ::PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
  WaitFor([&] { return Popup() == nullptr; }, 5000);
}

std::vector<std::string> TrayProgram::InsideReport() const {
  const std::string path = dumpPath_.substr(0, dumpPath_.rfind("menu-")) + "report-" + std::to_string(pid()) + ".txt";
  ::DeleteFileA(path.c_str());
  ::SendMessageA(window(), ::RegisterWindowMessageA("ZelvaneTrayTestReport"), 0, 0);
  std::string report;
  WaitFor([&] { return (report = ReadBytes(path)).find("END\n") != std::string::npos; }, 5000);
  ::DeleteFileA(path.c_str());
  std::vector<std::string> lines = Lines(report);
  if (!lines.empty()) lines.pop_back();  // END
  return lines;
}

bool TrayProgram::HasTrayIcon() const {
  NOTIFYICONDATAA data = {};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window();
  return ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

EditorProgram::EditorProgram(const std::wstring& argumentText)
    : Program(L"\"" + win::Widen(Built("tools/Editor.exe")) + L"\" " + argumentText, "", "ZelvaneMenuEditor") {
  WaitFor([&] { return !Text(105).empty(); });  // the status line: the file has been read
}

std::string EditorProgram::SelectedText() const {
  DWORD_PTR range = 0;
  ::SendMessageTimeoutA(::GetDlgItem(window(), 100), EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &range);
  const std::string text = Text(100);
  return HIWORD(range) <= text.size() ? text.substr(LOWORD(range), HIWORD(range) - LOWORD(range)) : "";
}

void EditorProgram::Type(const std::string& text) const {
  // A replaced selection marks the text changed and notifies the window, as typing does.
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(::GetDlgItem(window(), 100), EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, 5000, &result);
  ::SendMessageTimeoutA(::GetDlgItem(window(), 100), EM_REPLACESEL, TRUE,
                        reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
}

void EditorProgram::Press(int id) const {
  ::PostMessageA(window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(window(), id)));
}

bool EditorProgram::WaitForStatus(const std::string& part) const {
  return WaitFor([&] { return Text(105).find(part) != std::string::npos; });
}

std::optional<std::string> ReadText(HKEY root, const std::string& key, const char* valueName) {
  char data[2048] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  const LONG read = ::RegGetValueA(root, key.c_str(), valueName, RRF_RT_ANY, &type, data, &size);
  return read == ERROR_SUCCESS && type == REG_SZ ? std::optional<std::string>(data) : std::nullopt;
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY opened = nullptr;
  const bool exists = ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS;
  const win::UniqueHkey owned(opened);
  return exists;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& key) {
  std::vector<std::string> names;
  HKEY opened = nullptr;
  ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened);
  const win::UniqueHkey owned(opened);
  char name[256];
  for (DWORD i = 0, length = sizeof(name);
       ::RegEnumValueA(owned.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = sizeof(name)) {
    names.emplace_back(name);
  }
  return names;
}

HRESULT STDMETHODCALLTYPE DropData::QueryInterface(REFIID riid, void** ppv) {
  const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject);
  *ppv = known ? static_cast<IDataObject*>(this) : nullptr;
  if (known) AddRef();
  return known ? S_OK : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE DropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (offer_ == Offer::Nothing || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
  *medium = {};
  if (offer_ == Offer::DropInAStream) {
    // Not what was asked for, but a success: the receiver still owns the medium.
    ::CreateStreamOnHGlobal(nullptr, TRUE, stream_.ReleaseAndGetAddressOf());
    medium->tymed = TYMED_ISTREAM;
    medium->pstm = stream_.Get();
    medium->pstm->AddRef();
    return S_OK;
  }
  // DROPFILES, then every path with its NUL, then one more NUL (the drop list's layout).
  std::vector<char> names;
  for (const std::string& path : paths_) {
    const std::wstring wide = win::FromUtf8(path) + L'\0';
    if (wide_) names.insert(names.end(), reinterpret_cast<const char*>(wide.data()),
                            reinterpret_cast<const char*>(wide.data() + wide.size()));
    if (!wide_) names.insert(names.end(), path.c_str(), path.c_str() + path.size() + 1);
  }
  names.insert(names.end(), wide_ ? 2 : 1, '\0');
  memory_ = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory_));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = wide_;
  std::memcpy(drop + 1, names.data(), names.size());
  ::GlobalUnlock(memory_);
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = memory_;
  return S_OK;
}

bool DropData::MediumReleased() const {
  if (stream_) return (stream_->AddRef(), stream_->Release()) == 1;  // only our reference left
  // A freed global handle: GlobalSize fails with ERROR_INVALID_HANDLE.
  ::SetLastError(0);
  return memory_ == nullptr || (::GlobalSize(memory_) == 0 && ::GetLastError() == ERROR_INVALID_HANDLE);
}

namespace {

// What the parent folder's GetUIObjectOf gives for the items of `paths`.
template <typename Interface>
ComPtr<Interface> UiObjectOf(const std::vector<std::string>& paths) {
  ComPtr<IShellFolder> parent;
  std::vector<PIDLIST_ABSOLUTE> absolute(paths.size());
  std::vector<PCUITEMID_CHILD> children(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    ::SHParseDisplayName(win::Widen(paths[i]).c_str(), nullptr, &absolute[i], 0, nullptr);
    ::SHBindToParent(absolute[i], IID_IShellFolder, reinterpret_cast<void**>(parent.ReleaseAndGetAddressOf()), &children[i]);
  }
  ComPtr<Interface> object;
  parent->GetUIObjectOf(nullptr, static_cast<UINT>(paths.size()), children.data(), __uuidof(Interface), nullptr,
                        reinterpret_cast<void**>(object.GetAddressOf()));
  for (PIDLIST_ABSOLUTE pidl : absolute) ::CoTaskMemFree(pidl);
  return object;
}

}  // namespace

ComPtr<IDataObject> ShellSelection(const std::vector<std::string>& paths) { return UiObjectOf<IDataObject>(paths); }

ComPtr<IContextMenu> ShellItemMenu(const std::string& path) { return UiObjectOf<IContextMenu>({path}); }

std::vector<menu::MenuNode> ReadMenuTree(HMENU menu) {
  std::vector<menu::MenuNode> items;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    char text[1024] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof(text);
    ::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    menu::MenuNode node;
    node.caption = text;
    node.id = info.hSubMenu == nullptr && !(info.fType & MFT_SEPARATOR) ? info.wID : 0;
    node.kind = (info.fType & MFT_SEPARATOR) ? menu::MenuNode::Kind::Separator
                : info.hSubMenu != nullptr   ? menu::MenuNode::Kind::Submenu
                                             : menu::MenuNode::Kind::Item;
    if (info.hSubMenu != nullptr) node.children = ReadMenuTree(info.hSubMenu);
    items.push_back(std::move(node));
  }
  return items;
}

}  // namespace zel::test
