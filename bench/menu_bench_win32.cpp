// Under Wine, beside zelshell.dll and the tray program, on a desktop, with menu files shaped like
// a real user's large one (MakeMenu):
// - the shell's QueryContextMenu (every submenu shown, or most skipped by their extension lists)
//   and the tray's left-click menu for 100, 1,000 and 10,000 entries against their floor: what
//   every build must call anyway (the folder, the existence test, reading the file) and bare
//   menu calls that insert exactly the items it produced. Icons off; icons on with the cache
//   warm, menus more than a second apart as a user's are, against the same items with the same
//   ready-made bitmaps; and the first menu after a load, against that floor plus one plain
//   extraction per distinct file it shows;
// - Windows 11's command for 100 and 1,000 entries against the classic submenu;
// - the handles that 10,000 COM create/initialise/query/release cycles leave behind;
// - the tray program's private memory, handles and GDI objects after start and after 1,000
//   openings of a 10,000-entry menu, against a bare program with a hidden window and a tray icon.
// Times are medians of calls of the floor and the build made in turn.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
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

struct Times {
  double floor = 0, work = 0;
};

double Microseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  const auto took = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::micro>(took).count();
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// A menu user opens menus seconds apart: a build that comes more than this after the one
// before finds every answer it may keep for a while as old as that.
constexpr DWORD kUserGap = 1100;

// Medians of calls of `floor` and of `work` made in turn, each first in every other pair, after
// one of each to warm up: at least 15 of each and a second of building, or, when `gap` spaces
// the pairs by that many milliseconds as a user's menus are, 25 of each.
Times Medians(const std::function<void()>& floor, const std::function<void()>& work,
              DWORD gap = 0) {
  // Spaced calls are few and each finds the caches cold: more of them steady the median.
  const int calls = gap != 0 ? 25 : 15;
  constexpr std::size_t kMostCalls = 2000;
  constexpr double kTimedMicroseconds = 1e6;
  floor();
  work();
  std::vector<double> floors, works;
  double worked = 0;
  while (static_cast<int>(works.size()) < calls ||
         (gap == 0 && worked < kTimedMicroseconds && works.size() < kMostCalls)) {
    if (gap != 0) ::Sleep(gap);
    // In turns first: the call after a pause finds the processor's caches cold.
    if (works.size() % 2 == 0) floors.push_back(Microseconds(floor));
    works.push_back(Microseconds(work));
    if (works.size() % 2 == 0) floors.push_back(Microseconds(floor));
    worked += works.back();
  }
  return {Median(floors), Median(works)};
}

// ---- the menu file, shaped like a real user's large one

constexpr char kBenchFolder[] = "C:\\ZelBench";
constexpr char kSuiteFolder[] = "%ProgramFiles%\\ZelBench Suite";
constexpr int kSharedInFolders = 100, kSharedInProgramFiles = 29, kShared = 130;

struct Program {
  std::string name;  // as the entry writes it
  bool exists;
};

// What entry k starts. Every fourth entry names a program of its own; the others one of 130
// shared programs: full paths in 100 folders, 29 in %ProgramFiles% and one bare name that the
// system folder holds. Most of the files are not there, as in a menu copied from another
// machine: one own program in ten, one shared folder in five, one %ProgramFiles% program in six.
Program ProgramOf(int k) {
  if (k % 4 == 0) {
    const std::string n = std::to_string(k);
    return {std::string(kBenchFolder) + "\\Own " + n + "\\tool" + n + ".exe", k / 4 % 10 == 0};
  }
  const int s = static_cast<int>((static_cast<unsigned>(k) * 2654435761u >> 8) % kShared);
  const std::string n = std::to_string(s);
  if (s < kSharedInFolders) {
    return {std::string(kBenchFolder) + "\\Maker " + n + "\\app" + n + ".exe", s % 5 == 0};
  }
  if (s < kSharedInFolders + kSharedInProgramFiles) {
    return {std::string(kSuiteFolder) + "\\suite" + n + ".exe", s % 6 == 0};
  }
  return {"notepad.exe", true};
}

enum class Shown { All, Few };

