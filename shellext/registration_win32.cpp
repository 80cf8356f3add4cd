// The class's registry content written and removed through the real registry.
#include <windows.h>
#include <objbase.h>

#include <memory>
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
  bool SetValue(const RegistryWrite& write) override {
    HKEY opened = nullptr;
    char emptyClass[] = "";
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, write.key.c_str(), 0, emptyClass,
                          REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &opened,
                          nullptr) != ERROR_SUCCESS) {
      return false;
    }
    win::UniqueHkey key(opened);
    // The NUL is stored with the text (REG_SZ documentation: cbData includes it).
    return ::RegSetValueExA(key.get(), write.valueName.empty() ? nullptr : write.valueName.c_str(),
                            0, REG_SZ, reinterpret_cast<const BYTE*>(write.data.c_str()),
                            static_cast<DWORD>(write.data.size() + 1)) == ERROR_SUCCESS;
  }

  bool DeleteKey(const std::string& key) override {
    const LONG result = ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ||
           result == ERROR_PATH_NOT_FOUND;
  }
};

// "{EBDF1F20-...}" as StringFromCLSID writes it; empty when it cannot be had.
std::string ClassIdText(const CLSID& classId) {
  LPOLESTR wide = nullptr;
  if (FAILED(::StringFromCLSID(classId, &wide)) || wide == nullptr) return {};
  // The text is the caller's to free with CoTaskMemFree (StringFromCLSID documentation).
  const std::unique_ptr<OLECHAR, decltype(&::CoTaskMemFree)> owned(wide, &::CoTaskMemFree);
  std::string text;
  for (const OLECHAR* p = owned.get(); *p != L'\0'; ++p) text += static_cast<char>(*p);  // ASCII
  return text;
}

// The module's path as stored under InprocServer32; empty when it cannot be had.
std::string ModuleServerPath() {
  const std::string path = win::GetModulePath(ModuleHandle());
  return ServerPath(path, win::ShortPath(path));
}

}  // namespace

HRESULT TContextMenuFactory::ApplyRegistration(bool registering) noexcept try {
  const std::string classId = ClassIdText(ClassId());
  if (classId.empty()) return E_FAIL;
  Win32Registry registry;
  if (!registering) return Unregister(classId, registry) ? S_OK : E_FAIL;
  const std::string serverPath = ModuleServerPath();
  if (serverPath.empty()) return E_FAIL;
  return Register(classId, serverPath, registry) ? S_OK : E_FAIL;
} catch (...) {
  return E_FAIL;
}

}  // namespace zel::shellext
