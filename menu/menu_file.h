// The menu file: lines, keywords, quoted fields and the entry table.
// Portable: bytes in, records out. Reading the disk happens behind ByteSource.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zel::menu {

// The deliverable a build is for. Each has its own host letter and keyword test.
enum class Host { Tray, Shell };

inline constexpr char kMenuFileSuffix[] = "\\Zelvane\\Menu.txt";

// Raised when a menu file that exists cannot be opened or read.
class MenuReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A stream of bytes. Read returns 0 at the end and throws MenuReadError on failure.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
};

// Serves bytes held in memory; tests and the fuzzer build menus from literals with it.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* buffer, std::size_t capacity) override;

 private:
  std::string_view bytes_;
};

// Where menu files come from: the real file system, or anything a test provides.
class MenuFileAccess {
 public:
  virtual ~MenuFileAccess() = default;
  // True when any file-system object, a folder included, stands at the path.
  virtual bool Exists(const std::string& path) = 0;
  // Throws MenuReadError when the object cannot be opened for reading.
  virtual std::unique_ptr<ByteSource> Open(const std::string& path) = 0;
};

// Cuts a byte stream into lines: CR ends a line and takes one LF after it along, a lone
// LF is an ordinary byte, Ctrl-Z ends the file. Streams: only the current line is held.
class LineReader {
 public:
  explicit LineReader(ByteSource& source) : source_(source) {}

  // Reads the next line (without its end) into `line`.
  void ReadLine(std::string& line);
  // True when the next byte is a Ctrl-Z or there is none. Tested after each line, so an
  // empty file still gives one (empty) line.
  bool AtEnd();
  // After AtEnd: true when a Ctrl-Z ended the file and bytes follow it (they are never read).
  bool HasBytesAfterCtrlZ();

 private:
  bool Fill();  // false at the end of the source

  ByteSource& source_;
  std::vector<char> buffer_ = std::vector<char>(64 * 1024);
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  bool exhausted_ = false;
};

// ASCII A-Z lowered; every other byte as it is, whatever the code page.
std::string LowerAscii(std::string_view text);

// The keyword test: `keyword` in lower case ("sep", "item", "sub", "end"), tested as a
// substring of the lowered line with the host letters of `host` (swapped when
// `forOtherHost` is set).
bool IsMenuKeyword(std::string_view keyword, std::string_view line, bool forOtherHost, Host host);
// The same on a line that is already lowered, so a line is lowered once for all its tests.
bool IsLoweredKeyword(std::string_view keyword, std::string_view loweredLine, bool forOtherHost,
                      Host host);

// Replaces `search` by `replacement`, starting over from the beginning after every
// replacement, until `search` no longer occurs. An empty `search` changes nothing.
std::string ReplaceAll(std::string text, std::string_view search, std::string_view replacement);

// Field n (from 0) of a line, quote runs collapsed to one quote; empty when missing.
std::string GetQuotedField(std::string_view line, std::size_t n);

// True when the quote at `pos` is a field quote: neither neighbour is a quote.
bool IsFieldQuote(std::string_view line, std::size_t pos);

// One command entry of the menu file.
struct MenuData {
  std::string Command;
  std::string Arguments;
};

// The entry table of the last build: MenuEntries[k - 1] belongs to the k-th entry item.
struct MenuTable {
  std::vector<MenuData> MenuEntries;
  std::size_t EntryCount = 0;

  // Empties both texts of every element, keeping the length.
  void ClearEntries();
  // Appends an entry: EntryCount + 1, and the table's length follows it.
  void Append(std::string command, std::string arguments);
  // The entry at `index`, or null when the index is not below EntryCount.
  const MenuData* Find(std::size_t index) const;
  MenuData* Find(std::size_t index);
};

}  // namespace zel::menu
