// Under Wine, beside zelshell.dll and the tray program, on a desktop:
// - the shell's QueryContextMenu and the tray's left-click menu for 100, 1,000 and 10,000
//   entries, against their floor: what every build must call anyway (the folder, the existence
//   test, reading the file) and bare menu calls that insert exactly the items it produced;
// - the same two with entries' icons, 100 and 1,000 entries: warm, against a floor that
//   inserts the same items with the same ready-made bitmaps, and cold (the first menu), against
//   that floor plus one plain extraction per distinct file;
// - the handles that 10,000 COM create/initialise/query/release cycles leave behind;
// - the tray program's private memory and handles after start and after 1,000 menu openings,
//   against a bare program with a hidden window and a tray icon.
// Times are the fastest of several iterations: single runs on a shared machine move by 10%.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/gdi_objects_win32.h"
#include "icons/icon_cache_win32.h"
#include "launch/launch_win32.h"
#include "menu/menu_tree.h"
#include "menu/menu_win32.h"
#include "win/paths_win32.h"
#include "win/unique_handle_win32.h"

#include <initguid.h>
#include "shellext/class_id_win32.h"

namespace {

using zel::menu::BuildRequest;
using zel::menu::Host;
using zel::menu::MenuNode;
using zel::win::UniqueFile;
using zel::win::UniqueHandleObject;
using zel::win::UniqueHmenu;

std::string ExeFolder() {
  const std::string path = zel::win::GetModulePath();
  return path.substr(0, path.find_last_of('\\') + 1);
}

bool WaitFor(const std::function<bool()>& done, int milliseconds = 10000) {
  for (int waited = 0; !done(); waited += 5) {
    if (waited >= milliseconds) return false;
    ::Sleep(5);
  }
  return true;
}

struct Pair {
  double floor = 1e300, work = 1e300;
};

double Microseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  const auto took = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::micro>(took).count();
}

// The fastest of `runs` calls of `floor` and of `work`, in microseconds, called in turn so that
// whatever the system does in between weighs on both alike; one call of each warms up.
Pair Fastest(const std::function<void()>& floor, const std::function<void()>& work, int runs) {
  floor();
  work();
  Pair best;
  for (int i = 0; i < runs; ++i) {
    best.floor = std::min(best.floor, Microseconds(floor));
    best.work = std::min(best.work, Microseconds(work));
  }
  return best;
}

// ---- the menu file

// Entries in submenus of 20, with separators and a shell-only submenu, as a real file has them.
// An entry matches notes.txt when its list names txt: all do, or one in a hundred.
std::string MakeMenu(int entries, bool allMatch) {
  std::string text = "// made by the benchmark\r\n";
  for (int written = 0; written < entries;) {
    text += "sub 'Group " + std::to_string(written) + "'\r\n";
    for (int i = 0; i < 20 && written < entries; ++i, ++written) {
      text += "item 'Tool " + std::to_string(written) +
              "','C:\\Program Files\\Tools\\tool.exe','/in %s /quiet','" +
              (allMatch || written % 100 == 0 ? "txt,log" : "doc") + "'\r\n";
    }
    text += "csub 'Pictures','jpg,png'\r\nitem 'View','viewer.exe','%s'\r\ncend\r\nsep\r\nend\r\n";
  }
  return text;
}

// The user's menu file, put aside while the benchmark writes its own.
class BenchMenuFile {
 public:
  BenchMenuFile() : path_(zel::menu::GetMenuFilePath()), saved_(path_ + ".saved-by-bench") {
    ::CreateDirectoryA(path_.substr(0, path_.find_last_of('\\')).c_str(), nullptr);
    hadOne_ = ::MoveFileA(path_.c_str(), saved_.c_str()) != 0;
  }
  ~BenchMenuFile() {
    ::DeleteFileA(path_.c_str());
    if (hadOne_) ::MoveFileA(saved_.c_str(), path_.c_str());
  }
  BenchMenuFile(const BenchMenuFile&) = delete;
  BenchMenuFile& operator=(const BenchMenuFile&) = delete;

