// The context-menu handler and its class factory.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <shlobj.h>

#include <string>

#include "icons/icon_cache_win32.h"
#include "menu/menu_file.h"
#include "menu/selected_object.h"
#include "shellext/com_server_win32.h"

namespace zel::shellext {

// One handler per context menu. Each keeps its own selection, entry table and count, so
// context menus open at the same time (on one shell thread or several) never run each
// other's entries; used one at a time, it behaves as if they were module-wide.
class TContextMenu final : public TComObject,
                           public IContextMenu,
                           public IShellExtInit,
                           public ISupportErrorInfo {
 public:
  TContextMenu(TComServer& server, IUnknown* outer, HMODULE module);

  // IUnknown, for all three interfaces: forwarded to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IContextMenu
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst,
                                             UINT idCmdLast, UINT uFlags) noexcept override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* lpici) noexcept override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved,
                                             CHAR* pszName, UINT cchMax) noexcept override;

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj,
                                       HKEY hkeyProgID) noexcept override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override;

 protected:
  IUnknown* FindInterface(REFIID riid) override;

 private:
  ~TContextMenu() override;
  // The interfaces' work; each method above passes its result through Reported.
  HRESULT DoInitialize(IDataObject* pdtobj) noexcept;
  HRESULT DoQueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                             UINT uFlags) noexcept;
  HRESULT DoInvokeCommand(CMINVOKECOMMANDINFO* lpici) noexcept;
  HRESULT DoGetCommandString(UINT_PTR idCmd, UINT uType, CHAR* pszName, UINT cchMax) noexcept;

  HMODULE module_;
  menu::Selection selected_ = menu::Selection(1);  // the selected objects
  menu::MenuTable table_;                          // the entries of the last QueryContextMenu
  unsigned addedCount_ = 0;                        // the items the last QueryContextMenu appended
  icons::ShownBitmaps shownIcons_;                 // the last QueryContextMenu's item bitmaps
};

// The factory of TContextMenu: multiple instances, apartment threading, errors shown.
class TContextMenuFactory final : public TComObjectFactory {
 public:
  explicit TContextMenuFactory(TComServer& server);

  HRESULT ApplyRegistration(bool registering) noexcept override;

 protected:
  TComObject* CreateComObject(IUnknown* outer) override;
};

}  // namespace zel::shellext
