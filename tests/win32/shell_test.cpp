// zelshell.dll under real COM, with the test acting as Explorer: registration, the factory's
// and the objects' counts, activation and unloading, selections from Wine's shell and made by
// hand, the submenu beside Wine's own item menu, the entries run.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "menu/menu_win32.h"
#include "shellext/com_server_win32.h"
#include "shellext/registration.h"
#include "tests/win32/support.h"
#include "zelmenu/zelmenu_app.h"
#include "launch/launch_win32.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

// Last: the class identifier is defined here.
#include <initguid.h>
#include "shellext/class_id_win32.h"

namespace zel::test {
namespace {

const std::string kClassKey = "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";
const std::string kCommandClassKey = std::string("CLSID\\") + shellext::kCommandClassId;
const std::string kServerKey = kClassKey + "\\InprocServer32";
const std::string kHandlerKey = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu";
const std::string kUser = "Software\\Classes\\";  // under HKEY_CURRENT_USER
using Export = HRESULT(STDAPICALLTYPE*)();

using Microsoft::WRL::ComPtr;

// A data object made by hand, living on the stack: a wide CF_HDROP list of `paths` (UTF-8
// here), or no CF_HDROP at all.
class DropData final : public IDataObject {
 public:
  explicit DropData(std::vector<std::string> paths, bool offers = true)
      : paths_(std::move(paths)), offers_(offers) {}

  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {  // the handler needs none
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!offers_ || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    *medium = {};
    // DROPFILES, then every path with its NUL, then one more NUL (the drop list's layout).
    std::wstring names;
    for (const std::string& path : paths_) names += win::Widen(path, TextKind::Utf8) + L'\0';
    names += L'\0';
    memory_ = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                            sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory_));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory_);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory_;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  // The receiver gave the last GetData's medium back: GlobalSize fails on the freed handle.
  bool MediumReleased() const {
    ::SetLastError(0);
    return memory_ == nullptr ||
           (::GlobalSize(memory_) == 0 && ::GetLastError() == ERROR_INVALID_HANDLE);
  }
  ULONG refs = 1;

 private:
  std::vector<std::string> paths_;
  bool offers_;
  HGLOBAL memory_ = nullptr;
};

template <typename Function = Export>
Function Find(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void RemoveRegistration() {
  for (const auto& [root, prefix] :
       {std::pair{HKEY_CLASSES_ROOT, std::string()}, {HKEY_CURRENT_USER, kUser}}) {
    ::RegDeleteTreeA(root, (prefix + kHandlerKey).c_str());
    ::RegDeleteTreeA(root, (prefix + kClassKey).c_str());
  }
  ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kCommandClassKey.c_str());
}

// What COM under Wine reads: it does not look in the user's classes, where the server registers.
// The command handler's class, which the package declares on Windows 11, likewise.
void RegisterMachineWide(const std::string& dll) {
  const std::string server = win::ShortPath(dll);
  for (const std::string& key : {kServerKey, kCommandClassKey + "\\InprocServer32"}) {
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, server.c_str(),
                      static_cast<DWORD>(server.size() + 1));
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), "ThreadingModel", REG_SZ, "Apartment", 10);
  }
}

