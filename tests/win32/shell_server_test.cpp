// zelshell.dll as an in-process server: its exports, version resource, registration through
// Wine's own regsvr32, the factory's and the objects' counts, and unloading through COM.
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "win/unique_handle_win32.h"
#include "shellext/class_id_win32.h"
#include "tests/win32/shell_test_support.h"

namespace zel::shellext::test {
namespace {

// ---- the module

TEST(ZelshellModule, ExportsExactlyTheFourServerEntryPointsUndecorated) {
  win::UniqueHmodule module(::LoadLibraryA(ShellDllPath().c_str()));
  ASSERT_TRUE(module) << ShellDllPath();
  for (const char* name :
       {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
    EXPECT_NE(::GetProcAddress(module.get(), name), nullptr) << name;
  }
  for (const char* name : {"DllGetClassObject@12", "_DllGetClassObject@12", "DllMain"}) {
    EXPECT_EQ(::GetProcAddress(module.get(), name), nullptr) << name;
  }
  const auto* base = reinterpret_cast<const BYTE*>(module.get());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  EXPECT_EQ(exports->NumberOfNames, 4u);
  EXPECT_EQ(exports->NumberOfFunctions, 4u);
}

TEST(ZelshellModule, LoadingWritesNothingToTheRegistry) {
  RemoveRegistration();
  win::UniqueHmodule module(::LoadLibraryA(ShellDllPath().c_str()));
  ASSERT_TRUE(module);
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kHandlerKey));
}

// ---- registration through Wine's regsvr32

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { RemoveRegistration(); }
  void TearDown() override { RemoveRegistration(); }

  static DWORD Regsvr32(const std::string& options, const std::string& dll) {
    return RunAndWait("regsvr32.exe /s " + options + "\"" + dll + "\"");
  }

  // Every key and value registration leaves, and nothing more.
  static void ExpectRegistered(const std::string& serverPath) {
    EXPECT_EQ(ReadText(kClassKey, nullptr), "Zelvane");
    EXPECT_EQ(ReadText(kServerKey, nullptr), serverPath);
    EXPECT_EQ(ReadText(kServerKey, "ThreadingModel"), "Apartment");
    EXPECT_EQ(ReadText(kHandlerKey, nullptr), kClsidText);
    EXPECT_EQ(ValueNames(kClassKey), std::vector<std::string>{""});
    EXPECT_EQ(ValueNames(kHandlerKey), std::vector<std::string>{""});
    std::vector<std::string> serverValues = ValueNames(kServerKey);
    std::sort(serverValues.begin(), serverValues.end());
    EXPECT_EQ(serverValues, (std::vector<std::string>{"", "ThreadingModel"}));
    // No ProgID: the class has no name.
    EXPECT_FALSE(KeyExists(std::string(kClassKey) + "\\ProgID"));
  }

  static void ExpectUnregistered() {
    EXPECT_FALSE(KeyExists(kHandlerKey));
    EXPECT_FALSE(KeyExists(kServerKey));
    EXPECT_FALSE(KeyExists(kClassKey));
    // The keys above them stay.
    EXPECT_TRUE(KeyExists("AllFilesystemObjects\\shellex\\ContextMenuHandlers"));
    EXPECT_TRUE(KeyExists("CLSID"));
  }
};

TEST_F(Registration, Regsvr32WritesEveryKeyAndValue) {
  const std::string dll = ShellDllPath();
  ASSERT_EQ(dll.find(' '), std::string::npos) << "this test wants a path without spaces";
  EXPECT_EQ(Regsvr32("", dll), 0u);
  ExpectRegistered(dll);
}

TEST_F(Registration, RegisteringTwiceLeavesTheSameContent) {
  const std::string dll = ShellDllPath();
  EXPECT_EQ(Regsvr32("", dll), 0u);
  EXPECT_EQ(Regsvr32("", dll), 0u);
  ExpectRegistered(dll);
}

