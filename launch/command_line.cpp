#include "launch/command_line.h"

#include <algorithm>

namespace zel::launch {

std::string GetListItem(std::string_view list, char delimiter, std::size_t k) {
  std::size_t begin = 0;
  for (std::size_t i = 0;; ++i) {
    const std::size_t end = list.find(delimiter, begin);
    if (end == std::string_view::npos) return {};
    if (i == k) return std::string(list.substr(begin, end - begin));
    begin = end + 1;
  }
}

std::size_t CountCommas(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::size_t pos = text.find_first_not_of(' ');
  if (pos == std::string_view::npos) return false;
  text.remove_prefix(pos);

  std::size_t prefix = 0;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    prefix = 1;
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    prefix = 2;
  }
  if (prefix != 0) {
    text.remove_prefix(prefix);
    if (text.empty()) return false;
    std::uint64_t pattern = 0;
    for (char c : text) {
      const int digit = HexDigit(c);
      if (digit < 0) return false;
      pattern = pattern * 16 + static_cast<std::uint64_t>(digit);
      if (pattern > 0xFFFFFFFFull) return false;
    }
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(pattern));
    return true;
  }

  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  std::uint64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit) return false;
  }
  const std::int64_t signedValue =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  value = static_cast<std::int32_t>(signedValue);
  return true;
}

std::string BuildCommandLine(std::string_view program, std::string_view arguments) {
  std::string line;
  line.reserve(program.size() + arguments.size() + 3);
  line += '"';
  line += program;
  line += "\" ";
  line += arguments;
  return line;
}

std::string ExtractFolder(std::string_view path) {
  if (path.size() < 2) return {};
  for (std::size_t i = path.size() - 1; i-- > 0;) {
    if (path[i] == '\\') return std::string(path.substr(0, i + 1));
  }
  return {};
}

namespace {

char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t FindKeyword(std::string_view text) {
  const std::size_t size = kPlaceholderKeyword.size();
  for (std::size_t pos = 0; pos + size <= text.size(); ++pos) {
    bool match = true;
    for (std::size_t i = 0; i < size && match; ++i) {
      match = LowerAsciiChar(text[pos + i]) == kPlaceholderKeyword[i];
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

DllCallPlan PlanDllCall(std::string_view procedureLine) {
  // Every item followed by a comma, so there are CountCommas(procedureLine) of them.
  std::vector<std::string_view> items;
  for (std::size_t begin = 0, end; (end = procedureLine.find(',', begin)) != std::string_view::npos;
       begin = end + 1) {
    items.push_back(procedureLine.substr(begin, end - begin));
  }
  DllCallPlan plan;
  if (items.size() > 0) plan.dll = std::string(items[0]);
  if (items.size() > 1) plan.procedure = std::string(items[1]);
  // Items from the last down to index 2; the first empty one ends the scan.
  std::size_t first = items.size();
  while (first > 2 && !items[first - 1].empty()) --first;
  for (std::size_t index = first; index < items.size(); ++index) {
    DllArgument argument;
    if (!TryStrToInt(items[index], argument.number)) {
      argument.isText = true;
      argument.text = std::string(items[index]);
    }
    plan.arguments.push_back(std::move(argument));
  }
  return plan;
}

std::vector<char> TextArgumentBytes(std::string_view text) {
  std::vector<char> bytes(text.begin(), text.end());
  bytes.insert(bytes.end(), 3, '\0');
  return bytes;
}

}  // namespace zel::launch