// A copy of the server in a scratch folder (its name has spaces), registered, with the
// recorder beside it as Editor.exe, keeping its records there; an apartment; and the module
// unloaded at the end.
class Zelshell : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::CoInitialize(nullptr), S_OK);
    RemoveRegistration();
    RegisterMachineWide(dll_);
    folder_.Copy(Built("tests/win32/zel_recorder.exe"), "Editor.exe");
    ::SetEnvironmentVariableA("ZEL_RECORD_DIR", folder_.path().c_str());
  }
  void TearDown() override {
    // Once the icons' worker, asked to end by the first call, has ended.
    EXPECT_TRUE(WaitFor([] {
      ::CoFreeUnusedLibraries();
      return ::GetModuleHandleA("zelshell.dll") == nullptr;
    })) << "unloaded once unused";
    RemoveRegistration();
    ::CoUninitialize();
  }
  win::UniqueHmodule Load() const { return win::UniqueHmodule(::LoadLibraryA(dll_.c_str())); }

  static ComPtr<IContextMenu> NewHandler(IDataObject* selection = nullptr) {
    ComPtr<IContextMenu> handler;
    ::CoCreateInstance(CLSID_ZelvaneContextMenu, nullptr, CLSCTX_INPROC_SERVER,
                       IID_PPV_ARGS(handler.GetAddressOf()));
    EXPECT_EQ(selection != nullptr ? Initialize(handler.Get(), selection) : S_OK, S_OK);
    return handler;
  }
  static HRESULT Initialize(IContextMenu* handler, IDataObject* data) {
    ComPtr<IShellExtInit> init;
    handler->QueryInterface(IID_PPV_ARGS(init.GetAddressOf()));
    return init->Initialize(nullptr, data, nullptr);
  }
  // The submenu built into an empty menu: the result and the menu's text.
  static std::pair<HRESULT, std::string> Query(IContextMenu* handler, UINT last = 0x7FFF,
                                               UINT flags = CMF_NORMAL) {
    const win::UniqueHmenu menu(::CreatePopupMenu());
    const HRESULT result = handler->QueryContextMenu(menu.get(), 0, 100, last, flags);
    return {result, MenuText(menu.get())};
  }
  static HRESULT Invoke(IContextMenu* handler, UINT_PTR offset, const char* verb = nullptr,
                        DWORD mask = 0) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info), info.fMask = mask;
    info.lpVerb = verb != nullptr ? verb : MAKEINTRESOURCEA(offset);
    return handler->InvokeCommand(&info);
  }
  // A menu line whose entry calls the test DLL's Proc3 with `id` and the selected short path.
  static std::string ProcLine(const std::string& caption, int id) {
    return "item '" + caption + "','DllProc','" + ProcLog::DllPath() + ",Proc3," +
           std::to_string(id) + ",%s,0'\r\n";
  }
  static std::string Called(int id, const std::string& path) {
    return "Proc3 " + std::to_string(id) + " [" + win::ShortPath(path) + "] z3 0";
  }

  UserMenuFile menuFile_;
  ScratchFolder folder_;
  const std::string dll_ = folder_.Copy(Built("shellext/zelshell.dll"), "zelshell.dll");
  ProcLog log_;
};

// Registered for the user from a folder with spaces: InprocServer32 holds the short path,
// however often (which writes, in which order, is checked in tests/unit). Unregistration removes
// every key it can, the machine's too, and says the system's reason for one it cannot; a write that
// fails stops registration and is said the same way.
TEST_F(Zelshell, RegistrationWritesItsKeysAndSaysWhenItCouldNot) {
  RemoveRegistration();
  const win::UniqueHmodule module = Load();
  EXPECT_EQ(KeyShape(HKEY_CURRENT_USER, kUser + kClassKey), "") << "loading writes nothing";
  const Export registerServer = Find(module.get(), "DllRegisterServer");
  const Export unregisterServer = Find(module.get(), "DllUnregisterServer");
  for (int round = 0; round < 2; ++round) EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUser + kServerKey, nullptr), win::ShortPath(dll_));
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUser + kHandlerKey, nullptr), kClassKey.substr(6));
  EXPECT_EQ(KeyShape(HKEY_CLASSES_ROOT, kClassKey), "") << "nothing machine-wide";

  const std::string blocker = kUser + kHandlerKey + "\\left by another program";
  ::RegSetKeyValueA(HKEY_CURRENT_USER, blocker.c_str(), nullptr, REG_SZ, "", 1);
  RegisterMachineWide(dll_);
  EXPECT_EQ(unregisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) << "a key with a subkey";
  EXPECT_EQ(KeyShape(HKEY_CURRENT_USER, kUser + kHandlerKey), "1 keys, 1 values");
  EXPECT_EQ(KeyShape(HKEY_CURRENT_USER, kUser + kClassKey), "") << "the others went all the same";
  EXPECT_EQ(KeyShape(HKEY_CLASSES_ROOT, kClassKey), "") << "the machine's too";
  ::RegDeleteKeyA(HKEY_CURRENT_USER, blocker.c_str());
  // absent keys are no failure
  for (int round = 0; round < 2; ++round) EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(KeyShape(HKEY_CURRENT_USER, kUser + kHandlerKey), "");
}

