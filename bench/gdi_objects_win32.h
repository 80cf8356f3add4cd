// Counts the GDI objects of the calling process under Wine, which takes a handle whose upper
// word is zero for its slot in any generation; its table has 16,384 slots from 0x20 on.
#pragma once

#include <windows.h>

inline int CountGdiObjects() {
  int count = 0;
  for (UINT_PTR slot = 0x20; slot < 0x20 + 16384; ++slot) {
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++count;
  }
  return count;
}
