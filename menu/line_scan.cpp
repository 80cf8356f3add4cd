#include "menu/line_scan.h"

#include <bit>
#include <cstring>
#include <iterator>

#if defined(__SSE2__) || defined(__i386__)
#include <emmintrin.h>  // 32-bit x86: for the one function compiled for SSE2
#endif
#if defined(__i386__) && !defined(__SSE2__)
#include <cpuid.h>
#endif

namespace zel::menu {
namespace {

constexpr char kQuote = '\'';

// Setting bit 0x20 lowers exactly the capital of each lower-case letter, so a byte with that
// bit set equals a lower-case letter only when the byte is that letter in either case.
constexpr unsigned char kCaseBit = 0x20;

bool IsLetter(char byte, char lowerCase) { return (byte | kCaseBit) == lowerCase; }

constexpr std::uint64_t Broadcast(unsigned char byte) { return 0x0101010101010101ULL * byte; }

// The high bit of every byte of `word` that is zero, and no other bit.
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
  constexpr std::uint64_t kLow7 = Broadcast(0x7F);
  return ~(((word & kLow7) + kLow7) | word | kLow7);
}

constexpr std::uint64_t Equal(std::uint64_t word, char byte) {
  return ZeroBytes(word ^ Broadcast(static_cast<unsigned char>(byte)));
}

// Bit i for the high bit of byte i.
constexpr std::uint32_t Gather(std::uint64_t highBits) {
  return static_cast<std::uint32_t>(((highBits >> 7) * 0x0102040810204080ULL) >> 56);
}

std::uint64_t Load(const char* bytes) {
  static_assert(std::endian::native == std::endian::little, "byte i of a word is bits 8i to 8i+7");
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Eight bytes as PortableMarksOf sees them, given the bytes one place earlier and later.
BlockMarks EightMarks(std::uint64_t before, std::uint64_t word, std::uint64_t after) {
  const std::uint64_t lowered = word | Broadcast(kCaseBit);
  const std::uint64_t loweredBefore = before | Broadcast(kCaseBit);
  const std::uint64_t quotes = Equal(word, kQuote);
  const std::uint64_t marks =
      (Equal(before, '/') & Equal(word, '/')) |
      (Equal(loweredBefore, 'e') & (Equal(lowered, 'p') | Equal(lowered, 'm'))) |
      (Equal(loweredBefore, 'u') & Equal(lowered, 'b')) |
      (Equal(loweredBefore, 'n') & Equal(lowered, 'd'));
  return {Gather(quotes), Gather(quotes & ~Equal(before, kQuote) & ~Equal(after, kQuote)),
          Gather(marks)};
}

// True when the two bytes are one of the skip pairs (FindQuietLines).
bool IsSkipPair(char first, char second) {
  switch (first | kCaseBit) {
    case 'u': return IsLetter(second, 'b');
    case 'n': return IsLetter(second, 'd');
    case 't': return IsLetter(second, 'k');
    case 'f': return IsLetter(second, 'f');
  }
  return false;
}

// Counts the CRs of the block at `at` that come before its first stop (a skip pair or a
// Ctrl-Z); true when it has a stop.
bool CountQuiet(QuietLines& quiet, std::size_t at, std::uint32_t crs, std::uint32_t stops) {
  if (stops != 0) crs &= (stops & (0u - stops)) - 1;
  if (crs != 0) quiet.size = at + 32 - static_cast<std::size_t>(std::countl_zero(crs));
  for (; crs != 0; crs &= crs - 1) ++quiet.lines;  // a block holds a CR or two at most
  return stops != 0;
}

}  // namespace

QuietLines PortableFindQuietLines(const char* bytes, std::size_t size) {
  // Byte by byte, in blocks of sixteen as the vector build, so that both stop at the same
  // place. Only processors without SSE2 take it: small beats fast here.
  QuietLines quiet;
  for (std::size_t at = 0; at + kScanBlock < size; at += kScanBlock) {
    std::uint32_t crs = 0, stops = 0;
    for (std::size_t i = 0; i < kScanBlock; ++i) {
      const char* byte = bytes + at + i;
      crs |= std::uint32_t{*byte == '\r'} << i;
      stops |= std::uint32_t{*byte == '\x1a' || IsSkipPair(byte[0], byte[1])} << i;
    }
    if (CountQuiet(quiet, at, crs, stops)) break;
  }
  return quiet;
}

BlockMarks PortableMarksOf(const char* bytes, unsigned edges) {
  const std::uint64_t low = Load(bytes), high = Load(bytes + 8);
  const BlockMarks first =
      EightMarks((edges & kNoByteBefore) != 0 ? low << 8 : Load(bytes - 1), low, Load(bytes + 1));
  const BlockMarks second =
      EightMarks(Load(bytes + 7), high, (edges & kNoByteAfter) != 0 ? high >> 8 : Load(bytes + 9));
  return {first.quotes | second.quotes << 8, first.fieldQuotes | second.fieldQuotes << 8,
          first.marks | second.marks << 8};
}

#if defined(__SSE2__) || defined(__i386__)
// Sixteen bytes at a time with SSE2, compiled for it even where the target's baseline lacks it
// (32-bit x86): there it is called only once the processor said it has it.
#define ZEL_SSE2 __attribute__((target("sse2")))
namespace {

ZEL_SSE2 __m128i Load16(const char* from) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
}

ZEL_SSE2 __m128i Equal16(__m128i bytes, char byte) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte));
}