  const std::string& path() const { return path_; }
  std::size_t Write(const std::string& text) const {
    UniqueFile file(::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return written;
  }

 private:
  std::string path_, saved_;
  bool hadOne_ = false;
};

// ---- the floor

void ReadWholeFile(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  static char buffer[64 * 1024];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
}

void AppendBare(HMENU menu, const std::vector<MenuNode>& items) {
  for (const MenuNode& node : items) {
    if (node.kind == MenuNode::Kind::Separator) {
      ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    } else if (node.kind == MenuNode::Kind::Item) {
      ::AppendMenuA(menu, MF_STRING, node.id, node.caption.c_str());
    } else {
      const HMENU submenu = ::CreatePopupMenu();
      AppendBare(submenu, node.children);
      ::AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), node.caption.c_str());
    }
  }
}

// What a build cannot do without: find the file, test it, read it, and show the items it
// produced (`fill` inserts them), the shell's inside a "Zelvane" submenu.
void Floor(Host host, const std::function<void(HMENU)>& fill) {
  char folder[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  const std::string path = std::string(folder) + zel::menu::kMenuFileSuffix;
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  ReadWholeFile(path);
  UniqueHmenu popup(::CreatePopupMenu());
  if (host == Host::Tray) {
    fill(popup.get());
    return;
  }
  const HMENU submenu = ::CreatePopupMenu();
  fill(submenu);
  ::InsertMenuA(popup.get(), 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu),
                "Zelvane");
}

// ---- the shell extension under COM

constexpr char kSelected[] = "C:\\Documents\\notes.txt";
constexpr UINT kFirstId = 1, kLastId = 0x7FFF;

// A one-file CF_HDROP selection, enough for IShellExtInit::Initialize.
class OneFile final : public IDataObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject) ? this : nullptr;
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    const std::size_t size = sizeof(DROPFILES) + sizeof kSelected + 1;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    lstrcpyA(reinterpret_cast<char*>(drop + 1), kSelected);
    ::GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};

template <typename Interface>
struct Released {
  void operator()(Interface* object) const { object->Release(); }
};
template <typename Interface>
using ComOwner = std::unique_ptr<Interface, Released<Interface>>;

// One handler as the shell makes it: from the class factory, initialised with the selection.
class ShellHandler {
 public:
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  explicit ShellHandler(GetClassObject getClassObject) {
    IClassFactory* factory = nullptr;
    IShellExtInit* init = nullptr;
    IContextMenu* menu = nullptr;
    OneFile selection;
    if (getClassObject(CLSID_ZelvaneContextMenu, IID_IClassFactory,
                       reinterpret_cast<void**>(&factory)) != S_OK) {
      return;
    }
    factory_.reset(factory);
    if (factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)) !=
        S_OK) {
      return;
    }
    init_.reset(init);
    if (init->Initialize(nullptr, &selection, nullptr) != S_OK ||
        init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)) != S_OK) {
      return;
    }
    menu_.reset(menu);
  }
  bool ok() const { return menu_ != nullptr; }
  HRESULT Query(HMENU menu) const {
    return menu_->QueryContextMenu(menu, 0, kFirstId, kLastId, CMF_NORMAL);
  }

 private:
  ComOwner<IClassFactory> factory_;
  ComOwner<IShellExtInit> init_;
  ComOwner<IContextMenu> menu_;
};

// ---- handles and memory, which Wine counts its own way

// Kernel handles of a process, as the system's process list gives them.
unsigned long KernelHandles(DWORD pid) {
  using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  if (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) !=
      0) {
    return 0;
  }
  for (std::size_t at = 0;;) {
    const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[at]);
    if (static_cast<DWORD>(reinterpret_cast<UINT_PTR>(process->UniqueProcessId)) == pid) {
      return process->HandleCount;
    }
    if (process->NextEntryOffset == 0) return 0;
    at += process->NextEntryOffset;
  }
}

// Menus and windows of every process: Wine's USER handles live in one table, even slots from
// 0x20 on, and a handle whose upper word is zero stands for its slot.
int UserObjects() {
  int count = 0;
  for (UINT_PTR slot = 0x20; slot < 0x10000; slot += 2) {
    if (::IsMenu(reinterpret_cast<HMENU>(slot)) || ::IsWindow(reinterpret_cast<HWND>(slot))) {
      ++count;
    }
  }
  return count;
}

