// zelshell.dll under real COM, with the test acting as Explorer: registration through Wine's
// regsvr32, the factory's and the objects' counts, activation and unloading, selections from
// Wine's shell and made by hand, the submenu beside Wine's own item menu, the entries run.
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "menu/menu_win32.h"
#include "tests/unit/fake_files.h"
#include "tests/win32/support.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

// Last: the class identifier is defined here.
#include <initguid.h>
#include "shellext/class_id_win32.h"

namespace zel::test {
namespace {

using menu::MenuNode;

const std::string kDll = Built("shellext/zelshell.dll");
const std::string kClassKey = "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";
const std::string kServerKey = kClassKey + "\\InprocServer32";
const std::string kHandlerKey = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu";

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Runs Wine's regsvr32 with its output on NUL; its exit code (5: the export failed).
DWORD Regsvr32(const std::string& options, const std::string& dll) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const win::UniqueHandleObject nul(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                                  OPEN_EXISTING, 0, nullptr));
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  PROCESS_INFORMATION process = {};
  std::string line = "regsvr32.exe /s " + options + "\"" + dll + "\"";
  ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                   nullptr, &startup, &process);
  const win::UniqueHandleObject processHandle(process.hProcess), threadHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(process.hProcess, &code);
  return code;
}

void RemoveRegistration() {
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kHandlerKey.c_str());
  ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey.c_str());
}

// Every key and value registration leaves, and nothing more.
void ExpectRegistered(const std::string& serverPath) {
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Zelvane");
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kServerKey, nullptr), serverPath);
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"), "Apartment");
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kHandlerKey, nullptr), kClassKey.substr(6));
  EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, kClassKey), std::vector<std::string>{""});
  EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, kHandlerKey), std::vector<std::string>{""});
  EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, kServerKey).size(), 2u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + "\\ProgID"));
}

TEST(ShellServer, RegistrationWritesItsKeysAndSaysWhenItCouldNot) {
  RemoveRegistration();
  ScratchFolder folder;  // its name has spaces: the server key holds the short path
  const std::string dll = folder.Copy(kDll, "zelshell.dll");
  const win::UniqueHmodule loaded(::LoadLibraryA(dll.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey)) << "loading writes nothing";
  EXPECT_EQ(Regsvr32("", dll), 0u);
  EXPECT_EQ(Regsvr32("", dll), 0u);
  ExpectRegistered(win::ShortPath(dll));

  // A key that cannot be deleted (here: with another program's subkey) fails the run, after the
  // other keys went all the same.
  const std::string blocker = kHandlerKey + "\\left by another program";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyA(HKEY_CLASSES_ROOT, blocker.c_str(), &key), ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(Regsvr32("/u ", dll), 5u);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, blocker.c_str());
  for (int round = 0; round < 2; ++round) {  // absent keys are no failure
    EXPECT_EQ(Regsvr32("/u ", dll), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "AllFilesystemObjects\\shellex\\ContextMenuHandlers"));

  // A volatile class key can hold no lasting subkey: the server key fails, and the run stops.
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey.c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(Export<HRESULT(STDAPICALLTYPE*)()>(loaded.get(), "DllRegisterServer")(), E_FAIL);
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Zelvane") << "the write before stays";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kServerKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey)) << "nothing after the failure";
  RemoveRegistration();
}

// An outer object for aggregation: counts what reaches it.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    ++queries;
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
  int queries = 0;
};