// Submenus of 20 entries, each with a comment and a separator, in sections of 20 submenus when
// there are more than 400 entries. With Few, 19 submenus in 20 are the shell's for pictures
// only, which notes.txt skips.
std::string MakeMenu(int entries, Shown shown, bool iconsOff) {
  std::string text = "// made by the benchmark\r\n";
  if (iconsOff) text += "icons off\r\n";
  const int groups = (entries + 19) / 20;
  const bool sections = entries > 400;
  for (int g = 0; g < groups; ++g) {
    const std::string group = std::to_string(g);
    if (sections && g % 20 == 0) text += "sub 'Section " + std::to_string(g / 20) + "'\r\n";
    const bool skipped = shown == Shown::Few && g % 20 != 0;
    text += skipped ? "csub 'Group " + group + "','jpg,png'\r\n" : "sub 'Group " + group + "'\r\n";
    text += "// the tools of group " + group + "\r\n";
    for (int k = g * 20; k < std::min(entries, g * 20 + 20); ++k) {
      text += "item 'Tool " + std::to_string(k) + "','" + ProgramOf(k).name +
              "','/in %s /quiet','txt,log'\r\n";
    }
    text += skipped ? "csep\r\ncend\r\n" : "sep\r\nend\r\n";
    if (sections && (g % 20 == 19 || g == groups - 1)) text += "end\r\n";
  }
  return text;
}

std::string Expanded(const std::string& name) {
  char expanded[MAX_PATH] = {};
  ::ExpandEnvironmentStringsA(name.c_str(), expanded, MAX_PATH);
  return expanded;
}

// The file an entry's program names, found as a program is: "" when it is not there.
std::string FileOf(const std::string& program) {
  std::string path = Expanded(program);
  if (path.find('\\') == std::string::npos) {
    char found[MAX_PATH] = {};
    if (::SearchPathA(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr) == 0) return {};
    path = found;
  }
  return ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::string() : path;
}

// The menu's programs that are there: copies of a small system program with an icon, made for
// the benchmark and removed after it.
class BenchPrograms {
 public:
  explicit BenchPrograms(int entries) {
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    std::string source;
    for (const char* candidate : {"winver.exe", "control.exe", "notepad.exe"}) {
      source = std::string(system) + "\\" + candidate;
      HICON small = nullptr;
      ::ExtractIconExA(source.c_str(), 0, nullptr, &small, 1);
      const zel::win::UniqueHicon icon(small);
      if (icon) break;
    }
    for (int k = 0; k < entries; ++k) {
      const Program program = ProgramOf(k);
      const std::string path = Expanded(program.name);
      if (!program.exists || path.find('\\') == std::string::npos ||
          std::find(made_.begin(), made_.end(), path) != made_.end()) {
        continue;
      }
      ::SHCreateDirectoryExA(nullptr, path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
      if (::CopyFileA(source.c_str(), path.c_str(), FALSE)) made_.push_back(path);
    }
  }
  ~BenchPrograms() {
    for (const std::string& path : made_) {
      ::DeleteFileA(path.c_str());
      ::RemoveDirectoryA(path.substr(0, path.find_last_of('\\')).c_str());
    }
    ::RemoveDirectoryA(kBenchFolder);
  }
  BenchPrograms(const BenchPrograms&) = delete;
  BenchPrograms& operator=(const BenchPrograms&) = delete;

  std::size_t size() const { return made_.size(); }

 private:
  std::vector<std::string> made_;
};

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

// The floor with icons: as Floor, each entry inserted with its ready-made bitmap in one call.
void InsertWithBitmaps(HMENU menu, const std::vector<MenuNode>& items,
                       const std::function<HBITMAP(unsigned)>& bitmapOf) {
  for (const MenuNode& node : items) {
    if (node.kind == MenuNode::Kind::Separator) {
      ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    } else if (node.kind == MenuNode::Kind::Item) {
      MENUITEMINFOA item{};
      item.cbSize = sizeof item;
      item.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
      item.wID = node.id;
      item.dwTypeData = const_cast<char*>(node.caption.c_str());
      item.hbmpItem = bitmapOf(node.id);
      ::InsertMenuItemA(menu, static_cast<UINT>(-1), TRUE, &item);
    } else {
      const HMENU submenu = ::CreatePopupMenu();
      InsertWithBitmaps(submenu, node.children, bitmapOf);
      ::AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), node.caption.c_str());
    }
  }
}

