#include "text/text_kind.h"

namespace zel {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed sequence at the start of `text` (Unicode table 3-7), or 0 with
// `subpart` the length of its maximal subpart.
std::size_t SequenceLength(std::string_view text, std::size_t& subpart) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t need = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    subpart = 1;
    return 0;
  }
  std::size_t length = 1;
  if (length < text.size()) {
    const auto second = static_cast<unsigned char>(text[1]);
    if (second >= low && second <= high) ++length;
  }
  while (length > 1 && length < need && length < text.size() &&
         IsContinuation(static_cast<unsigned char>(text[length]))) {
    ++length;
  }
  if (length == need) return need;
  subpart = length;
  return 0;
}

}  // namespace

bool RepairUtf8(std::string_view text, std::string& repaired) {
  std::size_t pos = 0;
  bool replaced = false;
  while (pos < text.size()) {
    std::size_t subpart = 0;
    const std::size_t length = SequenceLength(text.substr(pos), subpart);
    if (length == 0 && !replaced) {
      repaired.assign(text.substr(0, pos));
      replaced = true;
    }
    if (length == 0) {
      repaired += kReplacementCharacter;
      pos += subpart;
      continue;
    }
    if (replaced) repaired += text.substr(pos, length);
    pos += length;
  }
  return replaced;
}

std::string_view LastCharacters(std::string_view text, std::size_t count) {
  std::size_t start = text.size();
  while (count > 0 && start > 0) {
    --start;
    if (!IsContinuation(static_cast<unsigned char>(text[start]))) --count;
  }
  return text.substr(start);
}

}  // namespace zel
