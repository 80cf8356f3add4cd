// The class's registry content written and removed through the real registry.
#include <windows.h>

#include <string>

#include "win/paths_win32.h"
#include "win/unique_handle_win32.h"
#include "shellext/context_menu_win32.h"
#include "shellext/registration.h"
#include "shellext/zelshell_win32.h"

namespace zel::shellext {
namespace {

class Win32Registry final : public RegistryAccess {
 public:
  long SetValue(Place place, const RegistryWrite& write) override {
    HKEY opened = nullptr;
    char emptyClass[] = "";
    const LONG created = ::RegCreateKeyExA(
        Root(place), Path(write.key).c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
        KEY_READ | KEY_WRITE | View(place), nullptr, &opened, nullptr);
    if (created != ERROR_SUCCESS) return created;
    win::UniqueHkey key(opened);
    // The NUL is stored with the text (REG_SZ documentation: cbData includes it).
    return ::RegSetValueExA(key.get(), write.valueName.empty() ? nullptr : write.valueName.c_str(),
                            0, REG_SZ, reinterpret_cast<const BYTE*>(write.data.c_str()),
                            static_cast<DWORD>(write.data.size() + 1));
  }

  long DeleteKey(Place place, const std::string& key) override {
    const LONG result = ::RegDeleteKeyExA(Root(place), Path(key).c_str(), View(place), 0);
    return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS
                                                                            : result;
  }

 private:
  static HKEY Root(Place place) { return place.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
  static std::string Path(const std::string& key) { return std::string(kClassesKey) + "\\" + key; }
  // The other view of a 32-bit module is the 64-bit one, and the other way round. 32-bit
  // Windows has one view and ignores both flags.
  static REGSAM View(Place place) {
    if (!place.otherView) return 0;
    return sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  }
};

// A path as stored under InprocServer32.
std::string StoredPath(const std::string& path) { return ServerPath(path, win::ShortPath(path)); }

// A 32-bit process on 64-bit Windows: its registry view is not the 64-bit Explorer's.
bool Wow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

HRESULT TContextMenuFactory::ApplyRegistration(bool registering) noexcept try {
  Win32Registry registry;
  if (!registering) return HRESULT_FROM_WIN32(Unregister(kClassId, registry));
  const std::string module = win::GetModulePath(ModuleHandle());
  if (module.empty()) return E_FAIL;
  const bool wow64 = Wow64();
  const std::string library64 = win::ModuleFolder(ModuleHandle()) + kLibrary64;
  const bool has64 = wow64 && ::GetFileAttributesA(library64.c_str()) != INVALID_FILE_ATTRIBUTES;
  const long error =
      Register(kClassId, StoredPath(module), has64 ? StoredPath(library64) : "", registry);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  // Registered, but not where the 64-bit Explorer looks: the caller says so.
  return wow64 && !has64 ? S_FALSE : S_OK;
} catch (...) {
  return E_FAIL;
}

}  // namespace zel::shellext