// An outer object for aggregation: counts its references.
class Outer final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};

TEST_F(Zelshell, FactoryAndObjectsKeepTheModuleWhileTheyAreHeld) {
  const win::UniqueHmodule module = Load();
  const auto getClassObject =
      Find<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(module.get(), "DllGetClassObject");
  const Export canUnloadNow = Find(module.get(), "DllCanUnloadNow");
  CLSID otherClass = CLSID_ZelvaneContextMenu;
  otherClass.Data4[7] ^= 1;
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(otherClass, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(getClassObject(CLSID_ZelvaneContextMenu, IID_IContextMenu, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_ZelvaneContextMenu, IID_PPV_ARGS(factory.GetAddressOf())), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE) << "held while the factory is";
  Outer outer;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &none), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE) << "locked";
  getClassObject(CLSID_ZelvaneContextMenu, IID_PPV_ARGS(factory.GetAddressOf()));
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);

  // One object answers its interfaces as one identity, and lives until its last release.
  ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(object.GetAddressOf())), S_OK);
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(object.As(&errorInfo), S_OK);
  for (const IID* iid :
       {&IID_IContextMenu, &IID_IShellExtInit, &IID_ISupportErrorInfo, &IID_IContextMenu2}) {
    const bool has = iid != &IID_IContextMenu2;
    ComPtr<IUnknown> found, back;
    EXPECT_EQ(object->QueryInterface(*iid, &found), has ? S_OK : E_NOINTERFACE);
    if (found) found.As(&back);
    EXPECT_EQ(back.Get(), found ? object.Get() : nullptr) << "one identity";
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(*iid), has ? S_OK : S_FALSE);
  }
  errorInfo.Reset();
  object.Reset();

  // Aggregated: the inner unknown counts for itself, the interfaces for the outer object.
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  factory.Reset();
  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  menu->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);
}

// One file or folder whose ANSI name fits in 260 characters, by its short name when its own
// has other characters; anything else is declined, and a selection that offers no drop list
// leaves the earlier one. The selection is never held, and its medium is given back.
TEST_F(Zelshell, InitializeServesOneObjectAndDeclinesTheRest) {
  menuFile_.Set(ProcLine("Any", 1) + "item 'Text only','x.exe','-','txt'\r\n");
  const std::string file = folder_.Write("one file.dat", "x"),
                    before = folder_.Write("before.txt", "");
  const std::wstring wide = folder_.WriteWide("\xD0\x96 foreign.txt");
  const std::string foreign = win::Narrow(wide, TextKind::Utf8),
                    ansi = win::AnsiPathFor(wide).value(), gone = folder_.path() + "\\Ж gone.txt";
  const std::string fits = "C:\\" + std::string(260 - 3 - 4, 'f') + ".txt";  // 260 characters
  const struct {
    std::vector<std::string> paths;
    bool offers;
    HRESULT result;
    std::string served;  // "" for none
  } cases[] = {
      {{file}, true, S_OK, file},
      {{folder_.path()}, true, S_OK, folder_.path()},
      {{foreign}, true, S_OK, ansi},
      {{gone}, true, S_OK, ""},                                // no ANSI name: no submenu
      {std::vector<std::string>(16, file), true, E_FAIL, ""},  // more than Windows' verbs take
      {{}, true, E_FAIL, ""},
      {{fits}, true, S_OK, fits},  // the length reaches the rule (tests/cases) as it is
      {{fits + "x"}, true, E_FAIL, ""},
      {{file}, false, DV_E_FORMATETC, before},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paths.empty() ? "nothing" : c.paths.back());
    DropData earlier({before}), data(c.paths, c.offers);
    ComPtr<IContextMenu> handler = NewHandler(&earlier);
    EXPECT_EQ(Initialize(handler.Get(), &data), c.result);
    EXPECT_EQ(data.refs, 1u) << "no reference to the selection is kept";
    EXPECT_TRUE(data.MediumReleased());
    const bool txt = c.served.size() > 3 && c.served.compare(c.served.size() - 3, 3, "txt") == 0;
    const unsigned count = c.result == S_OK && c.served.empty() ? 0 : txt ? 3 : 2;
    EXPECT_EQ(Query(handler.Get()).first, MAKE_HRESULT(SEVERITY_SUCCESS, 0, count))
        << "the text-only entry: .txt";
    if (c.served.empty() || c.served == fits) continue;
    EXPECT_EQ(Invoke(handler.Get(), 1), S_OK);
    EXPECT_EQ(log_.Take(), Called(1, c.served));
  }
  EXPECT_EQ(Initialize(NewHandler().Get(), nullptr), E_INVALIDARG);

  // A UTF-8 menu file's captions are wide texts, and it names the object by its long path.
  const std::string recorder = Built("tests/win32/zel_recorder.exe");
  menuFile_.Set("\xEF\xBB\xBFitem '日本語','" + recorder + "','%s'\r\n");
  DropData goneData({gone});
  const ComPtr<IContextMenu> handler = NewHandler(&goneData);
  EXPECT_EQ(Query(handler.Get()),
            std::make_pair(HRESULT{2}, std::string("sub 0 Zelvane\n  item 101 日本語\n")));
  EXPECT_EQ(Invoke(handler.Get(), 1), S_OK);
  EXPECT_EQ(WaitForRecord(folder_.path(), "zel_recorder"),
            Started("\"" + recorder + "\" \"" + gone + "\"", folder_.path()));
}

