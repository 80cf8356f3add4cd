#include "menu/argument_format.h"

#include <algorithm>

namespace zel::menu {
namespace {

bool IsDigit(std::string_view text, std::size_t pos) {
  return pos < text.size() && text[pos] >= '0' && text[pos] <= '9';
}

bool At(std::string_view text, std::size_t pos, char c) {
  return pos < text.size() && text[pos] == c;
}

// Digits from `pos` on, as an unsigned 32-bit count that wraps.
std::uint32_t ReadCount(std::string_view text, std::size_t& pos) {
  std::uint32_t count = 0;
  for (; IsDigit(text, pos); ++pos)
    count = count * 10 + static_cast<std::uint32_t>(text[pos] - '0');
  return count;
}

// The type that `letter` makes with `prefix`.
Conversion::Type TypeOf(char letter, char prefix) {
  const bool wide = prefix == 'l' || prefix == 'w';
  switch (letter) {
    case 's':
      return wide ? Conversion::Type::WideText : Conversion::Type::Text;
    case 'S':
      return prefix == 'h' || prefix == 'w' ? Conversion::Type::Text : Conversion::Type::WideText;
    case 'c':
    case 'C':
      return Conversion::Type::Character;
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'p':
      return Conversion::Type::Number;
    default:
      return Conversion::Type::Unknown;
  }
}

}  // namespace

bool Conversion::Refused() const {
  return type == Type::Number || type == Type::Character || prefix == 'w' || prefix == 'I' ||
         (type == Type::Unknown && (letter == '-' || letter == '#'));
}

Conversion ParseConversion(std::string_view format, std::size_t percent) {
  Conversion conversion;
  conversion.start = percent;
  std::size_t pos = percent + 1;
  if (At(format, pos, '%')) {
    conversion.type = Conversion::Type::Percent;
    conversion.end = pos + 1;
    return conversion;
  }
  // Each flag at most once, in this order.
  conversion.leftAlign = At(format, pos, '-');
  if (conversion.leftAlign) ++pos;
  if (At(format, pos, '#')) ++pos;
  if (At(format, pos, '0')) ++pos;
  conversion.width = ReadCount(format, pos);
  if (At(format, pos, '.')) conversion.precision = ReadCount(format, ++pos);
  if (At(format, pos, 'l') || At(format, pos, 'h') || At(format, pos, 'w')) {
    conversion.prefix = format[pos++];
  } else if (At(format, pos, 'I')) {
    conversion.prefix = 'I';
    const std::string_view size = format.substr(pos + 1, 2);
    pos += size == "64" || size == "32" ? 3 : 1;
  }
  conversion.letter = pos < format.size() ? format[pos] : '\0';
  conversion.type = TypeOf(conversion.letter, conversion.prefix);
  // An unknown letter is not part of the sequence: it is written as text.
  conversion.end = conversion.type == Conversion::Type::Unknown ? pos : pos + 1;
  return conversion;
}

std::optional<Conversion> FirstRefusedConversion(std::string_view format) {
  format = format.substr(0, format.find('\0'));
  for (std::size_t pos = format.find('%'); pos != std::string_view::npos;) {
    const Conversion conversion = ParseConversion(format, pos);
    if (conversion.Refused()) return conversion;
    pos = format.find('%', conversion.end);
  }
  return std::nullopt;
}

Formatted FormatWithText(std::string_view format, std::string_view text) {
  format = format.substr(0, format.find('\0'));
  text = text.substr(0, text.find('\0'));
  Formatted result;
  std::string& out = result.text;
  // Characters left in the buffer, the terminator's included.
  std::size_t room = kFormatCapacity;
  std::size_t pos = 0;
  while (pos < format.size() && room > 1) {
    if (format[pos] != '%') {
      out += format[pos++];
      --room;
      continue;
    }
    const Conversion conversion = ParseConversion(format, pos);
    pos = conversion.end;
    if (conversion.type == Conversion::Type::Percent) {
      out += '%';
      --room;
      continue;
    }
    const bool isText =
        conversion.type == Conversion::Type::Text || conversion.type == Conversion::Type::WideText;
    const std::size_t width = std::min<std::size_t>(conversion.width, room - 1);
    std::size_t shown = conversion.precision;
    if (isText) {
      shown = std::min(conversion.precision == 0
                           ? text.size()
                           : std::min<std::size_t>(text.size(), conversion.precision),
                       room - 1);
    }
    const std::size_t padding = width > shown ? width - shown : 0;
    if (!conversion.leftAlign) out.append(padding, ' ');
    if (!isText) {
      // Only the padding of a sequence the system does not format.
      room -= conversion.leftAlign ? 0 : padding;
      continue;
    }
    out.append(text.substr(0, shown));
    if (conversion.leftAlign) out.append(padding, ' ');
    room -= padding + shown;
  }
  result.cut = pos < format.size();
  return result;
}

}  // namespace zel::menu
