#include "launch/command_line.h"

#include <algorithm>

namespace zel::launch {

std::string GetListItem(std::string_view list, char delimiter, std::size_t k, LeadByteTest lead) {
  for (std::size_t i = 0;; ++i) {
    const std::size_t end = FindChar(list, std::string_view(&delimiter, 1), lead);
    if (end == std::string_view::npos) return {};
    if (i == k) return std::string(list.substr(0, end));
    list.remove_prefix(end + 1);
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

std::string ExtractFolder(std::string_view path, LeadByteTest lead) {
  if (path.size() < 2) return {};
  // Without the final byte: a final "\" is not looked at, and a final double-byte character
  // leaves a lone lead byte, which is no "\" either.
  const std::size_t slash = FindChar(path.substr(0, path.size() - 1), "\\", lead, true);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

namespace {

// The number of "\" characters that end `text`, counted by character.
std::size_t TrailingBackslashes(std::string_view text, LeadByteTest lead) {
  std::size_t count = 0;
  for (std::size_t pos = 0, length; pos < text.size(); pos += length) {
    length = CharLength(text, pos, lead);
    count = length == 1 && text[pos] == '\\' ? count + 1 : 0;
  }
  return count;
}

// A quote or a control character cannot stand in a placed path. Neither byte is the second
// byte of a character in any code page, so bytes will do; a path that ends inside a character
// would take the next byte of the command line into it.
bool Unplaceable(std::string_view path, LeadByteTest lead) {
  for (const char c : path) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20) return true;
  }
  std::size_t pos = 0;
  while (pos < path.size() &&
         !(pos + 1 == path.size() && lead(static_cast<unsigned char>(path[pos])))) {
    pos += CharLength(path, pos, lead);
  }
  return pos < path.size();
}

}  // namespace

// Why a path that needs quotes cannot stand where the format puts it.
constexpr char kQuotesBeside[] =
    "the quotes it needs would stand right beside a quote or another %s, which programs read in "
    "different ways";

bool NeedsQuotes(std::string_view path, LeadByteTest lead) {
  // Where programs split their command lines; cmd is also said to split at 0xFF, which U+00A0
  // is in the OEM code page 437.
  return FindChar(path, " \t,;=\xA0\xFF", lead) != std::string_view::npos;
}

std::optional<std::string> PlacePath(std::string_view arguments, std::string_view path,
                                     LeadByteTest lead, std::string* why,
                                     std::vector<std::size_t>* at) {
  const auto refuse = [why](const char* reason) {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  if (Unplaceable(path, lead)) return refuse("it holds a quote or a control character");
  const bool splits = NeedsQuotes(path, lead);
  const std::size_t pathBackslashes = TrailingBackslashes(path, lead);
  std::string line;
  bool quoted = false;          // inside a quoted part, by the parsing rules
  bool closed = false;          // the last character was a quote that closed a quoted part
  bool ambiguous = false;       // a quote has followed such a quote: parsers part from here
  std::size_t backslashes = 0;  // "\" characters that end `line`
  for (std::size_t pos = 0, length; pos < arguments.size(); pos += length) {
    length = CharLength(arguments, pos, lead);
    const char c = arguments[pos];
    if (length == 1 && c == kPathMarker) {
      // After a closing quote, a quote is a literal one to some parsers and opens a new
      // quoted part to others (and, to some, ends the quoted part it is in).
      if (ambiguous)
        return refuse("quotes in a row stand before %s, which programs read in different ways");
      const bool addQuotes = splits && !quoted;
      if (addQuotes && closed) return refuse(kQuotesBeside);
      // Backslashes before an opening quote are doubled to stay what they were.
      if (addQuotes) line.append(backslashes, '\\') += '"';
      if (at != nullptr) at->push_back(line.size());
      line += path;
      // So are the path's last backslashes when a quote follows them, after any of the
      // author's backslashes (whose count they would otherwise change).
      const std::size_t next = arguments.find_first_not_of('\\', pos + 1);
      const bool quoteNext = next != std::string_view::npos && arguments[next] == '"';
      if (addQuotes && next == pos + 1 && quoteNext) return refuse(kQuotesBeside);
      const bool doubled = addQuotes || quoteNext;
      if (doubled) line.append(pathBackslashes, '\\');
      if (addQuotes) line += '"';
      backslashes = addQuotes ? 0 : (doubled ? 2 : 1) * pathBackslashes;
      closed = addQuotes;
      continue;
    }
    line.append(arguments, pos, length);
    const bool delimiter = length == 1 && c == '"' && backslashes % 2 == 0;
    if (delimiter) {
      ambiguous = ambiguous || closed;
      quoted = !quoted;
    }
    closed = delimiter && !quoted;
    backslashes = length == 1 && c == '\\' ? backslashes + 1 : 0;
  }
  return line;
}

std::string ExpandReferences(
    std::string_view text,
    const std::function<std::optional<std::string>(const std::string& name)>& valueOf) {
  std::string result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name(text.substr(open + 1, close - open - 1));
    const std::optional<std::string> value = name.empty() ? std::nullopt : valueOf(name);
    // An unset variable's reference is kept as written, both signs with it.
    result += value ? std::string(text.substr(pos, open - pos)) + *value
                    : std::string(text.substr(pos, close + 1 - pos));
    pos = close + 1;
  }
  result += text.substr(std::min(pos, text.size()));
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
