// zelshell.dll's entry points: DllMain and the four exports of an in-process server.
#include <windows.h>

#include <utility>

#include "shellext/com_server_win32.h"
#include "shellext/context_menu_win32.h"
#include "shellext/explorer_command_win32.h"
#include "shellext/zelshell_win32.h"

// Last, so that only the identifiers are defined here.
#include <initguid.h>
#include "shellext/class_id_win32.h"
#include "shellext/interface_ids_win32.h"

namespace zel::shellext {
namespace {

HMODULE g_module = nullptr;
TComServer g_server;
TContextMenuFactory g_contextMenuFactory(g_server);
TExplorerCommandFactory g_explorerCommandFactory(g_server);
// Never destroyed, so nothing of it runs in DllMain; DllCanUnloadNow empties it.
icons::IconCache& g_icons = *new icons::IconCache;
SRWLOCK g_spareLock = SRWLOCK_INIT;
menu::MenuTable& g_spareTable = *new menu::MenuTable;

// The module's factories. Fixed at build time and never changed, so searching and walking
// it needs no lock.
TComObjectFactory* const g_factories[] = {&g_contextMenuFactory, &g_explorerCommandFactory};

HRESULT ApplyAllRegistrations(bool registering) noexcept {
  HRESULT result = S_OK;
  for (TComObjectFactory* factory : g_factories) {
    const HRESULT applied = factory->ApplyRegistration(registering);
    if (FAILED(applied)) return applied;  // the first failure, as it was
    if (applied != S_OK) result = applied;
  }
  return result;
}

}  // namespace

HMODULE ModuleHandle() { return g_module; }

icons::IconCache& ModuleIcons() { return g_icons; }

menu::MenuTable TakeSpareTable() {
  menu::MenuTable table;
  ::AcquireSRWLockExclusive(&g_spareLock);
  std::swap(table, g_spareTable);
  ::ReleaseSRWLockExclusive(&g_spareLock);
  table.EntryCount = 0;
  table.ClearEntries();
  return table;
}

// The module may go: what it keeps for later menus goes now.
void DropSpareTable() noexcept {
  menu::MenuTable table;
  ::AcquireSRWLockExclusive(&g_spareLock);
  std::swap(table, g_spareTable);
  ::ReleaseSRWLockExclusive(&g_spareLock);
}

void LeaveSpareTable(menu::MenuTable&& table) noexcept {
  ::AcquireSRWLockExclusive(&g_spareLock);
  if (table.MenuEntries.capacity() > g_spareTable.MenuEntries.capacity()) {
    std::swap(table, g_spareTable);
  }
  ::ReleaseSRWLockExclusive(&g_spareLock);
}

}  // namespace zel::shellext

using zel::shellext::g_factories;
using zel::shellext::g_server;

// Records the module and nothing else (DllMain documentation: no registry, no threads, no
// loading of other libraries under the loader lock).
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) zel::shellext::g_module = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  for (zel::shellext::TComObjectFactory* factory : g_factories) {
    if (IsEqualCLSID(rclsid, factory->ClassId())) return factory->QueryInterface(riid, ppv);
  }
  *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() noexcept {
  if (!g_server.CanUnloadNow()) return S_FALSE;
  // No handler is alive, so no menu of ours shows a bitmap: the module may go, and the
  // cache's bitmaps go now (the next menu, should it stay, extracts them again), unless a
  // worker still looks at files for it. A handler made on another thread since the check holds
  // shares of the bitmaps its menu took, which this leaves to it.
  if (!zel::shellext::ModuleIcons().Clear()) return S_FALSE;
  zel::shellext::DropSpareTable();
  return S_OK;
}

STDAPI DllRegisterServer() noexcept { return zel::shellext::ApplyAllRegistrations(true); }

STDAPI DllUnregisterServer() noexcept { return zel::shellext::ApplyAllRegistrations(false); }
