#include "menu/menu_file.h"

#include <algorithm>
#include <cstring>

namespace zel::menu {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kCtrlZ = '\x1a';
constexpr char kQuote = '\'';

char LowerByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// True when `letter` directly followed by `keyword` occurs in `text`.
bool ContainsLettered(std::string_view text, char letter, std::string_view keyword) {
  for (std::size_t at = text.find(keyword, 1); at != std::string_view::npos;
       at = text.find(keyword, at + 1)) {
    if (text[at - 1] == letter) return true;
  }
  return false;
}

}  // namespace

std::size_t MemorySource::Read(char* buffer, std::size_t capacity) {
  const std::size_t n = std::min(capacity, bytes_.size());
  std::memcpy(buffer, bytes_.data(), n);
  bytes_.remove_prefix(n);
  return n;
}

bool LineReader::Fill() {
  if (pos_ < size_) return true;
  if (exhausted_) return false;
  pos_ = 0;
  size_ = source_.Read(buffer_.data(), buffer_.size());
  if (size_ == 0) exhausted_ = true;
  return size_ != 0;
}

void LineReader::ReadLine(std::string& line) {
  line.clear();
  while (Fill()) {
    const char* begin = buffer_.data() + pos_;
    const char* end = buffer_.data() + size_;
    const char* stop = begin;
    while (stop != end && *stop != kCr && *stop != kCtrlZ) ++stop;
    line.append(begin, stop);
    pos_ += static_cast<std::size_t>(stop - begin);
    if (stop == end) continue;
    if (*stop == kCtrlZ) return;  // left in place: AtEnd sees it
    ++pos_;                       // the CR
    if (Fill() && buffer_[pos_] == kLf) ++pos_;
    return;
  }
}

bool LineReader::AtEnd() { return !Fill() || buffer_[pos_] == kCtrlZ; }

bool LineReader::HasBytesAfterCtrlZ() {
  if (!Fill() || buffer_[pos_] != kCtrlZ) return false;
  ++pos_;
  return Fill();
}

std::string LowerAscii(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = LowerByte(c);
  return lowered;
}

bool IsLoweredKeyword(std::string_view keyword, std::string_view loweredLine, bool forOtherHost,
                      Host host) {
  char own = host == Host::Tray ? 't' : 'c';
  char other = host == Host::Tray ? 'c' : 't';
  if (forOtherHost) std::swap(own, other);
  // The shell form takes a line that names it by letter even when the other letter is there
  // too; the tray form refuses any line lettered for the other host.
  if (host == Host::Shell && ContainsLettered(loweredLine, own, keyword)) return true;
  return Contains(loweredLine, keyword) && !ContainsLettered(loweredLine, other, keyword);
}

bool IsMenuKeyword(std::string_view keyword, std::string_view line, bool forOtherHost, Host host) {
  return IsLoweredKeyword(keyword, LowerAscii(line), forOtherHost, host);
}

std::string ReplaceAll(std::string text, std::string_view search, std::string_view replacement) {
  if (search.empty()) return text;
  // A replacement that holds the search text would never run out of matches: one pass then.
  const bool onePass = replacement.find(search) != std::string_view::npos;
  // Restarting from the front after each replacement is the rule; resuming at the place of
  // the last replacement finds the same next match, as text before it holds none.
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(search, from);
    if (at == std::string::npos) return text;
    text.replace(at, search.size(), replacement);
    if (onePass) {
      from = at + replacement.size();
    } else {
      from = at >= search.size() ? at - search.size() + 1 : 0;
    }
  }
}

bool IsFieldQuote(std::string_view line, std::size_t pos) {
  if (line[pos] != kQuote) return false;
  const bool quoteBefore = pos > 0 && line[pos - 1] == kQuote;
  const bool quoteAfter = pos + 1 < line.size() && line[pos + 1] == kQuote;
  return !quoteBefore && !quoteAfter;
}

std::string GetQuotedField(std::string_view line, std::size_t n) {
  std::size_t counter = 0;
  bool inside = false;
  for (std::size_t pos = 0; pos < line.size(); ++pos) {
    if (!IsFieldQuote(line, pos)) continue;
    if (counter == n) {
      for (std::size_t close = pos + 1; close < line.size(); ++close) {
        if (IsFieldQuote(line, close)) {
          return ReplaceAll(std::string(line.substr(pos + 1, close - pos - 1)), "''", "'");
        }
      }
    }
    if (inside) {
      inside = false;
      ++counter;
    } else {
      inside = true;
    }
  }
  return {};
}

void MenuTable::ClearEntries() {
  for (MenuData& entry : MenuEntries) {
    entry.Command.clear();
    entry.Arguments.clear();
  }
}

void MenuTable::Append(std::string command, std::string arguments) {
  ++EntryCount;
  MenuEntries.resize(EntryCount);
  MenuEntries.back().Command = std::move(command);
  MenuEntries.back().Arguments = std::move(arguments);
}

const MenuData* MenuTable::Find(std::size_t index) const {
  return index < EntryCount && index < MenuEntries.size() ? &MenuEntries[index] : nullptr;
}

MenuData* MenuTable::Find(std::size_t index) {
  return index < EntryCount && index < MenuEntries.size() ? &MenuEntries[index] : nullptr;
}

}  // namespace zel::menu
