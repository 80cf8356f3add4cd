// What the shell extension's tests share: the module under test, the registry, processes,
// the user's menu file, COM apartments and selections made by hand or by Wine's shell.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <atomic>
#include <optional>
#include <string>

#include "tests/win32/temp_folder_win32.h"
#include <vector>

#include "menu/menu_tree.h"

namespace zel::shellext::test {

using Microsoft::WRL::ComPtr;

inline constexpr char kClsidText[] = "{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";
inline constexpr char kClassKey[] = "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";
inline constexpr char kServerKey[] =
    "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}\\InprocServer32";
inline constexpr char kHandlerKey[] = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu";

// The folder of the running test program, with its final backslash.
std::string ExeFolder();
// zelshell.dll and the probe DLL, built beside the test program.
std::string ShellDllPath();
std::string ProbeDllPath();
// An export of `module` as the function type it has (null when missing).
template <typename Function>
Function GetExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A Unix path as Wine's Z: drive shows it.
std::string FromUnixPath(const std::string& path);

// The short (8.3) form of an existing path; the path itself when it has none.
std::string ShortPath(const std::string& path);
std::string CurrentFolder();

// ---- registry under HKEY_CLASSES_ROOT

// A REG_SZ value, or nothing when the key or value is missing or of another type.
std::optional<std::string> ReadText(const std::string& key, const char* valueName);
bool KeyExists(const std::string& key);
std::vector<std::string> ValueNames(const std::string& key);
// Removes every key registration writes, so each test starts from nothing.
void RemoveRegistration();

// ---- processes

// Runs a command line with its standard handles on NUL and waits for it; the exit code, or
// 0xFFFFFFFF when it could not be started or did not end within a minute.
DWORD RunAndWait(const std::string& commandLine);

// ---- files

using zel::test::TempFolder;

// Replaces the user's menu file for the length of a test, and puts the old one back.
class UserMenuFile {
 public:
  UserMenuFile();
  explicit UserMenuFile(const std::string& bytes) : UserMenuFile() { Set(bytes); }
  ~UserMenuFile();
  UserMenuFile(const UserMenuFile&) = delete;
  UserMenuFile& operator=(const UserMenuFile&) = delete;
  void Set(const std::string& bytes) const;
  void Remove() const;
  // A folder where the file should be: it exists but cannot be read.
  void MakeUnreadable() const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string saved_;
  bool hadOne_ = false;
};

// ---- COM

class Apartment {
 public:
  Apartment() : result_(::CoInitialize(nullptr)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// Registers zelshell.dll (by default the one built beside the tests) for the length of a
// test, DllRegisterServer called directly and the library freed at once, and removes the
// registration afterwards.
class Registered {
 public:
  explicit Registered(const std::string& dll = ShellDllPath());
  ~Registered() { RemoveRegistration(); }
  Registered(const Registered&) = delete;
  Registered& operator=(const Registered&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_ = E_FAIL;
};

// A data object made by hand: CF_HDROP built from `paths` (ANSI, or wide from UTF-8), or no
// CF_HDROP, or "CF_HDROP" in a stream instead of global memory.
class DropData final : public IDataObject {
 public:
  enum class Offer { Drop, Nothing, DropInAStream };
  DropData(std::vector<std::string> paths, bool wide, Offer offer = Offer::Drop);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

  ULONG refs() const { return refs_; }
  // The global memory the last GetData handed out (the receiver must release it).
  HGLOBAL lastMedium() const { return lastMedium_; }
  // The stream the last GetData handed out, with a reference of the data object's own.
  IStream* lastStream() const { return lastStream_.Get(); }

 private:
  std::vector<std::string> paths_;
  bool wide_;
  Offer offer_;
  std::atomic<ULONG> refs_{1};
  HGLOBAL lastMedium_ = nullptr;
  ComPtr<IStream> lastStream_;
};

// True when `memory` was freed: GlobalSize fails with ERROR_INVALID_HANDLE.
bool GlobalFreed(HGLOBAL memory);

// Wine's own selection of `paths` (all in one folder): the parent folder's data object.
ComPtr<IDataObject> ShellSelection(const std::vector<std::string>& paths);
// Wine's own item menu for one path.
ComPtr<IContextMenu> ShellItemMenu(const std::string& path);

// A new handler object through CoCreateInstance.
ComPtr<IContextMenu> NewHandler();

}  // namespace zel::shellext::test