// The floor's icons: each program's bitmap made once, null for a missing file.
class FloorIcons {
 public:
  explicit FloorIcons(int entries) {
    for (int k = 0; k < entries; ++k) {
      const std::string name = ProgramOf(k).name;
      if (programs_.count(name) != 0) continue;
      Made& made = programs_[name];
      made.file = FileOf(name);
      HICON small = nullptr;
      if (!made.file.empty()) ::ExtractIconExA(made.file.c_str(), 0, nullptr, &small, 1);
      const zel::win::UniqueHicon icon(small);
      if (icon) made.bitmap = zel::icons::MenuBitmapOf(icon.get(), ::GetSystemMetrics(SM_CXSMICON));
    }
  }
  HBITMAP For(const std::string& program) const { return programs_.at(program).bitmap.get(); }
  // The distinct files with an icon that the entries of `table` start.
  std::vector<std::string> FilesOf(const zel::menu::MenuTable& table) const {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < table.EntryCount; ++i) {
      const Made& made = programs_.at(table.MenuEntries[i].Command);
      if (made.bitmap && std::find(files.begin(), files.end(), made.file) == files.end()) {
        files.push_back(made.file);
      }
    }
    return files;
  }
  std::size_t WithIcon() const {
    return static_cast<std::size_t>(
        std::count_if(programs_.begin(), programs_.end(),
                      [](const auto& made) { return static_cast<bool>(made.second.bitmap); }));
  }

 private:
  struct Made {
    std::string file;
    zel::win::UniqueHbitmap bitmap;
  };
  std::map<std::string, Made> programs_;
};

// One plain extraction per distinct file: what the first menu cannot do without.
void ExtractEach(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    HICON small = nullptr;
    ::ExtractIconExA(file.c_str(), 0, nullptr, &small, 1);
    zel::win::UniqueHicon owned(small);
  }
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

using CanUnload = HRESULT(STDAPICALLTYPE*)();

struct MenuCase {
  Host host;
  Shown shown;
  int entries;
};

std::vector<MenuCase> MenuCases() {
  std::vector<MenuCase> cases;
  for (const int entries : {100, 1000, 10000}) {
    cases.push_back({Host::Shell, Shown::All, entries});
    cases.push_back({Host::Shell, Shown::Few, entries});
    cases.push_back({Host::Tray, Shown::All, entries});  // the tray reads no extension list
  }
  return cases;
}

// What the menu file makes, recorded once outside the timing: the items and the entries.
struct Recorded {
  std::vector<MenuNode> items;
  zel::menu::MenuTable table;
  unsigned base = 0;             // the entries' identifiers count from one past it
  std::vector<HBITMAP> bitmaps;  // by entry index: its program's ready-made bitmap
};

Recorded Record(Host host, const BenchMenuFile& file) {
  Recorded recorded;
  BuildRequest request{host, file.path(), kFirstId, kLastId, {{kSelected, kSelected}}};
  zel::menu::Win32MenuFileAccess files;
  zel::menu::MenuTreeSink tree;
  zel::menu::BuildMenu(request, files, tree, tree.Root(), recorded.table);
  recorded.items = tree.Tree();
  recorded.base = host == Host::Tray ? zel::menu::kTrayIdBase : kFirstId;
  return recorded;
}

// The builds and floors of one case, as the programs make them: the shell's through a handler
// made for each menu, the tray's with the tray's cache of icons.
class CaseRunner {
 public:
  CaseRunner(const MenuCase& row, ShellHandler::GetClassObject getClassObject, CanUnload canUnload)
      : row_(row),
        getClassObject_(getClassObject),
        canUnload_(canUnload),
        trayCache_(std::make_unique<zel::icons::IconCache>()) {}

  void Build() {
    UniqueHmenu popup(::CreatePopupMenu());
    if (row_.host == Host::Shell) {
      const ShellHandler handler(getClassObject_);
      handler.Query(popup.get());
      return;
    }
    zel::icons::MenuIcons icons(*trayCache_, Host::Tray, nullptr, ::GetSystemMetrics(SM_CXSMICON));
    zel::menu::BuildMenu(popup.get(), BuildRequest{}, trayTable_, &icons);
  }
  void Floor(const Recorded& recorded, bool icons) {
    std::unique_ptr<ShellHandler> handler;
    if (row_.host == Host::Shell) handler = std::make_unique<ShellHandler>(getClassObject_);
    ::Floor(row_.host, [&](HMENU menu) {
      if (!icons) return AppendBare(menu, recorded.items);
      InsertWithBitmaps(menu, recorded.items, [&](unsigned id) {
        return recorded.bitmaps[zel::menu::EntryIndex(recorded.base, id)];
      });
    });
  }
  // Empties the icons' cache, as a new load has it: the module's when no handler is alive and
  // COM would unload it, the tray's anew.
  bool Forget() {
    if (row_.host == Host::Shell) return WaitFor([&] { return canUnload_() == S_OK; });
    trayCache_ = std::make_unique<zel::icons::IconCache>();
    return true;
  }