// Private bytes: Wine reports them as the page-file usage.
double PrivateKiB(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
  const SIZE_T bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  return static_cast<double>(bytes) / 1024.0;
}

// ---- the benchmarks

// One row of the table: a form, a size, how many entries match, and its best times so far.
struct MenuCase {
  Host host;
  int entries;
  bool allMatch;
  Pair best;
};

std::vector<MenuCase> MenuCases() {
  std::vector<MenuCase> cases;
  for (const Host host : {Host::Shell, Host::Tray}) {
    for (const bool allMatch : {true, false}) {
      if (host == Host::Tray && !allMatch) continue;  // the tray shows every entry
      for (const int entries : {100, 1000, 10000}) cases.push_back({host, entries, allMatch, {}});
    }
  }
  return cases;
}

bool TimeMenuCase(MenuCase& row, const BenchMenuFile& file,
                  ShellHandler::GetClassObject getClassObject) {
  file.Write(MakeMenu(row.entries, row.allMatch));
  BuildRequest request{row.host, file.path(), kFirstId, kLastId, kSelected, kSelected};
  zel::menu::Win32MenuFileAccess files;
  zel::menu::MenuTreeSink tree;
  zel::menu::MenuTable table;
  zel::menu::BuildMenu(request, files, tree, tree.Root(), table);
  const std::vector<MenuNode> items = tree.Tree();
  const int runs = row.entries >= 10000 ? 15 : row.entries >= 1000 ? 25 : 100;
  const ShellHandler handler(getClassObject);
  if (!handler.ok()) return false;
  const Pair times = Fastest([&] { Floor(row.host, [&](HMENU menu) { AppendBare(menu, items); }); },
                             [&] {
                               UniqueHmenu popup(::CreatePopupMenu());
                               if (row.host == Host::Shell) {
                                 handler.Query(popup.get());
                               } else {
                                 zel::menu::BuildMenu(popup.get(), BuildRequest{}, table);
                               }
                             },
                             runs);
  row.best.floor = std::min(row.best.floor, times.floor);
  row.best.work = std::min(row.best.work, times.work);
  return true;
}

// Wine's menus are fast or several times slower for a while, as its heap happens to lie, and
// alike for the floor and the build only most of the time: every case is timed in a few rounds,
// in between the others, and its fastest round counts.
int MenuBuilds(const BenchMenuFile& file, ShellHandler::GetClassObject getClassObject) {
  constexpr int kRounds = 3;
  std::vector<MenuCase> cases = MenuCases();
  for (int round = 0; round < kRounds; ++round) {
    for (MenuCase& row : cases) {
      if (!TimeMenuCase(row, file, getClassObject)) return 1;
    }
  }
  std::printf("== menu builds against their floor (fastest of %d rounds, microseconds)\n", kRounds);
  std::printf("%-6s %8s %10s %10s %10s %7s %14s\n", "form", "entries", "matching", "floor", "build",
              "ratio", "build/entry");
  for (const MenuCase& row : cases) {
    std::printf("%-6s %8d %10s %10.0f %10.0f %6.2fx %14.2f\n",
                row.host == Host::Shell ? "shell" : "tray", row.entries,
                row.allMatch ? "all" : "1 in 100", row.best.floor, row.best.work,
                row.best.work / row.best.floor, row.best.work / row.entries);
  }
  return 0;
}

// ---- icons

// Programs every Windows has, in its system folders: bare names, found as they would run.
constexpr const char* kIconPrograms[] = {"notepad.exe", "regedit.exe", "cmd.exe",    "explorer.exe",
                                         "control.exe", "taskmgr.exe", "winver.exe", "write.exe"};
constexpr int kIconFiles = static_cast<int>(std::size(kIconPrograms));

// Entries in submenus of 20 with a separator each; entry k starts kIconPrograms[k % 8].
std::string MakeIconMenu(int entries) {
  std::string text;
  for (int written = 0; written < entries;) {
    text += "sub 'Group " + std::to_string(written) + "'\r\n";
    for (int i = 0; i < 20 && written < entries; ++i, ++written) {
      text += "item 'Tool " + std::to_string(written) + "','" +
              kIconPrograms[written % kIconFiles] + "','/in %s'\r\n";
    }
    text += "sep\r\nend\r\n";
  }
  return text;
}