// Built into a menu at a non-zero position, the submenu numbers its items from idCmdFirst;
// each offset runs its entry (programs in the object's folder, the editor beside the module),
// and two menus open at once keep their own selections and entries (the .log file's menu has
// one more).
TEST_F(Zelshell, SubmenuAmongOtherItemsRunsTheEntryEachOffsetSelects) {
  const std::string recorder = Built("tests/win32/zel_recorder.exe");
  const std::string file = folder_.Write("neighbour file.txt", "x"),
                    other = folder_.Write("other.log", "x");
  menuFile_.Set(ProcLine("One", 1) + "sep\r\nsub 'More'\r\nitem 'Run','" + recorder +
                "','/open %s'\r\nend\r\ncitem 'Logs','x.exe','-','log'\r\nAdd\r\n" +
                ProcLine("Two", 2));
  const win::UniqueHmenu menu(::CreatePopupMenu());
  ::AppendMenuA(menu.get(), MF_STRING, 1, "Open");
  ::AppendMenuA(menu.get(), MF_STRING, 2, "Print");
  DropData data({file});
  ComPtr<IContextMenu> handler = NewHandler(&data);
  EXPECT_EQ(handler->QueryContextMenu(menu.get(), 1, 10, 0x7FFF, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 7));
  EXPECT_EQ(MenuText(menu.get()),
            "item 1 Open\nsub 0 Zelvane\n  item 11 One\n  sep 0\n  sub 0 More\n    item 12 Run\n"
            "  item 13 Add to...\n  item 14 Two\nitem 2 Print\n");
  DropData otherData({other});
  ComPtr<IContextMenu> otherHandler = NewHandler(&otherData);
  Query(otherHandler.Get());

  const std::string shortFile = win::ShortPath(file);
  EXPECT_EQ(Invoke(handler.Get(), 4), S_OK);
  EXPECT_EQ(Invoke(otherHandler.Get(), 1), S_OK);
  EXPECT_EQ(log_.Take(), Called(2, file) + "; " + Called(1, other));
  // An offset beyond the entries and a verb (unsupported) run nothing; the bounds are in
  // tests/cases.
  EXPECT_EQ(Invoke(handler.Get(), 5), E_INVALIDARG);
  EXPECT_EQ(Invoke(handler.Get(), 0, "One"), E_FAIL);
  // Every run starts in the object's own folder, with its short path.
  EXPECT_EQ(Invoke(handler.Get(), 2), S_OK);
  EXPECT_EQ(WaitForRecord(folder_.path(), "zel_recorder"),
            Started("\"" + recorder + "\" /open " + shortFile, folder_.path()));
  // Editor.exe from the folder COM loaded the module from, by its short path.
  EXPECT_EQ(Invoke(handler.Get(), 3), S_OK);
  const std::string editor = WaitForRecord(folder_.path(), "Editor");
  EXPECT_NE(editor.find("\\Editor.exe\" " + Started(shortFile, folder_.path())), std::string::npos)
      << editor;

  // A run that goes wrong is said in a message box; when the caller asks for no UI, in the
  // result, with its description as ISupportErrorInfo promises. A menu that cannot be added to
  // fails and keeps no entries.
  menuFile_.Set("item 'Gone','DllProc','gone.dll,Proc0'\r\n");
  Query(handler.Get());
  Boxes boxes;
  EXPECT_EQ(Invoke(handler.Get(), 1, nullptr, CMIC_MASK_FLAG_NO_UI), E_FAIL);
  ComPtr<IErrorInfo> error;
  BSTR words = nullptr;
  ASSERT_EQ(::GetErrorInfo(0, error.GetAddressOf()), S_OK);
  error->GetDescription(&words);
  EXPECT_TRUE(words != nullptr && *words != 0);
  ::SysFreeString(words);
  EXPECT_EQ(boxes.shown, "");
  EXPECT_EQ(Invoke(handler.Get(), 1), S_OK);
  EXPECT_EQ(boxes.shown, "Error: Error: Unable to load dll or find export\n");
  HMENU destroyed = ::CreatePopupMenu();
  ::DestroyMenu(destroyed);
  EXPECT_EQ(handler->QueryContextMenu(destroyed, 0, 100, 0x7FFF, CMF_NORMAL), E_FAIL);
  EXPECT_EQ(Invoke(handler.Get(), 1), E_INVALIDARG) << "no entry of a menu not added";
}