ZEL_SSE2 std::uint32_t Bits16(__m128i mask) {
  return static_cast<std::uint32_t>(_mm_movemask_epi8(mask));
}

ZEL_SSE2 BlockMarks VectorMarksOf(const char* bytes, unsigned edges) {
  const __m128i word = Load16(bytes);
  const __m128i before = (edges & kNoByteBefore) != 0 ? _mm_slli_si128(word, 1) : Load16(bytes - 1);
  const __m128i after = (edges & kNoByteAfter) != 0 ? _mm_srli_si128(word, 1) : Load16(bytes + 1);
  const __m128i lowered = _mm_or_si128(word, _mm_set1_epi8(kCaseBit));
  const __m128i loweredBefore = _mm_or_si128(before, _mm_set1_epi8(kCaseBit));
  const __m128i quotes = Equal16(word, kQuote);
  const __m128i quoteBeside = _mm_or_si128(Equal16(before, kQuote), Equal16(after, kQuote));
  __m128i marks = _mm_and_si128(Equal16(before, '/'), Equal16(word, '/'));
  const __m128i pOrM = _mm_or_si128(Equal16(lowered, 'p'), Equal16(lowered, 'm'));
  marks = _mm_or_si128(marks, _mm_and_si128(Equal16(loweredBefore, 'e'), pOrM));
  marks = _mm_or_si128(marks, _mm_and_si128(Equal16(loweredBefore, 'u'), Equal16(lowered, 'b')));
  marks = _mm_or_si128(marks, _mm_and_si128(Equal16(loweredBefore, 'n'), Equal16(lowered, 'd')));
  return {Bits16(quotes), Bits16(_mm_andnot_si128(quoteBeside, quotes)), Bits16(marks)};
}

ZEL_SSE2 __m128i Pair16(__m128i lowered, char first, __m128i loweredNext, char second) {
  return _mm_and_si128(Equal16(lowered, first), Equal16(loweredNext, second));
}

// The bytes that start a skip pair (IsSkipPair), sixteen at a time.
ZEL_SSE2 __m128i SixteenPairs(__m128i word, __m128i next) {
  const __m128i lowered = _mm_or_si128(word, _mm_set1_epi8(kCaseBit));
  const __m128i loweredNext = _mm_or_si128(next, _mm_set1_epi8(kCaseBit));
  __m128i pairs = Pair16(lowered, 'u', loweredNext, 'b');
  pairs = _mm_or_si128(pairs, Pair16(lowered, 'n', loweredNext, 'd'));
  pairs = _mm_or_si128(pairs, Pair16(lowered, 't', loweredNext, 'k'));
  return _mm_or_si128(pairs, Pair16(lowered, 'f', loweredNext, 'f'));
}