TEST(ShellServer, FactoryAndObjectsKeepTheModuleWhileTheyAreHeld) {
  Apartment apartment;
  const win::UniqueHmodule module(::LoadLibraryA(kDll.c_str()));
  const auto getClassObject =
      Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(module.get(), "DllGetClassObject");
  const auto canUnloadNow = Export<HRESULT(STDAPICALLTYPE*)()>(module.get(), "DllCanUnloadNow");
  const CLSID otherClass = {0xEBDF1F20, 0xC829, 0x11D1, {0x82, 0x33, 0, 0x20, 0xAF, 0x3E, 0x97, 0xAA}};
  const struct {
    const CLSID* classId;
    const IID* iid;
    HRESULT result;
  } requests[] = {
      {&CLSID_ZelvaneContextMenu, &IID_IClassFactory, S_OK},
      {&CLSID_ZelvaneContextMenu, &IID_IUnknown, S_OK},
      {&CLSID_ZelvaneContextMenu, &IID_IContextMenu, E_NOINTERFACE},
      {&otherClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const auto& r : requests) {
    void* pointer = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(*r.classId, *r.iid, &pointer), r.result);
    EXPECT_EQ(pointer != nullptr, r.result == S_OK);
    EXPECT_EQ(canUnloadNow(), r.result == S_OK ? S_FALSE : S_OK);
    if (pointer != nullptr) static_cast<IUnknown*>(pointer)->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
  }
  EXPECT_EQ(getClassObject(CLSID_ZelvaneContextMenu, IID_IClassFactory, nullptr), E_POINTER);

  ComPtr<IClassFactory> factory;
  getClassObject(CLSID_ZelvaneContextMenu, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  Outer outer;
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &none), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE) << "locked, and no object was left alive by the refusals";
  getClassObject(CLSID_ZelvaneContextMenu, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);

  // One object answers its interfaces as one identity, and lives until its last release.
  ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf())), S_OK);
  factory.Reset();
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(object.As(&errorInfo), S_OK);
  for (const IID* iid : {&IID_IContextMenu, &IID_IShellExtInit, &IID_ISupportErrorInfo,
                         &IID_IContextMenu2, &IID_IDataObject}) {
    const bool has = iid != &IID_IContextMenu2 && iid != &IID_IDataObject;
    ComPtr<IUnknown> found, back;
    EXPECT_EQ(object->QueryInterface(*iid, reinterpret_cast<void**>(found.GetAddressOf())),
              has ? S_OK : E_NOINTERFACE);
    if (found) {
      found.As(&back);
      EXPECT_EQ(back.Get(), object.Get()) << "one identity";
    }
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(*iid), has ? S_OK : S_FALSE);
  }
  errorInfo.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  object.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);

  // Aggregated: the inner unknown counts for itself, the interfaces for the outer object.
  getClassObject(CLSID_ZelvaneContextMenu, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  factory.Reset();
  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  void* through = nullptr;
  EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, &through), E_NOINTERFACE) << "the outer answers";
  EXPECT_EQ(outer.queries, 1);
  menu->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);
}

// ---- acting as the shell

// A registered server and an apartment for one test; the module unloaded at the end.
class ShellHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(apartment_.result(), S_OK);
    RemoveRegistration();
    const win::UniqueHmodule module(::LoadLibraryA(kDll.c_str()));
    ASSERT_EQ(Export<HRESULT(STDAPICALLTYPE*)()>(module.get(), "DllRegisterServer")(), S_OK);
    ::SetEnvironmentVariableA("ZEL_RECORD_DIR", folder_.path().c_str());
  }
  void TearDown() override {
    ::CoFreeUnusedLibraries();
    EXPECT_EQ(::GetModuleHandleA(kDll.c_str()), nullptr) << "unloaded once unused";
    RemoveRegistration();
  }

  static ComPtr<IContextMenu> NewHandler() {
    ComPtr<IContextMenu> handler;
    ::CoCreateInstance(CLSID_ZelvaneContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                       reinterpret_cast<void**>(handler.GetAddressOf()));
    return handler;
  }
  static HRESULT Initialize(IContextMenu* handler, IDataObject* data) {
    ComPtr<IShellExtInit> init;
    handler->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(init.GetAddressOf()));
    return init->Initialize(nullptr, data, nullptr);
  }
  // The submenu built into an empty menu: the result and the tree.
  static std::pair<HRESULT, std::vector<MenuNode>> Query(IContextMenu* handler, UINT first = 100,
                                                         UINT last = 0x7FFF, UINT flags = CMF_NORMAL) {
    const win::UniqueHmenu menu(::CreatePopupMenu());
    const HRESULT result = handler->QueryContextMenu(menu.get(), 0, first, last, flags);
    return {result, ReadMenuTree(menu.get())};
  }
  static HRESULT Invoke(IContextMenu* handler, const char* verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = verb;
    return handler->InvokeCommand(&info);
  }
  static HRESULT Invoke(IContextMenu* handler, UINT_PTR offset) {
    return Invoke(handler, MAKEINTRESOURCEA(offset));
  }
  // A menu line whose entry calls the test DLL's Probe with `id` and the selected short path.
  static std::string ProbeLine(const std::string& caption, int id) {
    return "item '" + caption + "','DllProc','" + ProcLog::DllPath() + ",Probe," +
           std::to_string(id) + ",%s'\r\n";
  }

  Apartment apartment_;
  UserMenuFile menuFile_;
  ScratchFolder folder_;
  ProcLog log_;
};