// Shell items of `paths` (UTF-8 here), as Explorer hands a selection to a command.
ComPtr<IShellItemArray> ItemsOf(const std::vector<std::string>& paths) {
  std::vector<PIDLIST_ABSOLUTE> lists;
  for (const std::string& path : paths) {
    ComPtr<IShellItem> item;
    PIDLIST_ABSOLUTE list = nullptr;
    EXPECT_EQ(::SHCreateItemFromParsingName(win::Widen(path, TextKind::Utf8).c_str(), nullptr,
                                            IID_PPV_ARGS(item.GetAddressOf())),
              S_OK);
    if (item) ::SHGetIDListFromObject(item.Get(), &list);
    lists.push_back(list);
  }
  ComPtr<IShellItemArray> items;
  ::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                      const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()),
                                      items.GetAddressOf());
  for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
  return items;
}

std::string TakeText(LPWSTR text) {
  const std::string utf8 = text != nullptr ? win::Narrow(text, TextKind::Utf8) : "";
  ::CoTaskMemFree(text);
  return utf8;
}

// A command's sub-commands in `zelmenu show --json`'s terms: entries with their icon location,
// texts that run nothing, submenus, separators.
nlohmann::json CommandsJson(IExplorerCommand* parent, IShellItemArray* items) {
  ComPtr<IEnumExplorerCommand> list;
  EXPECT_EQ(parent->EnumSubCommands(list.GetAddressOf()), S_OK);
  nlohmann::json out = nlohmann::json::array();
  ComPtr<IExplorerCommand> command;
  while (list && list->Next(1, command.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    EXPCMDFLAGS flags = 0;
    EXPCMDSTATE state = ECS_HIDDEN;
    LPWSTR title = nullptr, icon = nullptr;
    command->GetFlags(&flags);
    command->GetState(items, FALSE, &state);
    command->GetTitle(items, &title);
    const bool hasIcon = command->GetIcon(items, &icon) == S_OK;
    nlohmann::json item = {{"caption", TakeText(title)}};
    if (flags == ECF_ISSEPARATOR) {
      item = {{"type", "separator"}};
    } else if (flags == ECF_HASSUBCOMMANDS) {
      item["type"] = "submenu";
      item["items"] = CommandsJson(command.Get(), items);
    } else {
      item["type"] = state == ECS_ENABLED ? "entry" : "text";
    }
    if (hasIcon) item["icon"] = TakeText(icon);
    out.push_back(item);
  }
  return out;
}

// zelmenu's items reduced to what a command shows, the icon as the location it is found at
// (every name here is a full path; the editor's is beside the module).
nlohmann::json Shown(const nlohmann::json& items, const std::string& moduleFolder) {
  nlohmann::json out = nlohmann::json::array();
  for (const nlohmann::json& item : items) {
    nlohmann::json shown = {{"type", item["type"]}};
    if (item.contains("caption")) shown["caption"] = item["caption"];
    if (item.contains("items")) shown["items"] = Shown(item["items"], moduleFolder);
    if (item.contains("icon")) {
      const nlohmann::json& icon = item["icon"];
      shown["icon"] = (icon["from"] == "editor" ? moduleFolder + "Editor.exe"
                                                : icon["name"].get<std::string>()) +
                      "," + std::to_string(icon["index"].get<int>());
    }
    out.push_back(shown);
  }
  return out;
}

// Windows 11's command for two selected files serves what zelmenu shows of the shell form for
// them, and runs what it plans, on each in order; it is hidden where nothing would run: a
// selection with an item that is no file, a missing menu file. The classic handler runs
// several objects too, each on its own, and names the ones that met an error in one message.
TEST_F(Zelshell, CommandAndHandlerServeSeveralObjectsAsZelmenuShows) {
  const std::string recorder = Built("tests/win32/zel_recorder.exe");
  const std::string a = folder_.Write("a.txt", "x"), b = folder_.Write("b c.txt", "x");
  menuFile_.Set(ProcLine("&One", 1) + "sep\r\nsub 'More'\r\nitem 'Run','" + recorder +
                "','/open %s'\r\nend\r\ncitem 'Logs','x.exe','-','log'\r\n"
                "item 'Plain','x.exe',' ','txt','" + ProcLog::DllPath() + ",2'\r\nAdd\r\n");
  ComPtr<IExplorerCommand> command;
  ASSERT_EQ(::CoCreateInstance(CLSID_ZelvaneExplorerCommand, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(command.GetAddressOf())),
            S_OK);
  const ComPtr<IShellItemArray> items = ItemsOf({a, b});
  EXPCMDSTATE state = ECS_HIDDEN;
  EXPCMDFLAGS flags = 0;
  LPWSTR title = nullptr;
  ASSERT_EQ(command->GetState(items.Get(), FALSE, &state), S_OK) << "a local disk is quick";
  EXPECT_EQ(state, ECS_ENABLED);
  EXPECT_EQ(command->GetFlags(&flags), S_OK);
  EXPECT_EQ(flags, ECF_HASSUBCOMMANDS);
  command->GetTitle(items.Get(), &title);
  EXPECT_EQ(TakeText(title), "Zelvane");

  // zelmenu as if beside the shell extension as COM loaded it, with the objects as its main
  // makes them.
  const std::string moduleFolder = win::ModuleFolder(::GetModuleHandleA("zelshell.dll"));
  const auto zelmenu = [&](std::vector<std::string> args) {
    for (const std::string& path : {a, b}) {
      args.insert(args.end(),
                  {"--selected", win::AnsiPathFor(win::Widen(path)).value() + '\0' + path});
    }
    std::string out, err;
    menu::Win32MenuFileAccess files;
    launch::Win32LaunchSystem system;
    EXPECT_EQ(zelmenu::RunZelmenu(
                  args, out, err, files, menu::GetMenuFilePath(),
                  [&](TextKind) -> launch::LaunchSystem& { return system; }, moduleFolder),
              0)
        << err;
    return nlohmann::json::parse(out);
  };
  const nlohmann::json shown = zelmenu({"show", "--form", "shell", "--json"});
  EXPECT_EQ(CommandsJson(command.Get(), items.Get()), Shown(shown["items"], moduleFolder));

  // Invoked, the entry runs on each object in order, as planned.
  std::string planned;
  for (const nlohmann::json& step : zelmenu({"plan", "--form", "shell", "--json", "--id", "1"})) {
    planned += (planned.empty() ? "" : "; ") +
               Called(step["arguments"][0]["int"], step["arguments"][1]["text"]);
  }
  ComPtr<IEnumExplorerCommand> list;
  ComPtr<IExplorerCommand> first;
  command->EnumSubCommands(list.GetAddressOf());
  ASSERT_EQ(list->Next(1, first.GetAddressOf(), nullptr), S_OK);
  EXPECT_EQ(first->Invoke(ItemsOf({b}).Get(), nullptr), E_INVALIDARG) << "not what was shown";
  EXPECT_EQ(first->Invoke(items.Get(), nullptr), S_OK);
  EXPECT_EQ(log_.Take(), planned);
  EXPECT_EQ(planned, Called(1, a) + "; " + Called(1, b));

  // The classic handler: the same two objects, then one whose folder is gone among them.
  DropData data({a, b});
  ComPtr<IContextMenu> handler = NewHandler(&data);
  EXPECT_EQ(Query(handler.Get()).first, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 7));
  EXPECT_EQ(Invoke(handler.Get(), 1), S_OK);
  EXPECT_EQ(log_.Take(), planned);
  const std::string gone = folder_.path() + "\\gone\\d.txt";
  DropData withGone({a, gone, b});
  handler = NewHandler(&withGone);
  Query(handler.Get());
  Boxes boxes;
  EXPECT_EQ(Invoke(handler.Get(), 1), S_OK);
  EXPECT_EQ(log_.Take(), Called(1, a) + "; " + Called(1, gone) + "; " + Called(1, b));
  EXPECT_EQ(
      boxes.shown,
      "Error: Error: for 1 of the 3 selected objects the entry did not run as chosen:\r\n\r\n" +
          gone + "\r\nError setting current directory\n");

  // Hidden where nothing would run; and nothing runs for a selection that is no file's.
  ComPtr<IShellItem> computer;
  ::SHCreateItemFromParsingName(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", nullptr,
                                IID_PPV_ARGS(computer.GetAddressOf()));
  ComPtr<IShellItemArray> notFiles;
  ::SHCreateShellItemArrayFromShellItem(computer.Get(), IID_PPV_ARGS(notFiles.GetAddressOf()));
  EXPECT_EQ(command->GetState(notFiles.Get(), TRUE, &state), S_OK);
  EXPECT_EQ(state, ECS_HIDDEN);
  EXPECT_EQ(first->Invoke(notFiles.Get(), nullptr), E_INVALIDARG);
  menuFile_.Remove();
  EXPECT_EQ(command->GetState(items.Get(), TRUE, &state), S_OK);
  EXPECT_EQ(state, ECS_HIDDEN);
  EXPECT_EQ(CommandsJson(command.Get(), items.Get()), nlohmann::json::array());
  EXPECT_EQ(log_.Take(), "");
}

