#include "shellext/explorer_command_win32.h"

#include <wrl/client.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "icons/icon_cache_win32.h"
#include "menu/menu_win32.h"
#include "shellext/class_id_win32.h"
#include "shellext/handler_rules.h"
#include "shellext/selection_win32.h"
#include "shellext/zelshell_win32.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"

namespace zel::shellext {
namespace {

using menu::MenuNode;

// A copy of `text` in memory that the caller frees with CoTaskMemFree, as the shell expects.
HRESULT TaskText(const std::wstring& text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (*out == nullptr) return E_OUTOFMEMORY;
  std::copy(text.c_str(), text.c_str() + text.size() + 1, *out);
  return S_OK;
}

// The items' file-system paths, in order. Nothing when an item has none (a library, a phone's
// folder, a search result's container) or there are more than the handlers serve.
std::optional<std::vector<std::wstring>> FileSystemNames(IShellItemArray* items) {
  DWORD count = 0;
  if (items == nullptr || FAILED(items->GetCount(&count)) || count > menu::kMostSelectedObjects) {
    return std::nullopt;
  }
  std::vector<std::wstring> names;
  for (DWORD i = 0; i < count; ++i) {
    Microsoft::WRL::ComPtr<IShellItem> item;
    LPWSTR name = nullptr;
    if (FAILED(items->GetItemAt(i, item.GetAddressOf())) ||
        FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
      return std::nullopt;
    }
    names.emplace_back(name);
    ::CoTaskMemFree(name);
  }
  return names;
}

std::optional<menu::Selection> SelectionOf(IShellItemArray* items) {
  const std::optional<std::vector<std::wstring>> names = FileSystemNames(items);
  return names ? ServedSelection(*names) : std::nullopt;
}

// True when building the menu touches fixed drives only: the menu file's, and the objects',
// whose short names the selection may ask for.
bool OnFixedDrives(const std::string& menuPath, const std::vector<std::wstring>& names) {
  win::FixedDrives drives;
  if (!menuPath.empty() && !drives.Hold(menuPath)) return false;
  return std::all_of(names.begin(), names.end(), [&drives](const std::wstring& name) {
    // The drive's part is ASCII; anything else there is no drive letter, and not held.
    std::string head;
    for (std::size_t i = 0; i < name.size() && i < 3; ++i) {
      head += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    }
    return drives.Hold(head);
  });
}

std::shared_ptr<const CommandMenu> BuildFor(const menu::Selection& selection,
                                            const std::string& menuPath, HMODULE module) {
  auto built = std::make_shared<CommandMenu>();
  menu::BuildRequest request;
  request.host = menu::Host::Shell;
  request.path = menuPath;
  request.selected = selection;
  built->selection = selection;
  menu::Win32MenuFileAccess files;
  menu::MenuTreeSink sink;
  menu::BuildMenu(request, files, sink, sink.Root(), built->table);
  built->tree = sink.Tree();
  built->showsIcons = sink.ShowsIcons();
  built->module = module;
  built->icons = std::make_unique<icons::IconLocations>(module);
  return built;
}

// The commands of `nodes`, one of `menu`'s lists, handed out in order.
class TCommandList final : public TComObject, public IEnumExplorerCommand {
 public:
  TCommandList(TComServer& server, std::shared_ptr<const CommandMenu> menu,
               const std::vector<MenuNode>& nodes, std::size_t next = 0)
      : TComObject(server, nullptr),
        server_(server),
        menu_(std::move(menu)),
        nodes_(nodes),
        next_(next) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
    return ObjQueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ObjAddRef(); }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return ObjRelease(); }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IExplorerCommand** commands,
                                 ULONG* fetched) noexcept override try {
    if (commands == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
    ULONG given = 0;
    for (; given < count && next_ < nodes_.size(); ++given, ++next_) {
      auto* command = new TExplorerCommand(server_, menu_, nodes_[next_]);
      command->QueryInterface(IID_IExplorerCommand, reinterpret_cast<void**>(&commands[given]));
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  } catch (...) {
    return CaughtHresult();
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
    const std::size_t left = nodes_.size() - next_;
    next_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() noexcept override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumExplorerCommand** copy) noexcept override try {
    if (copy == nullptr) return E_POINTER;
    auto* list = new TCommandList(server_, menu_, nodes_, next_);
    return list->QueryInterface(IID_IEnumExplorerCommand, reinterpret_cast<void**>(copy));
  } catch (...) {
    return CaughtHresult();
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IEnumExplorerCommand) ? static_cast<IEnumExplorerCommand*>(this)
                                                      : nullptr;
  }

 private:
  ~TCommandList() override = default;
  TComServer& server_;
  const std::shared_ptr<const CommandMenu> menu_;  // keeps `nodes_`
  const std::vector<MenuNode>& nodes_;
  std::size_t next_;
};

const std::vector<MenuNode> kNoCommands;

}  // namespace

// ---- TExplorerCommand

TExplorerCommand::TExplorerCommand(TComServer& server, IUnknown* outer, HMODULE module)
    : TComObject(server, outer), server_(server), module_(module) {}

TExplorerCommand::TExplorerCommand(TComServer& server, std::shared_ptr<const CommandMenu> menu,
                                   const MenuNode& node)
    : TComObject(server, nullptr),
      server_(server),
      module_(menu->module),
      node_(&node),
      menu_(std::move(menu)) {}

