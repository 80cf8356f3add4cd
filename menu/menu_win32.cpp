#include "menu/menu_win32.h"

#include <shlobj.h>

#include "win/code_page_win32.h"
#include "win/unique_handle_win32.h"

namespace zel::menu {
namespace {

std::string LastErrorText(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(::GetLastError());
}

class Win32FileSource final : public ByteSource {
 public:
  explicit Win32FileSource(win::UniqueFile file) : file_(std::move(file)) {}

  std::size_t Read(char* buffer, std::size_t capacity) override {
    DWORD read = 0;
    const DWORD want = capacity > 0x10000000 ? 0x10000000 : static_cast<DWORD>(capacity);
    if (!::ReadFile(file_.get(), buffer, want, &read, nullptr)) {
      throw MenuReadError(LastErrorText("ReadFile"));
    }
    return read;
  }

 private:
  win::UniqueFile file_;
};

}  // namespace

std::string GetMenuFilePath() {
  wchar_t folder[MAX_PATH] = {};
  // SHGetFolderPath: on failure the buffer's content is undefined, so it is not used.
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return {};
  }
  const std::optional<std::string> ansi = win::AnsiPathFor(folder);
  return ansi && !ansi->empty() ? *ansi + kMenuFileSuffix : std::string();
}

bool MenuFileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<ByteSource> Win32MenuFileAccess::Open(const std::string& path) {
  // Sharing everything: the editor may hold the file open while we read it. A folder of that
  // name fails here (no FILE_FLAG_BACKUP_SEMANTICS), and so does a file locked by another
  // program.
  win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) throw MenuReadError(LastErrorText("CreateFile"));
  return std::make_unique<Win32FileSource>(std::move(file));
}

MenuSink::Handle HmenuSink::CreateSubmenu() { return FromHmenu(::CreatePopupMenu()); }

void HmenuSink::AppendItem(Handle menu, unsigned id, const std::string& caption) {
  // Failures are not reported: the item is simply missing from the menu.
  win::Widen(caption, kind_, text_);
  ::AppendMenuW(ToHmenu(menu), MF_STRING, id, text_.c_str());
}

void HmenuSink::AppendEntry(Handle menu, unsigned id, const std::string& caption,
                            const MenuData& entry, std::string_view iconField) {
  const HBITMAP bitmap = icons_ != nullptr ? icons_->Bitmap(entry, iconField, kind_) : nullptr;
  if (bitmap == nullptr) return AppendItem(menu, id, caption);
  // One call, as AppendMenuA: by position past the end appends. The menu does not own the
  // bitmap (MENUITEMINFO.hbmpItem); its owner keeps it as long as menus may show it.
  win::Widen(caption, kind_, text_);
  MENUITEMINFOW item{};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
  item.wID = id;
  item.dwTypeData = text_.data();
  item.hbmpItem = bitmap;
  if (::InsertMenuItemW(ToHmenu(menu), static_cast<UINT>(-1), TRUE, &item)) {
    withIcons_.emplace_back(ToHmenu(menu), id);
  }
}

void HmenuSink::IconsOff() {
  MENUITEMINFOA item{};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_BITMAP;
  for (const auto& [menu, id] : withIcons_) ::SetMenuItemInfoA(menu, id, FALSE, &item);
  withIcons_.clear();
  icons_ = nullptr;
}

void HmenuSink::AppendSubmenu(Handle menu, Handle submenu, const std::string& caption) {
  win::UniqueHmenu owned(ToHmenu(submenu));
  win::Widen(caption, kind_, text_);
  if (::AppendMenuW(ToHmenu(menu), MF_POPUP, reinterpret_cast<UINT_PTR>(owned.get()),
                    text_.c_str())) {
    owned.release();  // the parent menu owns it now
  } else if (owned) {
    orphans_.push_back(std::move(owned));
  }
}

void HmenuSink::AppendSeparator(Handle menu) {
  ::AppendMenuA(ToHmenu(menu), MF_SEPARATOR, 0, nullptr);
}

bool HmenuSink::InsertSubmenu(Handle menu, unsigned position, Handle submenu,
                              const std::string& caption) {
  return ToHmenu(submenu) != nullptr &&
         ::InsertMenuA(ToHmenu(menu), position, MF_BYPOSITION | MF_POPUP,
                       static_cast<UINT_PTR>(submenu), caption.c_str()) != FALSE;
}

void HmenuSink::DestroySubmenu(Handle submenu) { ::DestroyMenu(ToHmenu(submenu)); }

BuildResult BuildMenu(HMENU root, BuildRequest request, MenuTable& table, ItemIcons* icons) {
  if (request.path.empty()) request.path = GetMenuFilePath();
  Win32MenuFileAccess files;
  HmenuSink sink(icons);
  return BuildMenu(request, files, sink, HmenuSink::FromHmenu(root), table);
}

std::optional<BuildResult> BuildSubmenu(HMENU menu, unsigned position, const std::string& caption,
                                        BuildRequest request, MenuTable& table, ItemIcons* icons) {
  if (request.path.empty()) request.path = GetMenuFilePath();
  Win32MenuFileAccess files;
  HmenuSink sink(icons);
  return BuildSubmenu(request, files, sink, HmenuSink::FromHmenu(menu), position, caption, table);
}

}  // namespace zel::menu