ZEL_SSE2 QuietLines VectorFindQuietLines(const char* bytes, std::size_t size) {
  QuietLines quiet;
  for (std::size_t at = 0; at + kScanBlock < size; at += kScanBlock) {
    const __m128i word = Load16(bytes + at);
    const __m128i stops =
        _mm_or_si128(SixteenPairs(word, Load16(bytes + at + 1)), Equal16(word, '\x1a'));
    if (CountQuiet(quiet, at, Bits16(Equal16(word, '\r')), Bits16(stops))) break;
  }
  return quiet;
}

ZEL_SSE2 std::size_t VectorFindLineEnd(const char* bytes, std::size_t size) {
  std::size_t at = 0;
  for (; at + kScanBlock <= size; at += kScanBlock) {
    const __m128i block = Load16(bytes + at);
    const std::uint32_t ends = Bits16(_mm_or_si128(Equal16(block, '\r'), Equal16(block, '\x1a')));
    if (ends != 0) return at + static_cast<std::size_t>(std::countr_zero(ends));
  }
  return at + PortableFindLineEnd(bytes + at, size - at);
}

}  // namespace
#undef ZEL_SSE2
#endif

std::size_t PortableFindLineEnd(const char* bytes, std::size_t size) {
  std::size_t at = 0;
  while (at < size && bytes[at] != '\r' && bytes[at] != '\x1a') ++at;
  return at;
}

#if defined(__SSE2__)
BlockMarks MarksOf(const char* bytes, unsigned edges) { return VectorMarksOf(bytes, edges); }
QuietLines FindQuietLines(const char* bytes, std::size_t size) {
  return VectorFindQuietLines(bytes, size);
}
std::size_t FindLineEnd(const char* bytes, std::size_t size) {
  return VectorFindLineEnd(bytes, size);
}
#elif defined(__i386__)
namespace {
// 32-bit x86 processors without SSE2 are rare but not gone: they take the portable way.
bool HasSse2() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & bit_SSE2) != 0;
}
const bool kHasSse2 = HasSse2();
}  // namespace
BlockMarks MarksOf(const char* bytes, unsigned edges) {
  return kHasSse2 ? VectorMarksOf(bytes, edges) : PortableMarksOf(bytes, edges);
}
QuietLines FindQuietLines(const char* bytes, std::size_t size) {
  return kHasSse2 ? VectorFindQuietLines(bytes, size) : PortableFindQuietLines(bytes, size);
}
std::size_t FindLineEnd(const char* bytes, std::size_t size) {
  return kHasSse2 ? VectorFindLineEnd(bytes, size) : PortableFindLineEnd(bytes, size);
}
#else
BlockMarks MarksOf(const char* bytes, unsigned edges) { return PortableMarksOf(bytes, edges); }
QuietLines FindQuietLines(const char* bytes, std::size_t size) {
  return PortableFindQuietLines(bytes, size);
}
std::size_t FindLineEnd(const char* bytes, std::size_t size) {
  return PortableFindLineEnd(bytes, size);
}
#endif

LineScan::LineScan(std::string_view line) : line_(line) {
  const char* bytes = line.data();
  const std::size_t size = line.size();
  if (size < kScanBlock) {
    // Copied between zeros: no byte the scan looks for is zero.
    char padded[kScanBlock + 2] = {};
    std::memcpy(padded + 1, bytes, size);
    Block(0, 0, MarksOf(padded + 1, 0));
    return;
  }
  std::size_t at = 0;
  for (; at + kScanBlock < size; at += kScanBlock) {
    Block(at, 0, MarksOf(bytes + at, at == 0 ? kNoByteBefore : 0));
  }
  // The last block ends with the line and overlaps the one before.
  const std::size_t start = size - kScanBlock;
  Block(start, at - start, MarksOf(bytes + start, kNoByteAfter | (start == 0 ? kNoByteBefore : 0)));
}