 private:
  MenuCase row_;
  ShellHandler::GetClassObject getClassObject_;
  CanUnload canUnload_;
  std::unique_ptr<zel::icons::IconCache> trayCache_;
  zel::menu::MenuTable trayTable_;
};

struct Measured {
  MenuCase row;
  const char* icons;
  Times times;
};

// One case: icons off, icons on with the cache warm, and the first menu after a load.
bool TimeCase(const MenuCase& row, const BenchMenuFile& file, CaseRunner& runner,
              const FloorIcons& floorIcons, std::vector<Measured>& measured) {
  file.Write(MakeMenu(row.entries, row.shown, true));
  Recorded recorded = Record(row.host, file);
  for (std::size_t i = 0; i < recorded.table.EntryCount; ++i) {
    recorded.bitmaps.push_back(floorIcons.For(recorded.table.MenuEntries[i].Command));
  }
  measured.push_back(
      {row, "off", Medians([&] { runner.Floor(recorded, false); }, [&] { runner.Build(); })});
  file.Write(MakeMenu(row.entries, row.shown, false));
  measured.push_back(
      {row, "warm",
       Medians([&] { runner.Floor(recorded, true); }, [&] { runner.Build(); }, kUserGap)});
  const std::vector<std::string> files = floorIcons.FilesOf(recorded.table);
  std::vector<double> floors, builds;
  for (int i = 0; i < 7; ++i) {
    floors.push_back(Microseconds([&] {
      runner.Floor(recorded, true);
      ExtractEach(files);
    }));
    if (!runner.Forget()) return false;
    builds.push_back(Microseconds([&] { runner.Build(); }));
  }
  measured.push_back({row, "first", {Median(floors), Median(builds)}});
  return true;
}

int MenuBuilds(const BenchMenuFile& file, ShellHandler::GetClassObject getClassObject,
               CanUnload canUnload, const FloorIcons& floorIcons) {
  std::vector<Measured> measured;
  for (const MenuCase& row : MenuCases()) {
    CaseRunner runner(row, getClassObject, canUnload);
    if (!TimeCase(row, file, runner, floorIcons, measured)) return 1;
  }
  std::printf(
      "== menu builds against their floor (medians, microseconds); icons: off (an 'icons off'"
      " line), warm (menus %lu ms apart), first (after a load)\n",
      static_cast<unsigned long>(kUserGap));
  std::printf("%-6s %6s %8s %6s %10s %10s %7s\n", "form", "shown", "entries", "icons", "floor",
              "build", "ratio");
  for (const Measured& m : measured) {
    std::printf("%-6s %6s %8d %6s %10.0f %10.0f %6.2fx\n",
                m.row.host == Host::Shell ? "shell" : "tray",
                m.row.shown == Shown::All ? "all" : "few", m.row.entries, m.icons, m.times.floor,
                m.times.work, m.times.work / m.times.floor);
  }
  std::fflush(stdout);
  return 0;
}

// Windows 11's command as Explorer asks it for a menu: every sub-command's flags, title and
// icon, submenus walked.
void WalkCommands(IExplorerCommand* parent, IShellItemArray* items) {
  IEnumExplorerCommand* list = nullptr;
  if (parent->EnumSubCommands(&list) != S_OK) return;
  IExplorerCommand* command = nullptr;
  while (list->Next(1, &command, nullptr) == S_OK) {
    EXPCMDFLAGS flags = 0;
    LPWSTR text = nullptr;
    command->GetFlags(&flags);
    if (command->GetTitle(items, &text) == S_OK) ::CoTaskMemFree(text);
    if (command->GetIcon(items, &text) == S_OK) ::CoTaskMemFree(text);
    if ((flags & ECF_HASSUBCOMMANDS) != 0) WalkCommands(command, items);
    command->Release();
  }
  list->Release();
}

