// What one line of the menu file says: its comment mark, its keywords and its quoted fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "menu/menu_file.h"

namespace zel::menu {

// The first five fields of a line as they stand between their field quotes, quote runs not
// yet collapsed; empty where a field is missing. The fifth names an entry's icon.
struct QuotedFields {
  std::string_view field[5];
  bool quoteRuns = false;  // some field may hold a run of quotes

  // Field n's text, every run of quotes collapsed to one quote, into `text`'s storage.
  void Text(std::size_t n, std::string& text) const;
};

enum class Keyword { Sep, Item, Sub, End };

// The bytes of a 16-byte block a scan stops at, bit i for byte i.
struct BlockMarks {
  std::uint32_t quotes = 0;
  std::uint32_t fieldQuotes = 0;  // quotes with no quote beside them
  // Bytes that end the comment mark "//" or the last two letters of a keyword ("ep", "em",
  // "ub", "nd", in either case).
  std::uint32_t marks = 0;
};
inline constexpr std::size_t kScanBlock = 16;
// A block's neighbours: bytes[-1] and bytes[16] are read unless `edges` says there is no such
// byte (the block starts or ends its line). Vector instructions where the target has them;
// PortableMarksOf gives the same answer eight bytes at a time.
inline constexpr unsigned kNoByteBefore = 1, kNoByteAfter = 2;
BlockMarks MarksOf(const char* bytes, unsigned edges);
BlockMarks PortableMarksOf(const char* bytes, unsigned edges);

// Where a line that starts at `bytes` ends: at its first CR or Ctrl-Z, or after all `size`
// bytes. Vector instructions where the target has them, as MarksOf.
std::size_t FindLineEnd(const char* bytes, std::size_t size);
std::size_t PortableFindLineEnd(const char* bytes, std::size_t size);

// The lines at the start of `bytes` that hold no skip pair and no Ctrl-Z, each ended by a CR
// with a byte after it (the LF that may follow a CR is the reader's): how many, and the bytes
// they take up to the last one's CR. The skip pairs are "ub", "nd", "tk" and "ff", letters in
// either case: the ends of "sub" and "end", and a pair of the hotkey line and of the icons-off
// line. A line without any changes nothing inside a skipped submenu (a comment there changes
// nothing either), so it need not be read. Vector instructions where the target has them, as
// MarksOf.
struct QuietLines {
  std::size_t lines = 0;
  std::size_t size = 0;
};
QuietLines FindQuietLines(const char* bytes, std::size_t size);
QuietLines PortableFindQuietLines(const char* bytes, std::size_t size);

// One pass over a line finds everything a build asks of it: the comment mark "//", each
// keyword (ASCII letters of either case) with the host letters before it, and the field
// quotes (quotes with no quote beside them). The line must outlive the scan.
class LineScan {
 public:
  explicit LineScan(std::string_view line);

  bool Comment() const { return comment_; }
  // The keyword test with the host letters of `host` ("t" the tray's, "c" the shell's),
  // swapped when `forOtherHost` is set. The shell form takes a line that names it by letter
  // even when the other letter is there too; the tray form refuses any line lettered for the
  // other host.
  bool Names(Keyword keyword, Host host, bool forOtherHost = false) const {
    const bool trayLetters = (host == Host::Tray) != forOtherHost;
    const unsigned char own = trayLetters ? kAfterT : kAfterC;
    const unsigned char other = trayLetters ? kAfterC : kAfterT;
    const unsigned char found = found_[static_cast<int>(keyword)];
    if (host == Host::Shell && (found & own) != 0) return true;
    return (found & kAnywhere) != 0 && (found & other) == 0;
  }
  // True when the line holds any keyword, anywhere.
  bool AnyKeyword() const { return (found_[0] | found_[1] | found_[2] | found_[3]) != 0; }
  // Field k lies between the 2k-th and the (2k+1)-th field quote.
  QuotedFields Fields() const;

 private:
  // Where a keyword occurs: anywhere, after the letter t, after the letter c.
  static constexpr unsigned char kAnywhere = 1, kAfterT = 2, kAfterC = 4;

  // The marks of the block at `at`, of which the first `seen` bytes were scanned before.
  void Block(std::size_t at, std::size_t seen, BlockMarks marks);
  void Mark(std::size_t last);
  void Found(Keyword keyword, std::size_t start);

  std::string_view line_;
  bool comment_ = false;
  bool quoteRuns_ = false;
  unsigned char found_[4] = {};  // per keyword: where it occurs
  std::size_t fieldQuotes_[10];
  std::size_t fieldQuoteCount_ = 0;
};

// Field n (from 0) of a line, quote runs collapsed to one quote; empty when missing.
std::string GetQuotedField(std::string_view line, std::size_t n);

// True when the quote at `pos` is a field quote: neither neighbour is a quote.
bool IsFieldQuote(std::string_view line, std::size_t pos);

// A field's text: every run of quotes becomes one quote; into `text`, reusing its storage.
void CollapseQuotes(std::string_view raw, std::string& text);
std::string CollapseQuotes(std::string_view raw);

}  // namespace zel::menu