TEST_F(Registration, Regsvr32UnregisterRemovesEveryKey) {
  const std::string dll = ShellDllPath();
  ASSERT_EQ(Regsvr32("", dll), 0u);
  EXPECT_EQ(Regsvr32("/u ", dll), 0u);
  ExpectUnregistered();
}

TEST_F(Registration, UnregisteringWhatIsNotRegisteredSucceeds) {
  EXPECT_EQ(Regsvr32("/u ", ShellDllPath()), 0u);
  ExpectUnregistered();
}

// A key that cannot be deleted (RegDeleteKey fails on a key with a subkey, as for a user
// without rights) fails the run, after the other keys were deleted all the same.
TEST_F(Registration, AKeyThatStaysFailsTheUnregistrationAfterTheOthersGo) {
  const std::string dll = ShellDllPath();
  ASSERT_EQ(Regsvr32("", dll), 0u);
  const std::string blocker = std::string(kHandlerKey) + "\\left by another program";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyA(HKEY_CLASSES_ROOT, blocker.c_str(), &key), ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(Regsvr32("/u ", dll), 5u) << "regsvr32's code for a failed unregistration";
  EXPECT_TRUE(KeyExists(kHandlerKey));
  EXPECT_FALSE(KeyExists(kServerKey));
  EXPECT_FALSE(KeyExists(kClassKey));
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, blocker.c_str());
  EXPECT_EQ(Regsvr32("/u ", dll), 0u);
  ExpectUnregistered();
}

TEST_F(Registration, ModuleInAFolderWithSpacesIsStoredByItsShortPath) {
  TempFolder folder;  // its name has spaces
  const std::string dll = folder.Copy(ShellDllPath(), "zelshell.dll");
  const std::string shortForm = ShortPath(dll);
  ASSERT_NE(shortForm, dll);
  ASSERT_EQ(shortForm.find(' '), std::string::npos) << shortForm;
  EXPECT_EQ(Regsvr32("", dll), 0u);
  ExpectRegistered(shortForm);
  EXPECT_EQ(Regsvr32("/u ", dll), 0u);
  ExpectUnregistered();
}

// A key that cannot be created stops the run: a volatile class key can hold no non-volatile
// subkey (RegCreateKeyEx: ERROR_CHILD_MUST_BE_VOLATILE), so the server key fails.
TEST_F(Registration, AWriteThatFailsStopsTheRunWithEFail) {
  HKEY volatileKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(volatileKey);

  EXPECT_EQ(Regsvr32("", ShellDllPath()), 5u) << "regsvr32's code for a failed registration";
  EXPECT_EQ(ReadText(kClassKey, nullptr), "Zelvane") << "the write before the failure stays";
  EXPECT_FALSE(KeyExists(kServerKey));
  EXPECT_FALSE(KeyExists(kHandlerKey)) << "nothing is written after the failure";

  // The export itself says E_FAIL.
  win::UniqueHmodule module(::LoadLibraryA(ShellDllPath().c_str()));
  ASSERT_TRUE(module);
  const auto registerServer = GetExport<HRESULT(STDAPICALLTYPE*)()>(module.get(), "DllRegisterServer");
  EXPECT_EQ(registerServer(), E_FAIL);
}

// With HKEY_CLASSES_ROOT mapped onto a volatile key, already the first key cannot be made.
TEST_F(Registration, AFirstWriteThatFailsWritesNothing) {
  const char kView[] = "Software\\Zelvane shell test view";
  ::RegDeleteTreeA(HKEY_CURRENT_USER, kView);
  HKEY view = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kView, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &view, nullptr),
            ERROR_SUCCESS);
  win::UniqueHkey owned(view);
  win::UniqueHmodule module(::LoadLibraryA(ShellDllPath().c_str()));
  ASSERT_TRUE(module);
  const auto registerServer =
      GetExport<HRESULT(STDAPICALLTYPE*)()>(module.get(), "DllRegisterServer");
  ASSERT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, owned.get()), ERROR_SUCCESS);
  const HRESULT result = registerServer();
  ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  EXPECT_EQ(result, E_FAIL);
  DWORD subkeys = 99;
  EXPECT_EQ(::RegQueryInfoKeyA(owned.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 0u) << "nothing was written through the view";
  owned.reset();
  ::RegDeleteTreeA(HKEY_CURRENT_USER, kView);
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kHandlerKey));
}

