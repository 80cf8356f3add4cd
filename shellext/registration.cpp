#include "shellext/registration.h"

namespace zel::shellext {

std::string ClassKey(std::string_view clsidText) { return "CLSID\\" + std::string(clsidText); }

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

long Register(std::string_view clsidText, std::string_view serverPath,
              std::string_view serverPath64, RegistryAccess& registry) {
  for (const Place place : {Place{}, Place{false, true}}) {
    const std::string_view path = place.otherView ? serverPath64 : serverPath;
    if (path.empty()) break;
    for (const RegistryWrite& write : RegistrationWrites(clsidText, path)) {
      if (const long error = registry.SetValue(place, write)) return error;
    }
  }
  return 0;
}

long Unregister(std::string_view clsidText, RegistryAccess& registry) {
  long first = 0;
  for (const Place place : {Place{}, Place{false, true}, Place{true, false}, Place{true, true}}) {
    for (const std::string& key : UnregistrationKeys(clsidText)) {
      const long error = registry.DeleteKey(place, key);
      if (first == 0) first = error;
    }
  }
  return first;
}

}  // namespace zel::shellext
