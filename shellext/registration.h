// The registry content of the in-process server: what DllRegisterServer writes and
// DllUnregisterServer removes, in order. Portable: the keys are texts, the registry is behind
// RegistryAccess.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel::shellext {

inline constexpr char kClassDescription[] = "Zelvane";
inline constexpr char kServerKeyName[] = "InprocServer32";
inline constexpr char kThreadingModelValue[] = "ThreadingModel";
inline constexpr char kThreadingModel[] = "Apartment";
inline constexpr char kHandlerKey[] = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu";

// One REG_SZ value under HKEY_CLASSES_ROOT. An empty valueName is the key's default value.
struct RegistryWrite {
  std::string key;
  std::string valueName;
  std::string data;
  bool operator==(const RegistryWrite& other) const {
    return key == other.key && valueName == other.valueName && data == other.data;
  }
};

// The registry as registration sees it: keys under HKEY_CLASSES_ROOT.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;
  // Opens or creates the key (and any missing keys above it) and stores the value with its
  // NUL. False when either step fails.
  virtual bool SetValue(const RegistryWrite& write) = 0;
  // Deletes one key that has no subkeys. True when the key is gone: deleted, or never there.
  virtual bool DeleteKey(const std::string& key) = 0;
};

// "CLSID\{...}"
std::string ClassKey(std::string_view clsidText);
// "CLSID\{...}\InprocServer32"
std::string ServerKey(std::string_view clsidText);

// The path stored as the server: the module's full path, or its short form when the full
// path holds a space. When no short form can be had (empty), the full path: a value that
// names the module is better than none.
std::string ServerPath(std::string_view modulePath, std::string_view shortPath);

// The four values, in the order they are written: the class key's description, the server
// path, the threading model, the handler key naming the class.
std::vector<RegistryWrite> RegistrationWrites(std::string_view clsidText,
                                              std::string_view serverPath);

// The keys removed, in order: the handler key, the server key, the class key. Each key has no
// subkeys left when its turn comes; the keys above them are never removed.
std::vector<std::string> UnregistrationKeys(std::string_view clsidText);

// Writes in order and stops at the first failure; the writes before it stay. True when all
// were written.
bool Register(std::string_view clsidText, std::string_view serverPath, RegistryAccess& registry);

// Deletes in order, going on past keys that are missing or cannot be deleted. True when every
// key is gone; a key that stays (no rights to delete it, a subkey someone added) makes it
// false, so the caller does not report a registration that is still there as removed.
bool Unregister(std::string_view clsidText, RegistryAccess& registry);

}  // namespace zel::shellext