// The command's menu (its state, which reads the file, then the walk) against the classic
// handler's submenu for the same file and selection, icons on and warm in both.
int CommandBuilds(const BenchMenuFile& file, ShellHandler::GetClassObject getClassObject) {
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring notes = std::wstring(folder) + L"notes.txt";
  ::CloseHandle(::CreateFileW(notes.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  IShellItem* item = nullptr;
  IShellItemArray* items = nullptr;
  IClassFactory* factory = nullptr;
  IExplorerCommand* command = nullptr;
  if (FAILED(::SHCreateItemFromParsingName(notes.c_str(), nullptr, IID_IShellItem,
                                           reinterpret_cast<void**>(&item))) ||
      FAILED(::SHCreateShellItemArrayFromShellItem(item, IID_IShellItemArray,
                                                   reinterpret_cast<void**>(&items))) ||
      getClassObject(CLSID_ZelvaneExplorerCommand, IID_IClassFactory,
                     reinterpret_cast<void**>(&factory)) != S_OK ||
      factory->CreateInstance(nullptr, IID_IExplorerCommand, reinterpret_cast<void**>(&command)) !=
          S_OK) {
    return 1;
  }
  ComOwner<IShellItem> itemOwner(item);
  ComOwner<IShellItemArray> itemsOwner(items);
  ComOwner<IClassFactory> factoryOwner(factory);
  ComOwner<IExplorerCommand> commandOwner(command);
  std::printf(
      "\n== Windows 11's command (its state, then every sub-command's title and icon) against"
      " the classic submenu, icons warm (medians, microseconds)\n%8s %10s %10s %7s\n",
      "entries", "classic", "command", "ratio");
  for (const int entries : {100, 1000}) {
    file.Write(MakeMenu(entries, Shown::All, false));
    const ShellHandler classic(getClassObject);
    const Times times = Medians(
        [&] {
          UniqueHmenu popup(::CreatePopupMenu());
          classic.Query(popup.get());
        },
        [&] {
          EXPCMDSTATE state = ECS_HIDDEN;
          command->GetState(items, TRUE, &state);
          WalkCommands(command, items);
        });
    std::printf("%8d %10.0f %10.0f %6.2fx\n", entries, times.floor, times.work,
                times.work / times.floor);
  }
  ::DeleteFileW(notes.c_str());
  std::fflush(stdout);
  return 0;
}

int ComCycles(const BenchMenuFile& file, ShellHandler::GetClassObject getClassObject) {
  constexpr int kCycles = 10000;
  file.Write(MakeMenu(20, Shown::All, false));
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
  file.Write(MakeMenu(10000, Shown::All, false));
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
      "\n== the tray program with a 10,000-entry file with icons, %d menu openings in %.1f s\n",
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

// "menus": the menu builds only; "command": Windows 11's command only.
int main(int argc, char** argv) {
  const bool menusOnly = argc > 1 && std::string(argv[1]) == "menus";
  const bool commandOnly = argc > 1 && std::string(argv[1]) == "command";
  if (FAILED(::CoInitialize(nullptr))) return 1;
  const std::string dll = ExeFolder() + "..\\shellext\\zelshell.dll";
  zel::win::UniqueHmodule module(::LoadLibraryA(dll.c_str()));
  const auto getClassObject = reinterpret_cast<ShellHandler::GetClassObject>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
  const auto canUnload = reinterpret_cast<CanUnload>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllCanUnloadNow")));
  if (getClassObject == nullptr || canUnload == nullptr) {
    std::printf("cannot load %s\n", dll.c_str());
    return 1;
  }
  constexpr int kMostEntries = 10000;
  int status = 0;
  {
    const BenchMenuFile file;
    const BenchPrograms programs(kMostEntries);
    const FloorIcons floorIcons(kMostEntries);
    std::printf("%d entries name %d distinct programs; %zu of them are there, %zu with an icon\n\n",
                kMostEntries, kMostEntries / 4 + kShared, programs.size() + 1,
                floorIcons.WithIcon());
    if (!commandOnly) status = MenuBuilds(file, getClassObject, canUnload, floorIcons);
    if (status == 0) status = CommandBuilds(file, getClassObject);
    const bool all = !menusOnly && !commandOnly;
    if (status == 0 && all) status = ComCycles(file, getClassObject);
    if (status == 0 && all) status = TrayProgram(file);
  }
  std::fflush(stdout);
  ::CoUninitialize();
  return status;
}
