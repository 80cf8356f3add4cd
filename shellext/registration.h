// The registry content of the in-process server: what DllRegisterServer writes and
// DllUnregisterServer removes, in order. Portable: the keys are texts, the registry is behind
// RegistryAccess. The setup program reads its keys from the constants below (each on a line of
// its own, in this form): keep them so.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel::shellext {

inline constexpr char kClassId[] = "{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";
inline constexpr char kClassDescription[] = "Zelvane";
// The command handler of Windows 11's first context menu: declared by the sparse package's
// manifest, never written to the registry by the library.
inline constexpr char kCommandClassId[] = "{82A92586-13B9-4A60-B71A-93A49D8577ED}";
inline constexpr char kServerKeyName[] = "InprocServer32";
inline constexpr char kThreadingModelValue[] = "ThreadingModel";
inline constexpr char kThreadingModel[] = "Apartment";
inline constexpr char kHandlerKey[] = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu";
// Where the classes of a user or of the machine are kept; the shell reads both, the user's first.
inline constexpr char kClassesKey[] = "Software\\Classes";
// The 64-bit library that a 32-bit zelshell.dll registers for the 64-bit Explorer, in its own
// folder.
inline constexpr char kLibrary64[] = "zelshell64.dll";

// One REG_SZ value under a Software\Classes key. An empty valueName is the key's default value.
struct RegistryWrite {
  std::string key;
  std::string valueName;
  std::string data;
  bool operator==(const RegistryWrite& other) const {
    return key == other.key && valueName == other.valueName && data == other.data;
  }
};

// Which Software\Classes: the user's or the machine's, in the registry view of the module's
// own architecture or in the other one (a 32-bit program on 64-bit Windows sees its own).
struct Place {
  bool machine = false;
  bool otherView = false;
  bool operator==(const Place& other) const {
    return machine == other.machine && otherView == other.otherView;
  }
};

// The registry as registration sees it. Results are 0 or the system's error code.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;
  // Opens or creates the key (and any missing keys above it) and stores the value with its NUL.
  virtual long SetValue(Place place, const RegistryWrite& write) = 0;
  // Deletes one key that has no subkeys; 0 when the key is gone: deleted, or never there.
  virtual long DeleteKey(Place place, const std::string& key) = 0;
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

// Registers for the user only: keys created through HKEY_CLASSES_ROOT would go to the
// machine's classes, which a user without rights cannot write. The module in its own view;
// then, when serverPath64 is not empty (a 32-bit module on 64-bit Windows with the 64-bit
// library beside it), that library in the other view, the one the 64-bit Explorer reads.
// Writes in order and stops at the first failure, whose code it returns; the writes before it
// stay.
long Register(std::string_view clsidText, std::string_view serverPath,
              std::string_view serverPath64, RegistryAccess& registry);

// Deletes from the user's classes and the machine's, each in both views, going on past keys
// that cannot be deleted; missing keys are no failure. The first failure's code, so the caller
// does not report a registration that is still there as removed.
long Unregister(std::string_view clsidText, RegistryAccess& registry);

}  // namespace zel::shellext
