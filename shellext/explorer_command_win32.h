// Windows 11's first context menu: the "Zelvane" command, whose sub-commands are the menu file's
// entries, built and filtered as the classic handler builds its submenu and run by the same code.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <memory>

#include "icons/icon_cache_win32.h"
#include "menu/menu_tree.h"
#include "shellext/com_server_win32.h"

namespace zel::shellext {

// One build of the menu file for one selection, shared by the commands made from it; never
// changed once made.
struct CommandMenu {
  menu::Selection selection;         // what it was built for, and the entries run on
  std::vector<menu::MenuNode> tree;  // the entries numbered from 1: entry k - 1 has id k
  menu::MenuTable table;
  bool showsIcons = true;
  HMODULE module = nullptr;  // beside which the editor is
  // Where the entries' icons are, found as the sub-commands are asked for them.
  std::unique_ptr<icons::IconLocations> icons;
};

// The top-level command (made by its factory) or one of its sub-commands (an entry, a submenu
// or a separator of a build).
class TExplorerCommand final : public TComObject, public IExplorerCommand {
 public:
  // The top-level command.
  TExplorerCommand(TComServer& server, IUnknown* outer, HMODULE module);
  // A sub-command: `node` of `menu`, which it keeps.
  TExplorerCommand(TComServer& server, std::shared_ptr<const CommandMenu> menu,
                   const menu::MenuNode& node);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IExplorerCommand
  HRESULT STDMETHODCALLTYPE GetTitle(IShellItemArray* items, LPWSTR* name) noexcept override;
  HRESULT STDMETHODCALLTYPE GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
  HRESULT STDMETHODCALLTYPE GetToolTip(IShellItemArray* items, LPWSTR* tip) noexcept override;
  HRESULT STDMETHODCALLTYPE GetCanonicalName(GUID* name) noexcept override;
  HRESULT STDMETHODCALLTYPE GetState(IShellItemArray* items, BOOL okToBeSlow,
                                     EXPCMDSTATE* state) noexcept override;
  HRESULT STDMETHODCALLTYPE Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;
  HRESULT STDMETHODCALLTYPE GetFlags(EXPCMDFLAGS* flags) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumSubCommands(IEnumExplorerCommand** commands) noexcept override;

 protected:
  IUnknown* FindInterface(REFIID riid) override;

 private:
  ~TExplorerCommand() override = default;
  // The top-level command's state: builds the menu for the selection and keeps it for
  // EnumSubCommands.
  HRESULT TopState(IShellItemArray* items, bool okToBeSlow, EXPCMDSTATE& state);
  std::shared_ptr<const CommandMenu> Menu();

  TComServer& server_;
  HMODULE module_ = nullptr;
  const menu::MenuNode* node_ = nullptr;  // null: the top-level command
  SRWLOCK lock_ = SRWLOCK_INIT;           // the top's menu: Explorer may ask from two threads
  // A sub-command's build, never changed; the top's last, changed by every GetState.
  std::shared_ptr<const CommandMenu> menu_;
};

// The factory of the top-level command. Nothing of it is registered by the library: the
// package's manifest declares the class.
class TExplorerCommandFactory final : public TComObjectFactory {
 public:
  explicit TExplorerCommandFactory(TComServer& server);
  HRESULT ApplyRegistration(bool) noexcept override { return S_OK; }

 protected:
  TComObject* CreateComObject(IUnknown* outer) override;
};

}  // namespace zel::shellext
