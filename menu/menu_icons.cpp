#include "menu/menu_icons.h"

#include <charconv>

namespace zel::menu {
namespace {

constexpr std::string_view kBlanks = " \t";

}  // namespace

bool IsIconsOffLine(std::string_view line) {
  const std::size_t start = line.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return false;
  line = line.substr(start, line.find_last_not_of(kBlanks) + 1 - start);
  return line.size() == sizeof(kIconsOffLine) - 1 && LowerAscii(line) == kIconsOffLine;
}

IconField ReadIconField(std::string_view field) {
  if (field.empty()) return {};
  if (field == kNoIconField) return {IconField::Kind::None, {}, 0};
  const std::size_t comma = field.rfind(',');
  if (comma == std::string_view::npos) return {IconField::Kind::File, field, 0};
  const std::string_view number = field.substr(comma + 1);
  int index = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), index);
  if (comma == 0 || number.empty() || error != std::errc() ||
      end != number.data() + number.size()) {
    return {IconField::Kind::Malformed, {}, 0};
  }
  return {IconField::Kind::File, field.substr(0, comma), index};
}

}  // namespace zel::menu
