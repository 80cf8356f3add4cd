#include "menu/menu_file.h"

#include <algorithm>
#include <cstring>

#include "menu/line_scan.h"

namespace zel::menu {
namespace {

constexpr char kLf = '\n';
constexpr char kCtrlZ = '\x1a';

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
  size_ = source_.Read(buffer_.get(), kBufferSize);
  if (size_ == 0) exhausted_ = true;
  return size_ != 0;
}

TextKind LineReader::Kind() {
  if (markRead_) return kind_;
  markRead_ = true;
  // The mark may arrive in pieces: gather its three bytes at the buffer's start.
  while (Fill() && size_ < kUtf8Mark.size() &&
         std::string_view(buffer_.get(), size_) == kUtf8Mark.substr(0, size_)) {
    const std::size_t more = source_.Read(buffer_.get() + size_, kBufferSize - size_);
    if (more == 0) break;
    size_ += more;
  }
  kind_ = KindOfBytes(std::string_view(buffer_.get(), size_));
  if (kind_ == TextKind::Utf8) {
    pos_ = kUtf8Mark.size();
  }
  return kind_;
}

std::string_view LineReader::ReadLine() {
  const std::string_view line = ReadRawLine();  // reads the mark first
  repaired_ = kind_ == TextKind::Utf8 && RepairUtf8(line, repairedLine_);
  return repaired_ ? std::string_view(repairedLine_) : line;
}

std::string_view LineReader::ReadRawLine() {
  Kind();
  spill_.clear();
  bool spilled = false;
  while (Fill()) {
    const char* begin = buffer_.get() + pos_;
    const std::size_t left = size_ - pos_;
    const std::size_t length = FindLineEnd(begin, left);
    pos_ += length;
    if (length == left) {  // the line goes on in the next buffer
      spill_.append(begin, length);
      spilled = true;
      continue;
    }
    const bool atCtrlZ = begin[length] == kCtrlZ;
    // The line stays where it is unless the buffer is refilled under it: when it spans
    // buffers, or when its CR is the buffer's last byte and the LF may follow in the next.
    if (spilled || (!atCtrlZ && pos_ + 1 == size_)) {
      spill_.append(begin, length);
      spilled = true;
    }
    const std::string_view line =
        spilled ? std::string_view(spill_) : std::string_view(begin, length);
    if (atCtrlZ) return line;  // left in place: AtEnd sees it
    ++pos_;                    // the CR
    if (Fill() && buffer_[pos_] == kLf) ++pos_;
    return line;
  }
  return spill_;
}

std::size_t LineReader::SkipQuietLines() {
  if (pos_ >= size_) return 0;
  const QuietLines quiet = FindQuietLines(buffer_.get() + pos_, size_ - pos_);
  pos_ += quiet.size;  // a byte follows the last CR
  if (quiet.lines != 0 && buffer_[pos_] == kLf) ++pos_;
  return quiet.lines;
}

bool LineReader::AtEnd() { return !Fill() || buffer_[pos_] == kCtrlZ; }

bool LineReader::HasBytesAfterCtrlZ() {
  if (!Fill() || buffer_[pos_] != kCtrlZ) return false;
  ++pos_;
  return Fill();
}

void MenuTable::ClearEntries() {
  for (MenuData& entry : MenuEntries) {
    entry.Command.clear();
    entry.Arguments.clear();
  }
}

MenuData& MenuTable::Append() {
  if (MenuEntries.size() <= EntryCount) MenuEntries.emplace_back();
  return MenuEntries[EntryCount++];
}

const MenuData* MenuTable::Find(std::size_t index) const {
  return index < EntryCount && index < MenuEntries.size() ? &MenuEntries[index] : nullptr;
}

MenuData* MenuTable::Find(std::size_t index) {
  return index < EntryCount && index < MenuEntries.size() ? &MenuEntries[index] : nullptr;
}

}  // namespace zel::menu
