#include "text/characters.h"

namespace zel {

std::size_t FindChar(std::string_view text, std::string_view set, LeadByteTest lead, bool last) {
  std::size_t found = std::string_view::npos;
  for (std::size_t pos = 0; pos < text.size();) {
    // A run of ASCII bytes is a run of single-byte characters: searched as bytes, at once.
    std::size_t end = pos;
    while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
    const std::string_view run = text.substr(pos, end - pos);
    if (const std::size_t hit = last ? run.find_last_of(set) : run.find_first_of(set);
        hit != std::string_view::npos) {
      found = pos + hit;
      if (!last) return found;
    }
    if (end == text.size()) break;
    const std::size_t length = CharLength(text, end, lead);
    if (length == 1 && set.find(text[end]) != std::string_view::npos) {
      found = end;
      if (!last) return found;
    }
    pos = end + length;
  }
  return found;
}

std::string LowerAscii(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = LowerAscii(c);
  return lowered;
}

}  // namespace zel
