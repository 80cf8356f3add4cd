#include "shellext/context_menu_win32.h"

#include <shellapi.h>
#include <wrl/client.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "menu/menu_win32.h"
#include "shellext/class_id_win32.h"
#include "shellext/handler_rules.h"
#include "shellext/selection_win32.h"
#include "shellext/zelshell_win32.h"
#include "win/dpi_win32.h"

namespace zel::shellext {
namespace {

// Gives a medium that GetData filled back however Initialize ends (ReleaseStgMedium: the
// medium's owner, or pUnkForRelease, frees it). After a failed GetData there is nothing to give.
class MediumOwner {
 public:
  MediumOwner() = default;
  ~MediumOwner() {
    if (filled) ::ReleaseStgMedium(&medium);
  }
  MediumOwner(const MediumOwner&) = delete;
  MediumOwner& operator=(const MediumOwner&) = delete;
  STGMEDIUM medium = {};
  bool filled = false;
};

}  // namespace

// ---- TContextMenu

TContextMenu::TContextMenu(TComServer& server, IUnknown* outer, HMODULE module)
    : TComObject(server, outer), module_(module), table_(TakeSpareTable()) {}

TContextMenu::~TContextMenu() { LeaveSpareTable(std::move(table_)); }

IUnknown* TContextMenu::FindInterface(REFIID riid) {
  if (IsEqualIID(riid, IID_IContextMenu)) return static_cast<IContextMenu*>(this);
  if (IsEqualIID(riid, IID_IShellExtInit)) return static_cast<IShellExtInit*>(this);
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE TContextMenu::QueryInterface(REFIID riid, void** ppv) noexcept {
  return ControllingUnknown()->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE TContextMenu::AddRef() noexcept { return ControllingUnknown()->AddRef(); }

ULONG STDMETHODCALLTYPE TContextMenu::Release() noexcept { return ControllingUnknown()->Release(); }

HRESULT TContextMenu::DoInitialize(IDataObject* pdtobj) noexcept try {
  if (pdtobj == nullptr) return E_INVALIDARG;
  // Held for this call only: the handler keeps no reference to the selection.
  const Microsoft::WRL::ComPtr<IDataObject> selection(pdtobj);

  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  MediumOwner owner;
  const HRESULT got = selection->GetData(&format, &owner.medium);
  if (FAILED(got)) return got;  // the selection stays as it was
  owner.filled = true;
  // A success with some other medium holds no drop list; the selection stays as it was.
  if (owner.medium.tymed != TYMED_HGLOBAL || owner.medium.hGlobal == nullptr) return E_FAIL;

  const HDROP drop = static_cast<HDROP>(owner.medium.hGlobal);
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  // The names as the system holds them: the ANSI query would give "?" for characters outside
  // the code page. A selection too large to serve is not read.
  std::vector<std::wstring> names;
  for (UINT i = 0; i < count && i <= menu::kMostSelectedObjects; ++i) {
    // Without a buffer DragQueryFile gives the length, its NUL not counted.
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring wide(length + 1, L'\0');
    const UINT copied = length != 0 ? ::DragQueryFileW(drop, i, wide.data(), length + 1) : 0;
    wide.resize(copied <= length ? copied : length);
    names.push_back(std::move(wide));
  }
  std::optional<menu::Selection> served = ServedSelection(names);
  if (!served) {
    selected_ = menu::Selection(1);
    return E_FAIL;
  }
  selected_ = std::move(*served);
  return S_OK;
} catch (...) {
  return CaughtHresult();
}

HRESULT TContextMenu::DoQueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst,
                                         UINT idCmdLast, UINT uFlags) noexcept try {
  if (!WantsSubmenu(uFlags)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  addedCount_ = 0;
  menu::BuildRequest request;
  request.host = menu::Host::Shell;  // an empty path reads the user's menu file
  request.idCmdFirst = idCmdFirst;
  request.idCmdLast = idCmdLast;
  request.selected = selected_;
  // The menu shows over its owner, the window active on the caller's thread: icons at that
  // window's DPI, which for a host the system stretches is 96.
  const int iconSize = win::MetricAt(SM_CXSMICON, win::DpiOf(::GetActiveWindow()));
  icons::MenuIcons icons(ModuleIcons(), menu::Host::Shell, module_, iconSize);
  const std::optional<menu::BuildResult> built =
      menu::BuildSubmenu(hmenu, indexMenu, kSubmenuCaption, request, table_, &icons);
  if (!built) return E_FAIL;
  // Held as long as this handler, which Explorer keeps while the menu is shown.
  shownIcons_ = icons.Shown();
  if (!menu::NamedIn(selected_, table_.kind)) {
    // No ANSI name for the object: taken out again, as a declined selection adds nothing.
    table_.EntryCount = 0;
    ::DeleteMenu(hmenu, indexMenu, MF_BYPOSITION);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  }
  addedCount_ = built->addedCount;
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, ReportedCount(addedCount_, idCmdFirst, idCmdLast));
} catch (...) {
  return CaughtHresult();
}

HRESULT TContextMenu::DoInvokeCommand(CMINVOKECOMMANDINFO* lpici) noexcept try {
  if (lpici == nullptr) return E_INVALIDARG;
  const auto verb = reinterpret_cast<std::uintptr_t>(lpici->lpVerb);
  // No verb strings are supported; nothing is touched.
  if (IsVerbString(verb)) return E_FAIL;
  const menu::MenuData* entry = EntryForOffset(table_, verb);
  if (entry == nullptr) return E_INVALIDARG;
  // A caller that asks for no UI (CMIC_MASK_FLAG_NO_UI) gets the run's complaints as the result.
  const bool quiet = (lpici->fMask & CMIC_MASK_FLAG_NO_UI) != 0;
  return RunOnSelection(*entry, table_.kind, selected_, module_, quiet);
} catch (...) {
  return CaughtHresult();
}

HRESULT TContextMenu::DoGetCommandString(UINT_PTR idCmd, UINT uType, CHAR* pszName,
                                         UINT cchMax) noexcept {
  // Help text exists for offset 0 only, which carries no item.
  if (idCmd != 0) return E_INVALIDARG;
  if (uType == GCS_HELPTEXTA) {
    if (pszName == nullptr) return E_POINTER;
    // Never more than cchMax bytes: a buffer too small for the text gets nothing.
    if (!CopyHelpText(pszName, cchMax)) return E_INVALIDARG;
  }
  return S_OK;  // every other kind leaves pszName as it is
}

HRESULT STDMETHODCALLTYPE TContextMenu::Initialize(PCIDLIST_ABSOLUTE, IDataObject* pdtobj,
                                                   HKEY) noexcept {
  return Reported(IID_IShellExtInit, DoInitialize(pdtobj));
}

HRESULT STDMETHODCALLTYPE TContextMenu::QueryContextMenu(HMENU hmenu, UINT indexMenu,
                                                         UINT idCmdFirst, UINT idCmdLast,
                                                         UINT uFlags) noexcept {
  return Reported(IID_IContextMenu,
                  DoQueryContextMenu(hmenu, indexMenu, idCmdFirst, idCmdLast, uFlags));
}

HRESULT STDMETHODCALLTYPE TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* lpici) noexcept {
  return Reported(IID_IContextMenu, DoInvokeCommand(lpici));
}

HRESULT STDMETHODCALLTYPE TContextMenu::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*,
                                                         CHAR* pszName, UINT cchMax) noexcept {
  return Reported(IID_IContextMenu, DoGetCommandString(idCmd, uType, pszName, cchMax));
}

HRESULT STDMETHODCALLTYPE TContextMenu::InterfaceSupportsErrorInfo(REFIID riid) noexcept {
  return SupportsErrorInfo(riid);
}

// ---- TContextMenuFactory

TContextMenuFactory::TContextMenuFactory(TComServer& server)
    : TComObjectFactory(server, CLSID_ZelvaneContextMenu, /*showErrors=*/true) {}

TComObject* TContextMenuFactory::CreateComObject(IUnknown* outer) {
  return new TContextMenu(server_, outer, ModuleHandle());
}

}  // namespace zel::shellext