// The bitmaps of a menu's items, in order, submenus walked; each present one must be a 32-bit
// DIB `size` pixels wide whose colours never exceed their alpha (premultiplied).
std::vector<HBITMAP> ItemBitmaps(HMENU menu, int size, std::vector<HBITMAP> bitmaps = {}) {
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info), info.fMask = MIIM_BITMAP | MIIM_SUBMENU;
    ::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.hSubMenu != nullptr) bitmaps = ItemBitmaps(info.hSubMenu, size, std::move(bitmaps));
    if (info.hSubMenu != nullptr) continue;
    bitmaps.push_back(info.hbmpItem);
    DIBSECTION dib = {};
    if (info.hbmpItem == nullptr) continue;
    EXPECT_EQ(::GetObjectA(info.hbmpItem, sizeof(dib), &dib), int{sizeof(dib)});
    EXPECT_EQ(dib.dsBm.bmBitsPixel * dib.dsBm.bmWidth, 32 * size);
    const auto* bgra = static_cast<const unsigned char*>(dib.dsBm.bmBits);
    unsigned char mostAlpha = 0;
    for (int p = 0; bgra != nullptr && p < dib.dsBm.bmWidth * dib.dsBm.bmHeight; ++p, bgra += 4) {
      EXPECT_TRUE(bgra[0] <= bgra[3] && bgra[1] <= bgra[3] && bgra[2] <= bgra[3]) << "pixel " << p;
      mostAlpha = std::max(mostAlpha, bgra[3]);
    }
    EXPECT_EQ(mostAlpha, 255);
  }
  return bitmaps;
}