void LineScan::Block(std::size_t at, std::size_t seen, BlockMarks marks) {
  const std::uint32_t fresh = ~std::uint32_t{0} << seen;
  marks.quotes &= fresh;
  marks.fieldQuotes &= fresh;
  marks.marks &= fresh;
  if (marks.quotes != 0) {
    quoteRuns_ = quoteRuns_ || marks.fieldQuotes != marks.quotes;
    for (std::uint32_t lone = marks.fieldQuotes;
         lone != 0 && fieldQuoteCount_ < std::size(fieldQuotes_); lone &= lone - 1) {
      fieldQuotes_[fieldQuoteCount_++] = at + static_cast<std::size_t>(std::countr_zero(lone));
    }
  }
  for (std::uint32_t ends = marks.marks; ends != 0; ends &= ends - 1) {
    Mark(at + static_cast<std::size_t>(std::countr_zero(ends)));
  }
}

void LineScan::Mark(std::size_t last) {
  // `last` ends "//", "ep", "em", "ub" or "nd": the byte before it is part of the line.
  const std::string_view line = line_;
  switch (line[last] | kCaseBit) {
    case '/':
      comment_ = true;
      break;
    case 'p':
      if (last >= 2 && IsLetter(line[last - 2], 's')) Found(Keyword::Sep, last - 2);
      break;
    case 'm':
      if (last >= 3 && IsLetter(line[last - 3], 'i') && IsLetter(line[last - 2], 't')) {
        Found(Keyword::Item, last - 3);
      }
      break;
    case 'b':
      if (last >= 2 && IsLetter(line[last - 2], 's')) Found(Keyword::Sub, last - 2);
      break;
    case 'd':
      if (last >= 2 && IsLetter(line[last - 2], 'e')) Found(Keyword::End, last - 2);
      break;
  }
}

void LineScan::Found(Keyword keyword, std::size_t start) {
  unsigned char place = kAnywhere;
  if (start > 0 && IsLetter(line_[start - 1], 't')) place |= kAfterT;
  if (start > 0 && IsLetter(line_[start - 1], 'c')) place |= kAfterC;
  found_[static_cast<int>(keyword)] |= place;
}

QuotedFields LineScan::Fields() const {
  // An opening field quote without a closing one gives no field.
  QuotedFields fields;
  fields.quoteRuns = quoteRuns_;
  for (std::size_t k = 0; 2 * k + 1 < fieldQuoteCount_; ++k) {
    const std::size_t open = fieldQuotes_[2 * k];
    fields.field[k] = line_.substr(open + 1, fieldQuotes_[2 * k + 1] - open - 1);
  }
  return fields;
}

void QuotedFields::Text(std::size_t n, std::string& text) const {
  if (quoteRuns) {
    CollapseQuotes(field[n], text);
  } else {
    text.assign(field[n]);
  }
}

std::string GetQuotedField(std::string_view line, std::size_t n) {
  std::string text;
  if (n < std::size(QuotedFields{}.field)) LineScan(line).Fields().Text(n, text);
  return text;
}

bool IsFieldQuote(std::string_view line, std::size_t pos) {
  if (line[pos] != kQuote) return false;
  const bool quoteBefore = pos > 0 && line[pos - 1] == kQuote;
  const bool quoteAfter = pos + 1 < line.size() && line[pos + 1] == kQuote;
  return !quoteBefore && !quoteAfter;
}

void CollapseQuotes(std::string_view raw, std::string& text) {
  std::size_t quote = raw.find(kQuote);
  text.assign(raw.substr(0, quote));  // most fields hold no quote at all
  while (quote != std::string_view::npos) {
    text += kQuote;
    while (quote < raw.size() && raw[quote] == kQuote) ++quote;
    const std::size_t next = raw.find(kQuote, quote);
    text.append(raw.substr(quote, next - quote));
    quote = next;
  }
}

std::string CollapseQuotes(std::string_view raw) {
  std::string text;
  CollapseQuotes(raw, text);
  return text;
}

}  // namespace zel::menu
