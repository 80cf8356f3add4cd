// The class identifiers of the context-menu and command handlers, read at compile time from their
// texts in shellext/registration.h, so the registry, the package, the setup program and COM share
// one spelling.
// (mingw ignores __declspec(uuid).)
#pragma once

#include <guiddef.h>

#include "shellext/registration.h"

namespace zel::shellext {

// The value of `digits` upper-case hexadecimal digits from text[from].
constexpr unsigned long HexValue(const char* text, int from, int digits) {
  unsigned long value = 0;
  for (int i = from; i < from + digits; ++i) {
    value = value * 16 +
            static_cast<unsigned long>(text[i] <= '9' ? text[i] - '0' : text[i] - 'A' + 10);
  }
  return value;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as a GUID.
constexpr GUID GuidFromText(const char* text) {
  GUID guid{HexValue(text, 1, 8),
            static_cast<unsigned short>(HexValue(text, 10, 4)),
            static_cast<unsigned short>(HexValue(text, 15, 4)),
            {}};
  constexpr int kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i)
    guid.Data4[i] = static_cast<unsigned char>(HexValue(text, kByteAt[i], 2));
  return guid;
}

}  // namespace zel::shellext

inline constexpr GUID CLSID_ZelvaneContextMenu =
    zel::shellext::GuidFromText(zel::shellext::kClassId);
inline constexpr GUID CLSID_ZelvaneExplorerCommand =
    zel::shellext::GuidFromText(zel::shellext::kCommandClassId);
