// The context-menu handler's decisions, kept apart from COM so that they are portable:
// which flags get the submenu, which selections are served, what an offset selects, how the
// help text is copied.
#pragma once

#include <cstddef>
#include <cstdint>

#include "menu/menu_file.h"
#include "menu/selected_object.h"

namespace zel::shellext {

inline constexpr char kSubmenuCaption[] = "Zelvane";
inline constexpr char kHelpText[] = "Zelvane Menus";
// The longest selected path served: a Windows path of at most 260 characters.
inline constexpr std::size_t kMaxSelectedPath = 260;

// IContextMenu::QueryContextMenu flags that matter here (shobjidl.h values).
inline constexpr unsigned kCmfDefaultOnly = 0x1;
inline constexpr unsigned kCmfVerbsOnly = 0x2;
inline constexpr unsigned kCmfExplore = 0x4;
inline constexpr unsigned kCmfNoVerbs = 0x8;

// True when the submenu is added: for CMF_NORMAL, and whenever CMF_EXPLORE is set. Any other
// of the four low bits alone (default only, verbs only, no verbs) means the shell wants no
// ordinary items. Higher bits play no part.
bool WantsSubmenu(unsigned flags);

// The handlers serve a selection of 1 to kMostSelectedObjects objects whose paths each fit in 260
// characters (UTF-16 units, as the system counts them; not the bytes of an ANSI form, two a
// character in code page 932). One longer path declines the selection, as more objects do: cut
// to fit, it would name another object. So does an empty name, which is what DragQueryFile
// reports for a drop list that holds no name. Asked for each object, with the selection's count.
bool ServesSelection(unsigned objectCount, std::size_t pathLength);

// The count QueryContextMenu reports: the items added plus the reserved offset 0, but never
// more identifiers than the range idCmdFirst..idCmdLast holds, so the shell never hands the
// next handler an identifier this menu claims; at most 0xFFFF, the HRESULT's code field.
unsigned ReportedCount(unsigned addedCount, unsigned idCmdFirst, unsigned idCmdLast);

// InvokeCommand's lpVerb: an offset when its high 16 bits are zero, else a verb string.
inline bool IsVerbString(std::uintptr_t verb) { return (verb >> 16) != 0; }

// The entry an offset selects: offset k is entry k - 1. Null for offset 0 and for offsets
// beyond the table, which are refused without reading outside it.
const menu::MenuData* EntryForOffset(const menu::MenuTable& table, std::uintptr_t offset);

// Copies "Zelvane Menus" with its NUL into `buffer` of `capacity` bytes. False, with nothing
// written, when it does not fit.
bool CopyHelpText(char* buffer, std::size_t capacity);

}  // namespace zel::shellext
