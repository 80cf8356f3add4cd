// Building a menu from the menu file, in the tray form and the shell form.
// The decisions live here; a MenuSink turns them into a real HMENU or a recorded tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menu/line_scan.h"
#include "menu/menu_file.h"
#include "menu/selected_object.h"

namespace zel::menu {

// Receives the items of a build. Handles are the sink's own (an HMENU, a tree index).
class MenuSink {
 public:
  using Handle = std::uintptr_t;
  virtual ~MenuSink() = default;
  virtual Handle CreateSubmenu() = 0;
  virtual void AppendItem(Handle menu, unsigned id, const std::string& caption) = 0;
  // An entry's item; `iconField` is its fifth field, valid for this call only. Sinks that
  // show no icons append it as any item.
  virtual void AppendEntry(Handle menu, unsigned id, const std::string& caption,
                           const MenuData& /*entry*/, std::string_view /*iconField*/) {
    AppendItem(menu, id, caption);
  }
  // The file turns icons off: no item of this build shows one, those appended before included.
  virtual void IconsOff() {}
  // After this call the parent menu owns the submenu.
  virtual void AppendSubmenu(Handle menu, Handle submenu, const std::string& caption) = 0;
  virtual void AppendSeparator(Handle menu) = 0;
  // Inserts the submenu at a position of a menu that is not the sink's own (the shell's).
  // True when the menu took it; the submenu is otherwise still the caller's to destroy.
  virtual bool InsertSubmenu(Handle menu, unsigned position, Handle submenu,
                             const std::string& caption) = 0;
  // Destroys a submenu that no menu took, with everything appended to it.
  virtual void DestroySubmenu(Handle submenu) = 0;
  // The code page of the captions: told once, before the file's first line.
  virtual void SetTextKind(TextKind) {}
};

inline constexpr unsigned kTrayIdBase = 1032;      // the first tray entry is 1033
inline constexpr unsigned kMaxCommandId = 0xFFFF;  // WM_COMMAND carries 16 bits

// Entries are numbered from one past a base: the tray's kTrayIdBase, the shell's idCmdFirst
// (which hands back offsets from it: there the base is 0). Entry index k has base + k + 1.
constexpr std::uint64_t EntryId(unsigned base, std::size_t index) {
  return std::uint64_t{base} + index + 1;
}
// The entry index of identifier `id`; SIZE_MAX, which no table holds, at or below the base.
constexpr std::size_t EntryIndex(unsigned base, std::uint64_t id) {
  return id > base ? static_cast<std::size_t>(id - base - 1) : SIZE_MAX;
}
inline constexpr char kNotFoundText[] = "menu.txt not found";
inline constexpr char kUnreadableText[] = "menu.txt could not be read";
// The shell form's "Add to..." entry: a line that is this word alone makes it, and it is also
// the entry's command, which starts the editor (kEditorProgram) on the selected object.
inline constexpr char kAddWord[] = "Add";
inline constexpr char kAddCaption[] = "Add to...";
// The menu editor, started from the folder of the deliverable that starts it.
inline constexpr char kEditorProgram[] = "Editor.exe";

struct BuildRequest {
  Host host = Host::Tray;
  std::string path;                  // the menu file
  unsigned idCmdFirst = 0;           // shell form: the shell's first free identifier
  unsigned idCmdLast = 0xFFFFFFFFu;  // shell form: no entry identifier goes above it
  Selection selected = Selection(1);  // shell form: what the extension lists filter on
};

struct BuildResult {
  MenuFileState file = MenuFileState::Read;
  unsigned addedCount = 0;         // shell form: items appended at any depth
  std::size_t droppedEntries = 0;  // entries left out: their identifier would not fit
  std::string error;               // why an existing file could not be read
  std::size_t hotkeyLine = 0;      // the first hotkey line's number (from 1); 0: none
  std::string hotkeyText;          // its field 0: the key combination as written
};

// What one line did to the build.
enum class LineAction {
  Ignored,
  Comment,
  Separator,
  Entry,
  AddEntry,
  EntryDropped,  // an entry whose identifier would be out of range
  SubmenuOpened,
  SkipStarted,  // a submenu for the other host, or whose extension list did not match
  SubmenuClosed,
  EndAtRoot,  // an end line with no submenu open
  Skipped,    // a line inside a skipped submenu
  SkipNested,
  SkipEnded,
  IconsOff,  // the "icons off" line
};

// The state of one build. Callers own it, so concurrent builds never share anything.
class MenuBuilder {
 public:
  // `kind`: the file's, as its reader found it; the table and the sink are told.
  MenuBuilder(const BuildRequest& request, MenuSink& sink, MenuSink::Handle root, MenuTable& table,
              TextKind kind);

  LineAction Feed(std::string_view line);
  // Counts lines passed over while skipping that hold no skip pair: they do nothing else.
  void PassQuietLines(std::size_t count) { lines_ += count; }

  unsigned AddedCount() const { return addedCount_; }
  std::size_t DroppedEntries() const { return dropped_; }
  std::size_t Depth() const { return menuStack_.size() - 1; }
  bool Skipping() const { return skipping_; }
  // The identifier the next entry would get, 0 when it would be out of range.
  unsigned NextEntryId() const;
  // The first hotkey line fed (IsHotkeyLine): its number, 0 when none, and its field 0.
  std::size_t HotkeyLine() const { return hotkeyLine_; }
  const std::string& HotkeyText() const { return hotkeyText_; }

 private:
  LineAction FeedLine(std::string_view line, const LineScan& scan);
  LineAction FeedSkipping(const LineScan& scan);
  LineAction AppendEntry(const QuotedFields& fields);
  void OpenSubmenu(const std::string& caption);
  LineAction CloseSubmenu();

  const BuildRequest& request_;
  const TextKind kind_;
  MenuSink& sink_;
  MenuTable& table_;
  std::vector<MenuSink::Handle> menuStack_;
  bool skipping_ = false;
  std::size_t skipDepth_ = 0;
  unsigned addedCount_ = 0;
  std::size_t dropped_ = 0;
  std::string caption_;  // the caption of the line being fed, in storage that serves every line
  std::size_t lines_ = 0;
  std::size_t hotkeyLine_ = 0;
  std::string hotkeyText_;
  std::string icon_;  // its fifth field, likewise
};

// Feeds every line `reader` reads to `builder` (made for the reader's kind), as a build does;
// throws MenuReadError when the source fails.
void FeedLines(MenuBuilder& builder, LineReader& reader);

// Reads the menu file and builds the menu under `root`, refilling `table`.
// A missing file gives the single "menu.txt not found" item, an unreadable one the
// "menu.txt could not be read" item; neither throws.
BuildResult BuildMenu(const BuildRequest& request, MenuFileAccess& files, MenuSink& sink,
                      MenuSink::Handle root, MenuTable& table);

// The shell form's submenu: built complete in a submenu of its own, then inserted into
// `parent` at `position` as `caption`. Inserting comes last, so nothing can fail once the
// shell's menu holds identifiers: a build that throws leaves `parent` as it was and `table`
// empty, and so does a failed insertion (nothing then: the caller reports it).
std::optional<BuildResult> BuildSubmenu(const BuildRequest& request, MenuFileAccess& files,
                                        MenuSink& sink, MenuSink::Handle parent, unsigned position,
                                        const std::string& caption, MenuTable& table);

}  // namespace zel::menu
