// The menu file: lines, keywords, quoted fields and the entry table.
// Portable: bytes in, records out. Reading the disk happens behind ByteSource.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/characters.h"
#include "text/text_kind.h"

namespace zel::menu {

// The deliverable a build is for. Each has its own host letter and keyword test.
enum class Host { Tray, Shell };

inline constexpr char kMenuFileSuffix[] = "\\Zelvane\\Menu.txt";

// Raised when a menu file that exists cannot be opened or read. It carries its text in a buffer
// of its own, not a std::string: the deliverables then need no second string implementation
// (std::runtime_error's copy-on-write one).
class MenuReadError : public std::exception {
 public:
  explicit MenuReadError(std::string_view text) { text.copy(text_, sizeof(text_) - 1); }
  const char* what() const noexcept override { return text_; }

 private:
  char text_[96] = {};
};

// A stream of bytes. Read returns 0 at the end and throws MenuReadError on failure.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
};

// Serves bytes held in memory: a text the editor holds, a line it is about to add.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* buffer, std::size_t capacity) override;

 private:
  std::string_view bytes_;
};

// Where menu files come from: the real file system, or any other store of named files.
class MenuFileAccess {
 public:
  virtual ~MenuFileAccess() = default;
  // True when any file-system object, a folder included, stands at the path.
  virtual bool Exists(const std::string& path) = 0;
  // Throws MenuReadError when the object cannot be opened for reading.
  virtual std::unique_ptr<ByteSource> Open(const std::string& path) = 0;
};

// What became of reading a menu file: read, nothing at its path, or not read (it cannot be
// opened or read, or holds what its reader cannot keep unchanged).
enum class MenuFileState { Read, Missing, Unreadable };

// Cuts a byte stream into lines: CR ends a line and takes one LF after it along, a lone
// LF is an ordinary byte, Ctrl-Z ends the file. Streams: only the current line is held.
// A stream that starts with the UTF-8 mark is UTF-8: the mark is not part of the first line,
// and each invalid sequence reads as U+FFFD. Any other stream is read byte for byte.
class LineReader {
 public:
  explicit LineReader(ByteSource& source) : source_(source) {}

  // The next line, without its end; valid until the next call of ReadLine or AtEnd. A line
  // that lies whole in the reader's buffer is not copied.
  std::string_view ReadLine();
  void ReadLine(std::string& line) { line.assign(ReadLine()); }
  // Passes over the lines from here on that hold no skip pair (FindQuietLines) and stand whole
  // in the buffer, unread and unrepaired (repairs never make a pair); how many.
  std::size_t SkipQuietLines();
  // True when the next byte is a Ctrl-Z or there is none. Tested after each line, so an
  // empty file still gives one (empty) line.
  bool AtEnd();
  // After AtEnd: true when a Ctrl-Z ended the file and bytes follow it (they are never read).
  bool HasBytesAfterCtrlZ();
  // The stream's kind, known before its first line is read.
  TextKind Kind();
  // True when the last line held invalid UTF-8, now shown as U+FFFD.
  bool Repaired() const { return repaired_; }

 private:
  bool Fill();  // false at the end of the source
  std::string_view ReadRawLine();

  TextKind kind_ = TextKind::Ansi;
  bool markRead_ = false;
  bool repaired_ = false;
  std::string repairedLine_;
  ByteSource& source_;
  static constexpr std::size_t kBufferSize = 64 * 1024;
  // Left uninitialised: only what the source wrote is ever read.
  std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::string spill_;  // a line that spans refills of the buffer
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  bool exhausted_ = false;
};

// One command entry of the menu file.
struct MenuData {
  std::string Command;
  std::string Arguments;
};

// The entry table of the last build: MenuEntries[k - 1] belongs to the k-th entry item. The
// elements beyond EntryCount are empty, kept from longer builds so that their texts' storage
// serves the next build.
struct MenuTable {
  std::vector<MenuData> MenuEntries;
  std::size_t EntryCount = 0;
  TextKind kind = TextKind::Ansi;  // the texts' code page: that of the file they came from

  // Empties both texts of every element, keeping the length (and the texts' storage).
  void ClearEntries();
  // The next element, counted in EntryCount, for its texts to be written.
  MenuData& Append();
  // The entry at `index`, or null when the index is not below EntryCount.
  const MenuData* Find(std::size_t index) const;
  MenuData* Find(std::size_t index);
};

}  // namespace zel::menu
