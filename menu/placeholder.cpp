#include "menu/placeholder.h"

#include "text/characters.h"

namespace zel::menu {

namespace {

std::size_t FindKeyword(std::string_view text) {
  const std::size_t size = kPlaceholderKeyword.size();
  for (std::size_t pos = 0; pos + size <= text.size(); ++pos) {
    bool match = true;
    for (std::size_t i = 0; i < size && match; ++i) {
      match = LowerAscii(text[pos + i]) == kPlaceholderKeyword[i];
    }
    if (match) return pos;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<Placeholder> FindPlaceholder(std::string_view text) {
  const std::size_t start = FindKeyword(text);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t argumentStart = start + kPlaceholderKeyword.size();
  const std::size_t close = text.find(kPlaceholderClose, argumentStart);
  Placeholder placeholder;
  placeholder.start = start;
  if (close == std::string_view::npos) {
    placeholder.closed = false;
    placeholder.argument = std::string(text.substr(argumentStart));
    placeholder.length = text.size() - start;
  } else {
    placeholder.argument = std::string(text.substr(argumentStart, close - argumentStart));
    placeholder.length = close + kPlaceholderClose.size() - start;
  }
  return placeholder;
}

std::string ReplacePlaceholder(std::string_view text, const Placeholder& placeholder,
                               std::string_view value) {
  std::string result(text.substr(0, placeholder.start));
  result += value;
  result += text.substr(placeholder.start + placeholder.length);
  return result;
}

}  // namespace zel::menu