TEST_F(ShellHandler, InitializeServesOneObjectAndDeclinesTheRest) {
  menuFile_.Set(ProbeLine("Any", 1) + "item 'Text only','x.exe','-','txt'\r\n");
  const std::string file = folder_.Write("one file.dat", "x");
  const std::string second = folder_.Write("second.dat", "x");
  const std::string foreign = folder_.path() + "\\\xD0\x96 foreign.txt";  // UTF-8: outside the code page
  ::CloseHandle(::CreateFileW(win::FromUtf8(foreign).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  const std::string foreignShort = win::AnsiPathFor(win::FromUtf8(foreign)).value();
  const std::string fits = "C:\\" + std::string(260 - 3 - 4, 'f') + ".txt";  // 260 characters
  using Offer = DropData::Offer;
  const struct {
    const char* name;
    std::vector<std::string> paths;
    bool wide;
    Offer offer;
    HRESULT result;
    std::string served;  // "" for none; "(kept)" when the earlier selection stays
  } cases[] = {
      {"one file", {file}, false, Offer::Drop, S_OK, file},
      {"a folder, wide", {folder_.path()}, true, Offer::Drop, S_OK, folder_.path()},
      {"outside the code page", {foreign}, true, Offer::Drop, S_OK, foreignShort},
      {"no ANSI name at all", {folder_.path() + "\\\xD0\x96 gone.txt"}, true, Offer::Drop, E_FAIL, ""},
      {"two files", {file, second}, false, Offer::Drop, E_FAIL, ""},
      {"nothing", {}, false, Offer::Drop, E_FAIL, ""},
      {"260 characters", {fits}, false, Offer::Drop, S_OK, fits},
      {"261 characters", {fits + "x"}, false, Offer::Drop, E_FAIL, ""},
      {"no CF_HDROP", {file}, false, Offer::Nothing, DV_E_FORMATETC, "(kept)"},
      {"CF_HDROP in a stream", {file}, false, Offer::DropInAStream, E_FAIL, "(kept)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<IContextMenu> handler = NewHandler();
    DropData before({folder_.Write("before.txt", "")}, false);
    ASSERT_EQ(Initialize(handler.Get(), &before), S_OK);
    DropData data(c.paths, c.wide, c.offer);
    EXPECT_EQ(Initialize(handler.Get(), &data), c.result);
    EXPECT_EQ(data.refs, 1u) << "no reference to the selection is kept";
    EXPECT_TRUE(data.MediumReleased());
    const std::string served = c.served == "(kept)" ? folder_.path() + "\\before.txt" : c.served;
    const bool txt = served.size() > 3 && served.compare(served.size() - 3, 3, "txt") == 0;
    const auto [result, tree] = Query(handler.Get());
    EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, txt ? 3 : 2)) << "the text-only entry: .txt";
    if (served.empty() || served == fits) continue;
    EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), S_OK);
    EXPECT_EQ(log_.Take(), "Probe 1 [" + win::ShortPath(served) + "] z3 #" + std::to_string(::GetCurrentThreadId()));
  }
  EXPECT_EQ(Initialize(NewHandler().Get(), nullptr), E_INVALIDARG);
}