// A window of this thread, active while it lives, that the system stretches from 96 DPI (a
// host that declares no DPI awareness). Where the system cannot stretch windows, an ordinary one.
class UnawareWindow {
 public:
  UnawareWindow() {
    using SetContext = HANDLE(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
    const HANDLE unaware = reinterpret_cast<HANDLE>(-1);  // DPI_AWARENESS_CONTEXT_UNAWARE
    const HANDLE previous = set != nullptr ? set(unaware) : nullptr;
    window_ = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
    if (previous != nullptr) set(previous);
    ::SetActiveWindow(window_);
  }
  ~UnawareWindow() { ::DestroyWindow(window_); }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// A program found in the system folder, one named with its icon, one with none ('-'), one
// nowhere, and one by its full path, at the small-icon size of the DPI the menu shows at (that
// of the active window, as Explorer's menu shows over its window): the module's cache hands out
// the same bitmaps again, and "icons off" anywhere in the file takes them all away.
TEST_F(Zelshell, EntriesShowTheIconsOfWhatTheyStart) {
  const std::string tool = folder_.Copy(
      win::PathCall([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); }) + "\\notepad.exe",
      "tool.exe");
  const std::string menu =
      "item 'Notepad','notepad.exe'\r\n"
      "sub 'More'\r\nitem 'Set','x.exe',' ','txt','shell32.dll,3'\r\nend\r\n"
      "item 'Plain','notepad.exe',' ','txt','-'\r\n"
      "item 'Gone','no-such-program.exe'\r\n"
      "item 'Tool','" +
      tool + "'\r\n";
  menuFile_.Set(menu);
  DropData data({folder_.Write("a.txt", "")});
  ComPtr<IContextMenu> handler = NewHandler(&data);
  const auto shellBitmaps = [&](int size = ::GetSystemMetrics(SM_CXSMICON)) {
    const win::UniqueHmenu root(::CreatePopupMenu());
    handler->QueryContextMenu(root.get(), 0, 100, 0x7FFF, CMF_NORMAL);
    return ItemBitmaps(root.get(), size);
  };
  const std::vector<HBITMAP> shell = shellBitmaps();
  ASSERT_EQ(shell.size(), 5u);
  EXPECT_TRUE(shell[0] && shell[1] && !shell[2] && !shell[3] && shell[4]);
  EXPECT_NE(shell[0], shell[1]);
  // A UTF-8 menu file names its programs in any language.
  const std::wstring foreign = win::Widen(folder_.path()) + L"\\\u0416 tool.exe";
  ASSERT_TRUE(::CopyFileW(win::Widen(tool).c_str(), foreign.c_str(), FALSE));
  menuFile_.Set("\xEF\xBB\xBFitem 'J','" + win::Narrow(foreign, TextKind::Utf8) + "'\r\n");
  const std::vector<HBITMAP> named = shellBitmaps();
  EXPECT_TRUE(named.size() == 1 && named[0] != nullptr);
  {
    const UnawareWindow host;
    ASSERT_EQ(::GetActiveWindow(), host.get());
    const std::vector<HBITMAP> stretched = shellBitmaps(16);  // 96 DPI's small-icon size
    EXPECT_TRUE(stretched.size() == 1 && stretched[0] != nullptr);
  }
  // "icons off" anywhere: the entries before it lose theirs, the ones after it get none.
  const std::size_t second = menu.find('\n') + 1;
  menuFile_.Set(menu.substr(0, second) + "icons off\r\n" + menu.substr(second));
  EXPECT_EQ(shellBitmaps(), std::vector<HBITMAP>(5));
}

// What every COM method answers for an exception it caught.
TEST(CaughtHresult, OutOfMemoryForAFailedAllocationElseUnexpected) {
  const auto caught = [](auto thrown) {
    try {
      throw thrown;
    } catch (...) {
      return shellext::CaughtHresult();
    }
  };
  EXPECT_EQ(caught(std::bad_alloc()), E_OUTOFMEMORY);
  EXPECT_EQ(caught(std::runtime_error("x")), E_UNEXPECTED);
  EXPECT_EQ(caught(7), E_UNEXPECTED);
}

}  // namespace
}  // namespace zel::test
