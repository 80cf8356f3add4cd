#include "menu/menu_build.h"

#include <cstdint>

namespace zel::menu {
namespace {

constexpr std::string_view kComment = "//";

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

bool MatchesSelection(std::string_view list, std::string_view selectedPath) {
  if (list == ",") return true;
  const std::string_view ext =
      selectedPath.size() > 3 ? selectedPath.substr(selectedPath.size() - 3) : selectedPath;
  for (std::size_t comma = list.find(','); comma != std::string_view::npos;
       comma = list.find(',')) {
    if (list.substr(0, comma) == ext) return true;
    list.remove_prefix(comma + 1);
  }
  return false;
}

MenuBuilder::MenuBuilder(const BuildRequest& request, MenuSink& sink, MenuSink::Handle root,
                         MenuTable& table)
    : request_(request), sink_(sink), table_(table), menuStack_{root} {}

unsigned MenuBuilder::NextEntryId() const {
  const std::uint64_t k = static_cast<std::uint64_t>(table_.EntryCount) + 1;
  if (request_.host == Host::Tray) {
    const std::uint64_t id = kTrayIdBase + k;
    return id <= kMaxCommandId ? static_cast<unsigned>(id) : 0;
  }
  const std::uint64_t id = request_.idCmdFirst + k;
  return id <= request_.idCmdLast ? static_cast<unsigned>(id) : 0;
}

LineAction MenuBuilder::AppendEntry(std::string caption, std::string command,
                                    std::string arguments) {
  const unsigned id = NextEntryId();
  if (id == 0) {
    ++dropped_;
    return LineAction::EntryDropped;
  }
  sink_.AppendItem(menuStack_.back(), id, caption);
  table_.Append(std::move(command), std::move(arguments));
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
  const std::string lowered = LowerAscii(line);
  if (Contains(lowered, kComment)) return LineAction::Comment;
  if (skipping_) return FeedSkipping(lowered);
  return FeedLine(line, lowered);
}

LineAction MenuBuilder::FeedLine(std::string_view line, std::string_view lowered) {
  const Host host = request_.host;
  // Only the shell form has the Add line and looks at extension lists; for the tray form
  // every list matches.
  const bool shell = host == Host::Shell;
  const auto matches = [&](std::size_t listField) {
    return !shell || MatchesSelection(GetQuotedField(line, listField) + ",", request_.selectedPath);
  };
  if (shell && line == kAddLine) {
    const LineAction action = AppendEntry(kAddCaption, kAddCommand, std::string());
    return action == LineAction::Entry ? LineAction::AddEntry : action;
  }
  if (IsLoweredKeyword("sep", lowered, false, host)) {
    if (shell) ++addedCount_;
    sink_.AppendSeparator(menuStack_.back());
    return LineAction::Separator;
  }
  if (IsLoweredKeyword("item", lowered, false, host) && matches(3)) {
    return AppendEntry(GetQuotedField(line, 0), GetQuotedField(line, 1),
                       GetQuotedField(line, 2));
  }
  const bool ownSub = IsLoweredKeyword("sub", lowered, false, host);
  if (ownSub && matches(1)) {
    OpenSubmenu(GetQuotedField(line, 0));
    return LineAction::SubmenuOpened;
  }
  // A submenu whose list did not match, or one meant for the other program.
  if (ownSub || IsLoweredKeyword("sub", lowered, true, host)) {
    skipping_ = true;
    skipDepth_ = 1;
    return LineAction::SkipStarted;
  }
  if (IsLoweredKeyword("end", lowered, false, host)) return CloseSubmenu();
  return LineAction::Ignored;
}

LineAction MenuBuilder::FeedSkipping(std::string_view lowered) {
  const Host host = request_.host;
  if (IsLoweredKeyword("sub", lowered, false, host) || IsLoweredKeyword("sub", lowered, true, host)) {
    ++skipDepth_;
    return LineAction::SkipNested;
  }
  if (IsLoweredKeyword("end", lowered, false, host) || IsLoweredKeyword("end", lowered, true, host)) {
    if (--skipDepth_ == 0) {
      skipping_ = false;
      return LineAction::SkipEnded;
    }
    return LineAction::Skipped;
  }
  return LineAction::Skipped;
}

void FeedLines(MenuBuilder& builder, ByteSource& source) {
  LineReader reader(source);
  std::string line;
  do {
    reader.ReadLine(line);
    builder.Feed(line);
  } while (!reader.AtEnd());
}

BuildResult BuildMenu(const BuildRequest& request, MenuFileAccess& files, MenuSink& sink,
                      MenuSink::Handle root, MenuTable& table) {
  BuildResult result;
  // Both forms start the table over, so an identifier of an earlier build that is no longer
  // on screen can never reach a stale entry.
  table.EntryCount = 0;
  table.ClearEntries();
  if (request.path.empty() || !files.Exists(request.path)) {
    result.file = MenuFileState::Missing;
    sink.AppendItem(root, 0, kNotFoundText);
    return result;
  }
  MenuBuilder builder(request, sink, root, table);
  try {
    const std::unique_ptr<ByteSource> source = files.Open(request.path);
    FeedLines(builder, *source);
  } catch (const MenuReadError& error) {
    // What was built before the failure stays: its items and entries agree with each other.
    result.file = MenuFileState::Unreadable;
    result.error = error.what();
    sink.AppendItem(root, 0, kUnreadableText);
  }
  result.addedCount = builder.AddedCount();
  result.droppedEntries = builder.DroppedEntries();
  return result;
}

std::optional<BuildResult> BuildSubmenu(const BuildRequest& request, MenuFileAccess& files,
                                        MenuSink& sink, MenuSink::Handle parent,
                                        unsigned position, const std::string& caption,
                                        MenuTable& table) {
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