// Built beside Wine's own item menu at a non-zero position, the submenu holds the recorded
// build of the same file; each identifier leads to its entry, run in the object's folder.
TEST_F(ShellHandler, SubmenuBesideWinesMenuRunsTheEntryEachOffsetSelects) {
  const std::string recorder = Built("tests/win32/zel_recorder.exe");
  const std::string file = folder_.Write("neighbour file.txt", "x");
  const std::string menuText = ProbeLine("One", 1) + "sep\r\nsub 'More'\r\nitem 'Run','" +
                               recorder + "','/open %s'\r\nend\r\ncitem 'Logs','x.exe','-','log'\r\n";
  menuFile_.Set(menuText);
  ComPtr<IContextMenu> wineMenu = ShellItemMenu(file);
  ASSERT_NE(wineMenu, nullptr);
  const win::UniqueHmenu menu(::CreatePopupMenu());
  const HRESULT wineResult = wineMenu->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL);
  const std::vector<MenuNode> wineItems = ReadMenuTree(menu.get());
  ASSERT_GE(wineItems.size(), 2u);
  const UINT first = 1 + HRESULT_CODE(wineResult);

  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(Initialize(handler.Get(), ShellSelection({file}).Get()), S_OK);
  EXPECT_EQ(handler->QueryContextMenu(menu.get(), 1, first, 0x7FFF, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5));
  FakeFiles files;
  files.Put("Menu.txt", menuText);
  menu::BuildRequest request;
  request.host = menu::Host::Shell;
  request.path = "Menu.txt";
  request.idCmdFirst = first;
  request.selectedPath = file;
  menu::MenuTreeSink recorded;
  menu::MenuTable table;
  menu::BuildMenu(request, files, recorded, recorded.Root(), table);
  std::vector<MenuNode> expected = wineItems;
  expected.insert(expected.begin() + 1, Sub("Zelvane", recorded.Tree()));
  EXPECT_EQ(ReadMenuTree(menu.get()), expected);

  const std::string shortFile = win::ShortPath(file);
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), S_OK);
  EXPECT_EQ(log_.Take(), "Probe 1 [" + shortFile + "] z3 #" + std::to_string(::GetCurrentThreadId()));
  // Offset 0 carries no item, 3 and 4 are no entries, verbs are not supported: nothing runs.
  const char* const verbs[] = {MAKEINTRESOURCEA(0), MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(0xFFFF), "open", "One"};
  for (const char* verb : verbs) {
    EXPECT_EQ(Invoke(handler.Get(), verb), IS_INTRESOURCE(verb) ? E_INVALIDARG : E_FAIL);
  }
  // The first run left the selection in its short form: later runs start in its short folder.
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{2}), S_OK);
  EXPECT_EQ(WaitForRecord(folder_.path(), "zel_recorder"),
            (Record{"\"" + recorder + "\" /open " + shortFile, win::ShortPath(folder_.path())}));
  EXPECT_EQ(log_.Take(), "");

  const struct {
    UINT_PTR idCmd;
    UINT type;
    UINT cchMax;
    HRESULT result;
    const char* written;  // null: the buffer stays as it was
  } strings[] = {
      {0, GCS_HELPTEXTA, 14, S_OK, "Zelvane Menus"}, {0, GCS_HELPTEXTA, 13, E_INVALIDARG, nullptr},
      {1, GCS_HELPTEXTA, 64, E_INVALIDARG, nullptr}, {0, GCS_HELPTEXTW, 64, S_OK, nullptr},
      {0, GCS_VERBA, 64, S_OK, nullptr},
  };
  for (const auto& s : strings) {
    char buffer[32] = "untouched";
    EXPECT_EQ(handler->GetCommandString(s.idCmd, s.type, nullptr, buffer, s.cchMax), s.result);
    EXPECT_STREQ(buffer, s.written != nullptr ? s.written : "untouched");
  }
}

