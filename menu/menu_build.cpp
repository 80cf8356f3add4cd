#include "menu/menu_build.h"

#include <algorithm>
#include <cstdint>

#include "menu/hotkey.h"
#include "menu/menu_icons.h"

namespace zel::menu {
namespace {

// The extension filter on a list as it stands in its field: every element compared with the
// last three characters of the path; an empty list matches everything.
bool MatchesExtensions(std::string_view list, std::string_view selectedPath, TextKind kind) {
  if (list.empty()) return true;
  const std::string_view ext = kind == TextKind::Utf8 ? LastCharacters(selectedPath, 3)
                               : selectedPath.size() > 3
                                   ? selectedPath.substr(selectedPath.size() - 3)
                                   : selectedPath;
  for (;;) {
    const std::size_t comma = list.find(',');
    if (list.substr(0, comma) == ext) return true;
    if (comma == std::string_view::npos) return false;
    list.remove_prefix(comma + 1);
  }
}

// Field n of `fields` as an extension list. Quotes in a list are rare: only then does the
// list need a collapsed copy.
bool Matches(const QuotedFields& fields, std::size_t n, std::string_view selectedPath,
             TextKind kind) {
  if (!fields.quoteRuns) return MatchesExtensions(fields.field[n], selectedPath, kind);
  return MatchesExtensions(CollapseQuotes(fields.field[n]), selectedPath, kind);
}

}  // namespace

MenuBuilder::MenuBuilder(const BuildRequest& request, MenuSink& sink, MenuSink::Handle root,
                         MenuTable& table, TextKind kind)
    : request_(request), kind_(kind), sink_(sink), table_(table), menuStack_{root} {
  table_.kind = kind;
  sink_.SetTextKind(kind);
}

unsigned MenuBuilder::NextEntryId() const {
  const bool tray = request_.host == Host::Tray;
  const std::uint64_t id = EntryId(tray ? kTrayIdBase : request_.idCmdFirst, table_.EntryCount);
  return id <= (tray ? kMaxCommandId : request_.idCmdLast) ? static_cast<unsigned>(id) : 0;
}

LineAction MenuBuilder::AppendEntry(const QuotedFields& fields) {
  const unsigned id = NextEntryId();
  if (id == 0) {
    ++dropped_;
    return LineAction::EntryDropped;
  }
  fields.Text(0, caption_);
  MenuData& entry = table_.Append();
  fields.Text(1, entry.Command);
  fields.Text(2, entry.Arguments);
  fields.Text(4, icon_);
  sink_.AppendEntry(menuStack_.back(), id, caption_, entry, icon_);
  if (request_.host == Host::Shell) ++addedCount_;
  return LineAction::Entry;
}

void MenuBuilder::OpenSubmenu(const std::string& caption) {
  const MenuSink::Handle submenu = sink_.CreateSubmenu();
  sink_.AppendSubmenu(menuStack_.back(), submenu, caption);
  menuStack_.push_back(submenu);
  if (request_.host == Host::Shell) ++addedCount_;
}

LineAction MenuBuilder::CloseSubmenu() {
  if (menuStack_.size() == 1) return LineAction::EndAtRoot;
  menuStack_.pop_back();
  return LineAction::SubmenuClosed;
}

LineAction MenuBuilder::Feed(std::string_view line) {
  const LineScan scan(line);
  ++lines_;
  if (scan.Comment()) return LineAction::Comment;
  const LineAction action = skipping_ ? FeedSkipping(scan) : FeedLine(line, scan);
  // The icons line and the hotkey line do nothing else (they hold no keyword), and count
  // wherever they stand, even in a skipped submenu.
  if (action != LineAction::Ignored && action != LineAction::Skipped) return action;
  if (IsIconsOffLine(line)) {
    sink_.IconsOff();  // the sink shows no icon of this build from now on
    return LineAction::IconsOff;
  }
  if (hotkeyLine_ == 0 && IsHotkeyLine(line, scan)) {  // the first one counts
    hotkeyLine_ = lines_;
    scan.Fields().Text(0, hotkeyText_);
  }
  return action;
}

LineAction MenuBuilder::FeedLine(std::string_view line, const LineScan& scan) {
  const Host host = request_.host;
  // Only the shell form has the Add line and looks at extension lists, which must accept every
  // selected object; for the tray form every list matches.
  const bool shell = host == Host::Shell;
  const auto matches = [&](const QuotedFields& fields, std::size_t list) {
    const Selection& selected = request_.selected;
    return !shell || std::all_of(selected.begin(), selected.end(), [&](const SelectedObject& o) {
      return Matches(fields, list, o.Path(kind_), kind_);
    });
  };
  if (shell && line == kAddWord) {
    QuotedFields add;
    add.field[0] = kAddCaption;
    add.field[1] = kAddWord;
    const LineAction action = AppendEntry(add);
    return action == LineAction::Entry ? LineAction::AddEntry : action;
  }
  if (scan.Names(Keyword::Sep, host)) {
    if (shell) ++addedCount_;
    sink_.AppendSeparator(menuStack_.back());
    return LineAction::Separator;
  }
  if (scan.Names(Keyword::Item, host)) {
    const QuotedFields fields = scan.Fields();
    if (matches(fields, 3)) return AppendEntry(fields);
  }
  const bool ownSub = scan.Names(Keyword::Sub, host);
  if (ownSub) {
    const QuotedFields fields = scan.Fields();
    if (matches(fields, 1)) {
      fields.Text(0, caption_);
      OpenSubmenu(caption_);
      return LineAction::SubmenuOpened;
    }
  }
  // A submenu whose list did not match, or one meant for the other program.
  if (ownSub || scan.Names(Keyword::Sub, host, true)) {
    skipping_ = true;
    skipDepth_ = 1;
    return LineAction::SkipStarted;
  }
  if (scan.Names(Keyword::End, host)) return CloseSubmenu();
  return LineAction::Ignored;
}

LineAction MenuBuilder::FeedSkipping(const LineScan& scan) {
  const Host host = request_.host;
  if (scan.Names(Keyword::Sub, host) || scan.Names(Keyword::Sub, host, true)) {
    ++skipDepth_;
    return LineAction::SkipNested;
  }
  if (scan.Names(Keyword::End, host) || scan.Names(Keyword::End, host, true)) {
    if (--skipDepth_ == 0) {
      skipping_ = false;
      return LineAction::SkipEnded;
    }
    return LineAction::Skipped;
  }
  return LineAction::Skipped;
}

void FeedLines(MenuBuilder& builder, LineReader& reader) {
  do {
    builder.Feed(reader.ReadLine());
    // A skipped submenu's lines that change nothing are passed over a buffer at a time.
    if (builder.Skipping()) builder.PassQuietLines(reader.SkipQuietLines());
  } while (!reader.AtEnd());
}

BuildResult BuildMenu(const BuildRequest& request, MenuFileAccess& files, MenuSink& sink,
                      MenuSink::Handle root, MenuTable& table) {
  BuildResult result;
  // Both forms start the table over, so an identifier of an earlier build that is no longer
  // on screen can never reach a stale entry.
  table.EntryCount = 0;
  table.kind = TextKind::Ansi;
  table.ClearEntries();
  if (request.path.empty() || !files.Exists(request.path)) {
    result.file = MenuFileState::Missing;
    sink.AppendItem(root, 0, kNotFoundText);
    return result;
  }
  std::optional<MenuBuilder> builder;
  try {
    const std::unique_ptr<ByteSource> source = files.Open(request.path);
    LineReader reader(*source);
    FeedLines(builder.emplace(request, sink, root, table, reader.Kind()), reader);
  } catch (const MenuReadError& error) {
    // What was built before the failure stays: its items and entries agree with each other.
    result.file = MenuFileState::Unreadable;
    result.error = error.what();
    sink.AppendItem(root, 0, kUnreadableText);
  }
  if (!builder) return result;
  result.addedCount = builder->AddedCount();
  result.droppedEntries = builder->DroppedEntries();
  result.hotkeyLine = builder->HotkeyLine();
  result.hotkeyText = builder->HotkeyText();
  return result;
}

std::optional<BuildResult> BuildSubmenu(const BuildRequest& request, MenuFileAccess& files,
                                        MenuSink& sink, MenuSink::Handle parent, unsigned position,
                                        const std::string& caption, MenuTable& table) {
  const MenuSink::Handle submenu = sink.CreateSubmenu();
  const auto abandon = [&] {
    // No identifier of this build reaches the shell: none may lead to an entry.
    table.EntryCount = 0;
    sink.DestroySubmenu(submenu);
  };
  BuildResult result;
  try {
    result = BuildMenu(request, files, sink, submenu, table);
  } catch (...) {
    abandon();
    throw;
  }
  if (!sink.InsertSubmenu(parent, position, submenu, caption)) {
    abandon();
    return std::nullopt;
  }
  return result;
}

}  // namespace zel::menu