// ---- counts, walked through the exports of a loaded module

// An outer object for aggregation: counts what reaches it.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
  int queries = 0;
};

class ServerCounts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    module_.reset(::LoadLibraryA(ShellDllPath().c_str()));
    ASSERT_TRUE(module_);
    getClassObject_ = GetExport<GetClassObject>(module_.get(), "DllGetClassObject");
    canUnloadNow_ = GetExport<CanUnloadNow>(module_.get(), "DllCanUnloadNow");
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
  }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject_(CLSID_ZelvaneContextMenu, IID_IClassFactory,
                              reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    return factory;
  }

  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  Apartment apartment_;
  win::UniqueHmodule module_;
  GetClassObject getClassObject_ = nullptr;
  CanUnloadNow canUnloadNow_ = nullptr;
};

TEST_F(ServerCounts, DllGetClassObjectAnswersByClassAndInterface) {
  const CLSID otherClass = {0xEBDF1F20, 0xC829, 0x11D1, {0x82, 0x33, 0, 0x20, 0xAF, 0x3E, 0x97, 0xAA}};
  const struct {
    const char* name;
    const CLSID* classId;
    const IID* iid;
    HRESULT result;
    bool gotPointer;
  } cases[] = {
      {"the class, IClassFactory", &CLSID_ZelvaneContextMenu, &IID_IClassFactory, S_OK, true},
      {"the class, IUnknown", &CLSID_ZelvaneContextMenu, &IID_IUnknown, S_OK, true},
      {"the class, IContextMenu", &CLSID_ZelvaneContextMenu, &IID_IContextMenu, E_NOINTERFACE,
       false},
      {"another class", &otherClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE, false},
      {"a null class", &CLSID_NULL, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE, false},
  };
  for (const auto& c : cases) {
    void* pointer = reinterpret_cast<void*>(1);  // must be overwritten
    EXPECT_EQ(getClassObject_(*c.classId, *c.iid, &pointer), c.result) << c.name;
    EXPECT_EQ(pointer != nullptr, c.gotPointer) << c.name;
    EXPECT_EQ(canUnloadNow_(), c.gotPointer ? S_FALSE : S_OK) << c.name;
    if (pointer != nullptr) static_cast<IUnknown*>(pointer)->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK) << c.name;
  }
  EXPECT_EQ(getClassObject_(CLSID_ZelvaneContextMenu, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ServerCounts, FactoryReferencesKeepTheModule) {
  EXPECT_EQ(canUnloadNow_(), S_OK);
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  // AddRef and Release give the new FactoryRefCount.
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  ComPtr<IUnknown> again;
  EXPECT_EQ(factory.As(&again), S_OK);
  EXPECT_EQ(factory->QueryInterface(IID_IContextMenu,
                                    reinterpret_cast<void**>(again.ReleaseAndGetAddressOf())),
            E_NOINTERFACE);
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerCounts, LockServerHoldsTheModuleUntilUnlocked) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "locked";
  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "one lock left";
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "the factory is still held";
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerCounts, CreateInstanceRefusalsChangeNoCount) {
  ComPtr<IClassFactory> factory = Factory();
  Outer outer;
  const struct {
    const char* name;
    IUnknown* outer;
    const IID* iid;
    bool nullOut;
    HRESULT result;
  } cases[] = {
      {"no out pointer", nullptr, &IID_IContextMenu, true, E_POINTER},
      {"aggregated, asking for IContextMenu", &outer, &IID_IContextMenu, false,
       CLASS_E_NOAGGREGATION},
      {"an interface the object lacks", nullptr, &IID_IClassFactory, false, E_NOINTERFACE},
      {"IContextMenu2, which it lacks", nullptr, &IID_IContextMenu2, false, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    void* pointer = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, c.nullOut ? nullptr : &pointer), c.result)
        << c.name;
    if (!c.nullOut) {
      EXPECT_EQ(pointer, nullptr) << c.name;
    }
  }
  EXPECT_EQ(outer.refs, 1u);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK) << "no object was left alive";
}