// The floor with icons: as Floor, each entry inserted with its ready-made bitmap in one call.
void InsertWithBitmaps(HMENU menu, const std::vector<MenuNode>& items, unsigned firstId,
                       const std::vector<HBITMAP>& bitmaps) {
  for (const MenuNode& node : items) {
    if (node.kind == MenuNode::Kind::Separator) {
      ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    } else if (node.kind == MenuNode::Kind::Item) {
      MENUITEMINFOA item{};
      item.cbSize = sizeof item;
      item.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
      item.wID = node.id;
      item.dwTypeData = const_cast<char*>(node.caption.c_str());
      item.hbmpItem = bitmaps[(node.id - firstId) % bitmaps.size()];
      ::InsertMenuItemA(menu, static_cast<UINT>(-1), TRUE, &item);
    } else {
      const HMENU submenu = ::CreatePopupMenu();
      InsertWithBitmaps(submenu, node.children, firstId, bitmaps);
      ::AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), node.caption.c_str());
    }
  }
}

// One plain extraction per distinct file: what the cold first menu cannot do without.
void ExtractEach(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    HICON small = nullptr;
    ::ExtractIconExA(file.c_str(), 0, nullptr, &small, 1);
    zel::win::UniqueHicon owned(small);
  }
}

int IconBuilds(const BenchMenuFile& file, ShellHandler::GetClassObject getClassObject,
               HMODULE shell) {
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  const auto canUnload = reinterpret_cast<CanUnload>(
      reinterpret_cast<void*>(::GetProcAddress(shell, "DllCanUnloadNow")));
  // The floor's bitmaps, and the files they come from, found as an entry's program is.
  zel::icons::IconCache floorCache;
  zel::launch::Win32LaunchSystem system;
  zel::launch::Launcher launcher(system);
  std::vector<std::string> files;
  std::vector<HBITMAP> bitmaps;
  for (const char* program : kIconPrograms) {
    files.push_back(launcher.FileFor(program, ".exe"));
    // The cache keeps its share: eight files are far below its capacity.
    bitmaps.push_back(files.back().empty()
                          ? nullptr
                          : floorCache.Bitmap(files.back(), 0, zel::menu::TextKind::Ansi).get());
  }
  const long shown = std::count_if(bitmaps.begin(), bitmaps.end(), [](HBITMAP b) { return b; });
  std::printf(
      "\n== menu builds with icons (%d distinct programs, %ld with an icon; fastest "
      "of the runs, microseconds)\n",
      kIconFiles, shown);
  std::printf("%-6s %8s %6s %10s %10s %7s\n", "form", "entries", "cache", "floor", "build",
              "ratio");
  zel::icons::IconCache trayCache;
  for (const Host host : {Host::Shell, Host::Tray}) {
    for (const int entries : {100, 1000}) {
      file.Write(MakeIconMenu(entries));
      BuildRequest request{host, file.path(), kFirstId, kLastId, kSelected, kSelected};
      zel::menu::Win32MenuFileAccess access;
      zel::menu::MenuTreeSink tree;
      zel::menu::MenuTable table;
      zel::menu::BuildMenu(request, access, tree, tree.Root(), table);
      const std::vector<MenuNode> items = tree.Tree();
      const unsigned firstId = host == Host::Tray ? zel::menu::kTrayIdBase + 1 : kFirstId + 1;
      const auto floor = [&] {
        Floor(host, [&](HMENU menu) { InsertWithBitmaps(menu, items, firstId, bitmaps); });
      };
      const auto build = [&] {
        UniqueHmenu popup(::CreatePopupMenu());
        if (host == Host::Shell) {
          const ShellHandler handler(getClassObject);
          handler.Query(popup.get());
        } else {
          zel::icons::MenuIcons icons(trayCache, Host::Tray, nullptr);
          zel::menu::BuildMenu(popup.get(), BuildRequest{}, table, &icons);
        }
      };
      const auto empty = [&] {
        // No handler is alive: the module's cache empties as COM would have it unload.
        if (host == Host::Shell) canUnload();
        trayCache.Clear();
      };
      const int runs = entries >= 1000 ? 25 : 100;
      // Warm: a handler is made in each run on both sides, as the shell makes one per menu.
      const Pair warm = Fastest(
          [&] {
            const ShellHandler handler(getClassObject);
            floor();
          },
          build, runs);
      Pair cold;
      for (int i = 0; i < 7; ++i) {
        cold.floor = std::min(cold.floor, Microseconds([&] {
                                const ShellHandler handler(getClassObject);
                                floor();
                                ExtractEach(files);
                              }));
        empty();
        cold.work = std::min(cold.work, Microseconds(build));
      }
      for (const auto& [name, pair] : {std::pair{"warm", warm}, std::pair{"cold", cold}}) {
        std::printf("%-6s %8d %6s %10.0f %10.0f %6.2fx\n", host == Host::Shell ? "shell" : "tray",
                    entries, name, pair.floor, pair.work, pair.work / pair.floor);
      }
    }
  }
  return 0;
}

