#include "shellext/handler_rules.h"

#include <cstring>

#include "menu/menu_build.h"

namespace zel::shellext {

bool WantsSubmenu(unsigned flags) {
  const unsigned lowBits = kCmfDefaultOnly | kCmfVerbsOnly | kCmfExplore | kCmfNoVerbs;
  return (flags & lowBits) == 0 || (flags & kCmfExplore) != 0;
}

bool ServesSelection(unsigned objectCount, std::size_t pathLength) {
  return objectCount >= 1 && objectCount <= menu::kMostSelectedObjects && pathLength > 0 &&
         pathLength <= kMaxSelectedPath;
}

unsigned ReportedCount(unsigned addedCount, unsigned idCmdFirst, unsigned idCmdLast) {
  const std::uint64_t wanted = static_cast<std::uint64_t>(addedCount) + 1;
  const std::uint64_t range =
      idCmdLast < idCmdFirst ? 0 : static_cast<std::uint64_t>(idCmdLast) - idCmdFirst + 1;
  const std::uint64_t count = wanted < range ? wanted : range;
  // The count travels in the HRESULT's 16-bit code field.
  return static_cast<unsigned>(count < 0xFFFF ? count : 0xFFFF);
}

const menu::MenuData* EntryForOffset(const menu::MenuTable& table, std::uintptr_t offset) {
  return table.Find(menu::EntryIndex(0, offset));
}

bool CopyHelpText(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity < sizeof(kHelpText)) return false;
  std::memcpy(buffer, kHelpText, sizeof(kHelpText));
  return true;
}

}  // namespace zel::shellext