TEST_F(ShellHandler, FlagsFilesAndRangesDecideWhatIsAdded) {
  menuFile_.Set(ProbeLine("One", 1) + ProbeLine("Two", 2));
  ComPtr<IContextMenu> handler = NewHandler();
  DropData data({folder_.Write("a.txt", "")}, false);
  ASSERT_EQ(Initialize(handler.Get(), &data), S_OK);
  const std::vector<MenuNode> both = {Sub("Zelvane", {Item("One", 101), Item("Two", 102)})};
  for (const UINT flags : {CMF_NORMAL, CMF_EXPLORE, CMF_DEFAULTONLY | CMF_EXPLORE, CMF_EXTENDEDVERBS}) {
    EXPECT_EQ(Query(handler.Get(), 100, 0x7FFF, flags), std::make_pair(HRESULT{3}, both)) << flags;
  }
  for (const UINT flags : {CMF_DEFAULTONLY, CMF_VERBSONLY, CMF_NOVERBS, CMF_EXTENDEDVERBS | CMF_NOVERBS}) {
    EXPECT_EQ(Query(handler.Get(), 100, 0x7FFF, flags), std::make_pair(S_OK, std::vector<MenuNode>{})) << flags;
  }
  // A range of two identifiers: offset 0 and one entry, nothing numbered above it.
  EXPECT_EQ(Query(handler.Get(), 100, 101).second, (std::vector<MenuNode>{Sub("Zelvane", {Item("One", 101)})}));
  menuFile_.Remove();
  EXPECT_EQ(Query(handler.Get()), std::make_pair(HRESULT{1}, std::vector<MenuNode>{Sub("Zelvane", {Item("menu.txt not found", 0)})}));
  menuFile_.MakeFolder();
  EXPECT_EQ(Query(handler.Get()).second[0].children, std::vector<MenuNode>{Item("menu.txt could not be read", 0)});
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), E_INVALIDARG) << "no entry was built";

  menuFile_.Set(ProbeLine("One", 1));
  HMENU gone = ::CreatePopupMenu();
  ::DestroyMenu(gone);
  EXPECT_EQ(handler->QueryContextMenu(gone, 0, 100, 0x7FFF, CMF_NORMAL), E_FAIL);
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), E_INVALIDARG) << "no entry of a menu not added";
}

TEST_F(ShellHandler, AddOpensTheSelectionInTheEditorBesideTheModule) {
  const std::string dll = folder_.Copy(kDll, "zelshell.dll");
  folder_.Copy(Built("tests/win32/zel_recorder.exe"), "Editor.exe");
  {
    const win::UniqueHmodule module(::LoadLibraryA(dll.c_str()));
    ASSERT_EQ(Export<HRESULT(STDAPICALLTYPE*)()>(module.get(), "DllRegisterServer")(), S_OK);
  }
  menuFile_.Set("Add\r\n");
  const std::string file = folder_.Write("my notes.txt", "x");
  ComPtr<IContextMenu> handler = NewHandler();
  DropData data({file}, false);
  ASSERT_EQ(Initialize(handler.Get(), &data), S_OK);
  EXPECT_EQ(Query(handler.Get(), 50).second, (std::vector<MenuNode>{Sub("Zelvane", {Item("Add to...", 51)})}));
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), S_OK);
  // Editor.exe from the folder the module was loaded from, which COM names by the short path.
  const Record record = WaitForRecord(folder_.path(), "Editor");
  const std::string tail = "\\Editor.exe\" " + win::ShortPath(file);
  ASSERT_GT(record.commandLine.size(), tail.size());
  EXPECT_EQ(record.commandLine.substr(record.commandLine.size() - tail.size()), tail);
  EXPECT_EQ(record.folder, folder_.path());
  handler.Reset();
  ::CoFreeUnusedLibraries();
}

