#include "shellext/registration.h"

namespace zel::shellext {

std::string ClassKey(std::string_view clsidText) {
  return "CLSID\\" + std::string(clsidText);
}

std::string ServerKey(std::string_view clsidText) {
  return ClassKey(clsidText) + "\\" + kServerKeyName;
}

std::string ServerPath(std::string_view modulePath, std::string_view shortPath) {
  if (modulePath.find(' ') == std::string_view::npos || shortPath.empty()) {
    return std::string(modulePath);
  }
  return std::string(shortPath);
}

std::vector<RegistryWrite> RegistrationWrites(std::string_view clsidText,
                                              std::string_view serverPath) {
  return {
      {ClassKey(clsidText), "", kClassDescription},
      {ServerKey(clsidText), "", std::string(serverPath)},
      // Written because the model is not the single-threaded one and the server is a library.
      {ServerKey(clsidText), kThreadingModelValue, kThreadingModel},
      {kHandlerKey, "", std::string(clsidText)},
  };
}

std::vector<std::string> UnregistrationKeys(std::string_view clsidText) {
  return {kHandlerKey, ServerKey(clsidText), ClassKey(clsidText)};
}

bool Register(std::string_view clsidText, std::string_view serverPath, RegistryAccess& registry) {
  for (const RegistryWrite& write : RegistrationWrites(clsidText, serverPath)) {
    if (!registry.SetValue(write)) return false;
  }
  return true;
}

bool Unregister(std::string_view clsidText, RegistryAccess& registry) {
  bool allGone = true;
  for (const std::string& key : UnregistrationKeys(clsidText)) {
    allGone = registry.DeleteKey(key) && allGone;
  }
  return allGone;
}

}  // namespace zel::shellext