int ComCycles(const BenchMenuFile& file, ShellHandler::GetClassObject getClassObject) {
  constexpr int kCycles = 10000;
  file.Write(MakeIconMenu(20));
  const auto counts = [] {
    return std::vector<long>{static_cast<long>(KernelHandles(::GetCurrentProcessId())),
                             CountGdiObjects(), UserObjects()};
  };
  { ShellHandler warm(getClassObject); }
  const std::vector<long> before = counts();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCycles; ++i) {
    const ShellHandler handler(getClassObject);
    UniqueHmenu popup(::CreatePopupMenu());
    if (!handler.ok() || FAILED(handler.Query(popup.get()))) return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::vector<long> after = counts();
  std::printf(
      "\n== %d COM create/initialise/query/release cycles (a 20-entry file with icons): "
      "%.1f s\n",
      kCycles, seconds);
  const char* const names[] = {"kernel handles", "GDI objects", "USER objects (all processes)"};
  for (std::size_t i = 0; i < before.size(); ++i) {
    std::printf("%-30s before %6ld  after %6ld  change %+ld\n", names[i], before[i], after[i],
                after[i] - before[i]);
  }
  return 0;
}

struct WindowSearch {
  DWORD pid;
  const char* windowClass;
  HWND found;
};

BOOL CALLBACK TestWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  char name[64] = {};
  ::GetWindowThreadProcessId(window, &owner);
  ::GetClassNameA(window, name, sizeof name);
  if (owner != search->pid || lstrcmpA(name, search->windowClass) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

// A top-level window of a process, by class.
HWND WindowOf(DWORD pid, const char* windowClass) {
  WindowSearch search{pid, windowClass, nullptr};
  ::EnumWindows(TestWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A program started for the benchmark and ended with it, found by its window's class.
class Started {
 public:
  Started(const std::string& exe, const char* windowClass) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    if (!::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info_)) {
      return;
    }
    process_.reset(info_.hProcess);
    UniqueHandleObject thread(info_.hThread);
    WaitFor([&] { return (window_ = WindowOf(info_.dwProcessId, windowClass)) != nullptr; });
  }
  ~Started() {
    if (window_ != nullptr) ::PostMessageA(window_, WM_CLOSE, 0, 0);
    if (process_ && ::WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_.get(), 1);
    }
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  HWND window() const { return window_; }
  HANDLE process() const { return process_.get(); }
  DWORD pid() const { return info_.dwProcessId; }
  DWORD thread() const { return info_.dwThreadId; }

 private:
  PROCESS_INFORMATION info_ = {};
  UniqueHandleObject process_;
  HWND window_ = nullptr;
};

// The tray program's GDI objects, counted inside it by the probe hook.
long TrayGdiObjects(const Started& tray) {
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  const std::string report =
      std::string(folder) + "zelvane-bench-gdi-" + std::to_string(tray.pid()) + ".txt";
  ::DeleteFileA(report.c_str());
  ::PostMessageA(tray.window(), ::RegisterWindowMessageA("ZelvaneBenchProbe"), 0, 0);
  long count = -1;
  WaitFor([&] {
    FILE* file = std::fopen(report.c_str(), "r");
    if (file == nullptr) return false;
    const bool read = std::fscanf(file, "%ld", &count) == 1;
    std::fclose(file);
    return read;
  });
  return count;
}

bool OpenAndCloseMenu(HWND tray) {
  ::PostMessageA(tray, WM_USER + 1, 0, WM_LBUTTONUP);  // the icon's callback message
  HWND popup = nullptr;
  if (!WaitFor([&] { return (popup = ::FindWindowA("#32768", nullptr)) != nullptr; })) {
    return false;
  }
  ::PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  return WaitFor([] { return ::FindWindowA("#32768", nullptr) == nullptr; });
}

int TrayProgram(const BenchMenuFile& file) {
  constexpr int kOpenings = 1000;
  file.Write(MakeIconMenu(100));
  const std::string folder = ExeFolder();
  const Started bare(folder + "zel_bare_tray.exe", "ZelvaneBareTray");
  const Started barePrompt(folder + "zel_bare_prompt_tray.exe", "ZelvaneBareTray");
  const Started tray(folder + "..\\tray\\Zelvane.exe", "Zelvane");
  zel::win::UniqueHmodule probe(::LoadLibraryA((folder + "zel_probe_hook.dll").c_str()));
  const auto hookProc = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(::GetProcAddress(probe.get(), "GetMessageProbe")));
  if (bare.window() == nullptr || barePrompt.window() == nullptr || tray.window() == nullptr ||
      hookProc == nullptr) {
    return 1;
  }
  const HHOOK hook = ::SetWindowsHookExA(WH_GETMESSAGE, hookProc, probe.get(), tray.thread());
  ::Sleep(1000);  // all settled

  const auto counts = [&] {
    return std::vector<double>{
        PrivateKiB(tray.process()), static_cast<double>(KernelHandles(tray.pid())),
        static_cast<double>(TrayGdiObjects(tray)), static_cast<double>(UserObjects())};
  };
  OpenAndCloseMenu(tray.window());  // the first opening loads what every later one uses
  const double bareKiB = PrivateKiB(bare.process());
  const double barePromptKiB = PrivateKiB(barePrompt.process());
  const std::vector<double> before = counts();
  const auto start = std::chrono::steady_clock::now();
  double halfwayKiB = 0;
  for (int i = 0; i < kOpenings; ++i) {
    if (!OpenAndCloseMenu(tray.window())) return 1;
    if (i + 1 == kOpenings / 2) halfwayKiB = PrivateKiB(tray.process());
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::vector<double> after = counts();
  ::UnhookWindowsHookEx(hook);

  std::printf(
      "\n== the tray program with a 100-entry file with icons, %d menu openings in %.1f s\n",
      kOpenings, seconds);
  std::printf("private memory, KiB: %.0f after start, %.0f after %d openings, %.0f after %d\n",
              before[0], halfwayKiB, kOpenings / 2, after[0], kOpenings);
  std::printf(
      "  against a bare tray program (%.0f KiB): %.2fx; against one that also starts up as"
      " the tray program must (%.0f KiB): %.2fx\n",
      bareKiB, after[0] / bareKiB, barePromptKiB, after[0] / barePromptKiB);
  const char* const names[] = {"kernel handles", "GDI objects", "USER objects (all processes)"};
  for (std::size_t i = 1; i < before.size(); ++i) {
    std::printf("%-30s before %6.0f  after %6.0f  change %+.0f\n", names[i - 1], before[i],
                after[i], after[i] - before[i]);
  }
  return 0;
}

}  // namespace

int main() {
  if (FAILED(::CoInitialize(nullptr))) return 1;
  const std::string dll = ExeFolder() + "..\\shellext\\zelshell.dll";
  zel::win::UniqueHmodule module(::LoadLibraryA(dll.c_str()));
  const auto getClassObject = reinterpret_cast<ShellHandler::GetClassObject>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
  if (getClassObject == nullptr) {
    std::printf("cannot load %s\n", dll.c_str());
    return 1;
  }
  int status = 0;
  {
    const BenchMenuFile file;
    status = MenuBuilds(file, getClassObject);
    if (status == 0) status = IconBuilds(file, getClassObject, module.get());
    if (status == 0) status = ComCycles(file, getClassObject);
    if (status == 0) status = TrayProgram(file);
  }
  std::fflush(stdout);
  ::CoUninitialize();
  return status;
}