// Lets two threads wait for each other.
class Barrier {
 public:
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    const int generation = generation_;
    if (++waiting_ == 2) {
      waiting_ = 0;
      ++generation_;
      changed_.notify_all();
    } else {
      changed_.wait(lock, [&] { return generation != generation_; });
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  int generation_ = 0;
};

// Two apartment threads open 1,000 context menus between them, always both at once, and each
// runs an entry of its own menu on its own object: the last ones start a program named
// relative to the object's folder, each in its own thread's folder; the host's current folder
// stays as it was.
TEST_F(ShellHandler, ManyMenusOnTwoApartmentThreadsEachRunTheirOwnEntry) {
  constexpr int kEntries = 10, kMenus = 500, kProgramRuns = 10;
  std::string text;
  for (int k = 1; k <= kEntries; ++k) text += ProbeLine("Entry " + std::to_string(k), k);
  menuFile_.Set(text + "item 'Record','.\\rec.exe','%s'\r\n");
  ::SetEnvironmentVariableA("ZEL_RECORD_DIR", nullptr);  // each copy writes rec.txt beside itself
  std::string folders[2];
  for (int t = 0; t < 2; ++t) {
    folders[t] = folder_.MakeFolder("thread " + std::to_string(t));
    folder_.Copy(Built("tests/win32/zel_recorder.exe"), "thread " + std::to_string(t) + "\\rec.exe");
  }
  const std::string before = CurrentFolder();
  std::string expected[2];
  DWORD threads[2] = {};
  int wrong[2] = {};
  Barrier barrier;
  const auto run = [&](int t) {
    Apartment apartment;
    threads[t] = ::GetCurrentThreadId();
    for (int i = 0; i < kMenus; ++i) {
      const std::string path = folder_.Write("thread " + std::to_string(t) + "\\file " + std::to_string(i % 20) + ".txt", "");
      const bool program = i >= kMenus - kProgramRuns;
      const int entry = program ? kEntries + 1 : (i + t * 5) % kEntries + 1;
      ComPtr<IContextMenu> handler = NewHandler();
      DropData data({path}, false);
      if (Initialize(handler.Get(), &data) != S_OK || Query(handler.Get()).first != kEntries + 2) ++wrong[t];
      barrier.Wait();  // both menus are built before either is invoked
      if (Invoke(handler.Get(), UINT_PTR(entry)) != S_OK) ++wrong[t];
      if (program) {
        const Record record = WaitForRecord(folders[t], "rec");
        if (!(record == Record{"\".\\rec.exe\" " + win::ShortPath(path), folders[t]})) ++wrong[t];
        ::DeleteFileA((folders[t] + "\\rec.txt").c_str());
      } else {
        expected[t] += "Probe " + std::to_string(entry) + " [" + win::ShortPath(path) + "] z3 #" +
                       std::to_string(threads[t]) + "; ";
      }
      barrier.Wait();
    }
  };
  std::thread first(run, 0), second(run, 1);
  first.join();
  second.join();
  EXPECT_EQ(wrong[0] + wrong[1], 0) << "failed calls, or programs started elsewhere";
  EXPECT_EQ(CurrentFolder(), before);
  // The two threads' calls interleave; each thread's own must come in its own order.
  const std::string log = log_.Take() + "; ";
  for (int t = 0; t < 2; ++t) {
    std::string own;
    const std::string mark = "#" + std::to_string(threads[t]) + "; ";
    for (std::size_t end = 0, start = 0; (end = log.find("; ", start)) != std::string::npos; start = end + 2) {
      const std::string call = log.substr(start, end - start + 2);
      if (call.size() >= mark.size() && call.compare(call.size() - mark.size(), mark.size(), mark) == 0) own += call;
    }
    EXPECT_EQ(own, expected[t]) << "runs of another menu's entry or object";
  }
}

}  // namespace
}  // namespace zel::test