TEST_F(ServerCounts, ObjectsKeepTheModuleUntilTheirLastRelease) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IContextMenu> first;
  ComPtr<IShellExtInit> second;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu,
                                    reinterpret_cast<void**>(first.GetAddressOf())),
            S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit,
                                    reinterpret_cast<void**>(second.GetAddressOf())),
            S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  // One object's count, reached through any of its interfaces.
  EXPECT_EQ(first->AddRef(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  first.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "the second object lives";
  second.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerCounts, AggregatedObjectDelegatesItsInterfacesToTheOuterObject) {
  ComPtr<IClassFactory> factory = Factory();
  Outer outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  factory.Reset();
  EXPECT_EQ(outer.refs, 1u) << "the inner unknown counts for itself";

  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u) << "an interface's reference belongs to the outer object";
  void* through = nullptr;
  EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, &through), E_NOINTERFACE)
      << "the outer object answers, and it does not expose IShellExtInit";
  EXPECT_EQ(outer.queries, 1);
  menu->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerCounts, HandlerAnswersItsInterfacesAsOneObject) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IUnknown> identity;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown,
                                    reinterpret_cast<void**>(identity.GetAddressOf())),
            S_OK);
  const struct {
    const IID* iid;
    const char* name;
    HRESULT query;
    HRESULT errorInfo;
  } cases[] = {
      {&IID_IUnknown, "IUnknown", S_OK, S_OK},
      {&IID_IContextMenu, "IContextMenu", S_OK, S_OK},
      {&IID_IShellExtInit, "IShellExtInit", S_OK, S_OK},
      {&IID_ISupportErrorInfo, "ISupportErrorInfo", S_OK, S_OK},
      {&IID_IContextMenu2, "IContextMenu2", E_NOINTERFACE, S_FALSE},
      {&IID_IClassFactory, "IClassFactory", E_NOINTERFACE, S_FALSE},
      {&IID_IDataObject, "IDataObject", E_NOINTERFACE, S_FALSE},
  };
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(identity.As(&errorInfo), S_OK);
  for (const auto& c : cases) {
    ComPtr<IUnknown> found;
    EXPECT_EQ(identity->QueryInterface(*c.iid, reinterpret_cast<void**>(found.GetAddressOf())),
              c.query)
        << c.name;
    if (found) {
      ComPtr<IUnknown> back;
      ASSERT_EQ(found.As(&back), S_OK) << c.name;
      EXPECT_EQ(back.Get(), identity.Get()) << c.name << ": one identity";
    }
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(*c.iid), c.errorInfo) << c.name;
  }
}

// ---- activation and unloading through COM

TEST(ComActivation, CreatedOnAnApartmentAndUnloadedWhenUnused) {
  Apartment apartment;
  ASSERT_EQ(apartment.result(), S_OK);
  Registered registered;
  ASSERT_EQ(registered.result(), S_OK);
  const std::string dll = ShellDllPath();
  ASSERT_EQ(::GetModuleHandleA(dll.c_str()), nullptr) << "not loaded before activation";

  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  HMODULE module = ::GetModuleHandleA(dll.c_str());
  ASSERT_NE(module, nullptr) << "COM loaded the registered module";
  const auto canUnloadNow =
      GetExport<HRESULT(STDAPICALLTYPE*)()>(module, "DllCanUnloadNow");
  ComPtr<IShellExtInit> init;
  EXPECT_EQ(handler.As(&init), S_OK);

  EXPECT_EQ(canUnloadNow(), S_FALSE);
  ::CoFreeUnusedLibraries();
  EXPECT_EQ(::GetModuleHandleA(dll.c_str()), module) << "kept while a handler lives";

  handler.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  init.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
  ::CoFreeUnusedLibraries();
  EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr) << "CoFreeUnusedLibraries unloaded it";
}

}  // namespace
}  // namespace zel::shellext::test