IUnknown* TExplorerCommand::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_IExplorerCommand) ? static_cast<IExplorerCommand*>(this) : nullptr;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::QueryInterface(REFIID riid, void** ppv) noexcept {
  return ControllingUnknown()->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE TExplorerCommand::AddRef() noexcept {
  return ControllingUnknown()->AddRef();
}

ULONG STDMETHODCALLTYPE TExplorerCommand::Release() noexcept {
  return ControllingUnknown()->Release();
}

std::shared_ptr<const CommandMenu> TExplorerCommand::Menu() {
  ::AcquireSRWLockShared(&lock_);
  std::shared_ptr<const CommandMenu> menu = menu_;
  ::ReleaseSRWLockShared(&lock_);
  return menu;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) noexcept try {
  if (node_ == nullptr) return TaskText(win::Widen(kSubmenuCaption), name);
  // As the classic menu shows it: an "&" marks the access key there and here.
  return TaskText(win::Widen(node_->caption, menu_->table.kind), name);
} catch (...) {
  return CaughtHresult();
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept try {
  if (icon == nullptr) return E_POINTER;
  *icon = nullptr;
  const menu::MenuData* entry = node_ != nullptr && menu_->showsIcons
                                    ? menu_->table.Find(menu::EntryIndex(0, node_->id))
                                    : nullptr;
  if (entry == nullptr) return E_NOTIMPL;
  const std::wstring location =
      menu_->icons->Of(menu::Host::Shell, *entry, node_->icon, menu_->table.kind);
  return location.empty() ? E_NOTIMPL : TaskText(location, icon);
} catch (...) {
  return CaughtHresult();
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip) noexcept {
  if (tip != nullptr) *tip = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetCanonicalName(GUID* name) noexcept {
  if (name == nullptr) return E_POINTER;
  *name = node_ == nullptr ? CLSID_ZelvaneExplorerCommand : GUID{};
  return node_ == nullptr ? S_OK : E_NOTIMPL;
}

HRESULT TExplorerCommand::TopState(IShellItemArray* items, bool okToBeSlow, EXPCMDSTATE& state) {
  state = ECS_HIDDEN;
  HRESULT result = S_OK;
  std::shared_ptr<const CommandMenu> built;
  const std::optional<std::vector<std::wstring>> names = FileSystemNames(items);
  // Read at every opening, as the classic handler reads it: a change shows at the next one.
  const std::string menuPath = names ? menu::GetMenuFilePath() : std::string();
  if (names && !okToBeSlow && !OnFixedDrives(menuPath, *names)) {
    result = E_PENDING;  // asked again off the UI thread; no earlier menu stays till then
  } else if (const std::optional<menu::Selection> selection =
                 names ? ServedSelection(*names) : std::nullopt) {
    built = BuildFor(*selection, menuPath, module_);
    // Shown where the classic handler would run something: an entry matched, and the file
    // can name the objects.
    if (built->table.EntryCount == 0 || !menu::NamedIn(*selection, built->table.kind)) {
      built.reset();
    }
  }
  if (built) state = ECS_ENABLED;
  ::AcquireSRWLockExclusive(&lock_);
  std::swap(menu_, built);
  ::ReleaseSRWLockExclusive(&lock_);
  return result;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetState(IShellItemArray* items, BOOL okToBeSlow,
                                                     EXPCMDSTATE* state) noexcept try {
  if (state == nullptr) return E_POINTER;
  if (node_ == nullptr) return TopState(items, okToBeSlow != FALSE, *state);
  // A text item ("menu.txt could not be read") runs nothing.
  const bool runs = node_->kind != MenuNode::Kind::Item ||
                    menu_->table.Find(menu::EntryIndex(0, node_->id)) != nullptr;
  *state = runs ? ECS_ENABLED : ECS_DISABLED;
  return S_OK;
} catch (...) {
  return CaughtHresult();
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) noexcept try {
  if (node_ == nullptr || node_->kind != MenuNode::Kind::Item) return E_NOTIMPL;
  const menu::MenuData* entry = menu_->table.Find(menu::EntryIndex(0, node_->id));
  if (entry == nullptr) return E_INVALIDARG;
  const TextKind kind = menu_->table.kind;
  // The entry runs on the selection its menu was built for, which the extension lists
  // accepted: any other selection runs nothing.
  const std::optional<menu::Selection> selection = SelectionOf(items);
  if (!selection || *selection != menu_->selection) return E_INVALIDARG;
  return RunOnSelection(*entry, kind, *selection, module_, /*quiet=*/false);
} catch (...) {
  return CaughtHresult();
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetFlags(EXPCMDFLAGS* flags) noexcept {
  if (flags == nullptr) return E_POINTER;
  *flags = node_ == nullptr || node_->kind == MenuNode::Kind::Submenu ? ECF_HASSUBCOMMANDS
           : node_->kind == MenuNode::Kind::Separator                 ? ECF_ISSEPARATOR
                                                                      : ECF_DEFAULT;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
TExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) noexcept try {
  if (commands == nullptr) return E_POINTER;
  *commands = nullptr;
  if (node_ != nullptr && node_->kind != MenuNode::Kind::Submenu) return E_NOTIMPL;
  std::shared_ptr<const CommandMenu> menu = node_ != nullptr ? menu_ : Menu();
  // Before a state was asked for, or where it was hidden: none.
  const std::vector<MenuNode>& nodes = node_ != nullptr ? node_->children
                                       : menu           ? menu->tree
                                                        : kNoCommands;
  auto* list = new TCommandList(server_, std::move(menu), nodes);
  return list->QueryInterface(IID_IEnumExplorerCommand, reinterpret_cast<void**>(commands));
} catch (...) {
  return CaughtHresult();
}

// ---- TExplorerCommandFactory

TExplorerCommandFactory::TExplorerCommandFactory(TComServer& server)
    : TComObjectFactory(server, CLSID_ZelvaneExplorerCommand, /*showErrors=*/true) {}

TComObject* TExplorerCommandFactory::CreateComObject(IUnknown* outer) {
  return new TExplorerCommand(server_, outer, ModuleHandle());
}

}  // namespace zel::shellext
