// What the Windows tests share: scratch folders, the user's menu file swapped for a test, the
// records of the recorder program and the log of the test DLL, programs and their windows,
// the tray program's and the editor's drivers, the registry, COM apartments and selections.
// Every handle it opens has an owner.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "menu/menu_tree.h"
#include "win/unique_handle_win32.h"

namespace zel::test {

using Microsoft::WRL::ComPtr;

// Polls `done` every 20 ms for up to `milliseconds`.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 10000);

// A build product by its path under the build folder ("tray/Zelvane.exe").
std::string Built(const std::string& relative);
std::string ReadBytes(const std::string& path);
std::string CurrentFolder();

// A folder under %TEMP% with spaces in its name (where quoting and short names matter),
// removed with everything in it. Write, Copy and MakeFolder return the full path they made.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::string Copy(const std::string& source, const std::string& name) const;
  std::string MakeFolder(const std::string& name) const;

 private:
  std::string path_;
};

// The user's menu file and its backup, put aside for a test and put back afterwards.
class UserMenuFile {
 public:
  UserMenuFile();
  explicit UserMenuFile(const std::string& bytes) : UserMenuFile() { Set(bytes); }
  ~UserMenuFile();
  UserMenuFile(const UserMenuFile&) = delete;
  UserMenuFile& operator=(const UserMenuFile&) = delete;
  static std::string Path();
  void Set(const std::string& bytes) const;
  void Remove() const;
  void MakeFolder() const;  // it exists, but cannot be read
};

// What a copy of the recorder program wrote when it was started: its command line and current
// folder, in <folder>\<its name>.txt. "(none)" when nothing came within the wait.
struct Record {
  std::string commandLine = "(none)";
  std::string folder;
  bool operator==(const Record& other) const {
    return commandLine == other.commandLine && folder == other.folder;
  }
};
inline void PrintTo(const Record& record, std::ostream* os) {
  *os << record.commandLine << " (in " << record.folder << ")";
}
Record WaitForRecord(const std::string& folder, const std::string& name, int milliseconds = 10000);

// The calls of zel_test_procs.dll's procedures in this process, "; " between them. Holds the
// DLL loaded, so its log outlives the FreeLibrary after every call.
class ProcLog {
 public:
  ProcLog() : dll_(::LoadLibraryA(DllPath().c_str())) {}
  static std::string DllPath() { return Built("tests/win32/zel_test_procs.dll"); }
  std::string Take();

 private:
  win::UniqueHmodule dll_;
};

std::string WindowText(HWND window);
std::string ClassName(HWND window);

struct Dialog {
  HWND handle = nullptr;
  std::string title;
  std::string text;  // a message box's text
  HWND owner = nullptr;
};
// Answers a dialog with a button (IDOK, IDYES, IDNO, IDCANCEL) and waits until it goes.
void Answer(const Dialog& dialog, int button);

// Message boxes of this process, read and closed from another thread as they appear.
class BoxWatcher {
 public:
  BoxWatcher();
  ~BoxWatcher();
  std::vector<Dialog> Boxes();

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Dialog> boxes_;
  std::thread thread_;
};

// A program the test starts (its command line in UTF-16, so any name can be passed) and ends,
// found by its main window's class.
class Program {
 public:
  Program(const std::wstring& commandLine, const std::string& currentFolder, const char* windowClass);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  HWND window() const { return window_; }
  DWORD pid() const { return process_.dwProcessId; }
  bool Running() const { return WaitForExit(0) == STILL_ACTIVE; }
  DWORD WaitForExit(int milliseconds = 10000) const;  // the exit code, or STILL_ACTIVE
  // A visible top-level window of the program of a class, optionally by title.
  HWND Find(const char* className, const char* title = nullptr) const;
  Dialog WaitForDialog(const char* title = nullptr, int milliseconds = 10000) const;
  std::string Text(int id) const;  // of a control of the main window; 0: of the window

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
};

// One item of a popup menu as the tray program showed it: "<indent><kind> <id> <caption>".
using ShownMenu = std::vector<std::string>;

// The tray program, driven through its icon's messages and a hook library that reads its menus
// and reports what only it can see.
class TrayProgram : public Program {
 public:
  explicit TrayProgram(const std::string& exe, const std::string& currentFolder = "");
  ~TrayProgram();
  // Posts the icon's callback message and returns the popup's items; it stays open.
  ShownMenu OpenMenu(UINT mouseMessage);
  HWND Popup() const { return Find("#32768"); }
  void CloseMenu();
  void ChooseWithKeys(int n);  // the n-th selectable item (from 1) of the open popup
  // Lines the hook writes inside the program: the class brush, the fonts, the icons made.
  std::vector<std::string> InsideReport() const;
  bool HasTrayIcon() const;

 private:
  std::string dumpPath_;
  win::UniqueHmodule hookLibrary_;
  HHOOK hook_ = nullptr;
};

// The menu editor started with an argument text, once it has read the menu file. Its
// controls: 100 the text, 101 Save, 102 Reload, 103 Check, 104 the findings, 105 the status.
class EditorProgram : public Program {
 public:
  explicit EditorProgram(const std::wstring& argumentText = L"");
  std::string SelectedText() const;
  void Type(const std::string& text) const;  // replaces the text as typing would
  void Press(int id) const;  // posted: the button may open a modal box
  bool WaitForStatus(const std::string& part) const;
};

std::optional<std::string> ReadText(HKEY root, const std::string& key, const char* valueName);
bool KeyExists(HKEY root, const std::string& key);
std::vector<std::string> ValueNames(HKEY root, const std::string& key);

class Apartment {
 public:
  Apartment() : result_(::CoInitialize(nullptr)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// A data object made by hand, living on the stack: CF_HDROP of `paths` (ANSI, or wide from
// UTF-8), no CF_HDROP at all, or "CF_HDROP" in a stream instead of global memory.
class DropData final : public IDataObject {
 public:
  enum class Offer { Drop, Nothing, DropInAStream };
  DropData(std::vector<std::string> paths, bool wide, Offer offer = Offer::Drop)
      : paths_(std::move(paths)), wide_(wide), offer_(offer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  ULONG refs = 1;
  bool MediumReleased() const;  // the receiver gave the last GetData's medium back

 private:
  std::vector<std::string> paths_;
  bool wide_;
  Offer offer_;
  HGLOBAL memory_ = nullptr;
  ComPtr<IStream> stream_;
};

// Wine's own selection of `paths` (all in one folder), and its own item menu for one path.
ComPtr<IDataObject> ShellSelection(const std::vector<std::string>& paths);
ComPtr<IContextMenu> ShellItemMenu(const std::string& path);

// A real menu read back as a tree: captions, identifiers, separators and submenus.
std::vector<menu::MenuNode> ReadMenuTree(HMENU menu);

}  // namespace zel::test
