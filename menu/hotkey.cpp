#include "menu/hotkey.h"

#include <algorithm>
#include <iterator>

#include "menu/line_scan.h"

namespace zel::menu {
namespace {

struct Named {
  std::string_view name;
  unsigned value;
};

constexpr Named kModifiers[] = {
    {"Ctrl", kModCtrl}, {"Alt", kModAlt}, {"Shift", kModShift}, {"Win", kModWin}};
// Keywords are found inside fields too, so no name holds "sep", "item", "sub" or "end": the End
// key has no name, and the numeric pad's minus is NumMinus (its virtual key is VK_SUBTRACT).
// Plus, Minus, Comma and Period are the same keys on every layout (VK_OEM_PLUS and others).
constexpr Named kKeys[] = {
    {"Space", 0x20},    {"Tab", 0x09},      {"Enter", 0x0D},       {"Backspace", 0x08},
    {"Insert", 0x2D},   {"Delete", 0x2E},   {"Home", 0x24},        {"PageUp", 0x21},
    {"PageDown", 0x22}, {"Left", 0x25},     {"Up", 0x26},          {"Right", 0x27},
    {"Down", 0x28},     {"Pause", 0x13},    {"PrintScreen", 0x2C}, {"Plus", 0xBB},
    {"Minus", 0xBD},    {"Comma", 0xBC},    {"Period", 0xBE},      {"NumMultiply", 0x6A},
    {"NumPlus", 0x6B},  {"NumMinus", 0x6D}, {"NumPeriod", 0x6E},   {"NumDivide", 0x6F}};
constexpr unsigned kVkF1 = 0x70, kVkNumpad0 = 0x60;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool Same(std::string_view text, std::string_view name) {
  if (text.size() != name.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Lower(text[i]) != Lower(name[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

unsigned Find(const Named* begin, const Named* end, std::string_view part) {
  for (const Named* named = begin; named != end; ++named) {
    if (Same(part, named->name)) return named->value;
  }
  return 0;
}

// The number 1 to 24 that follows `prefix` in `part`, written without a leading zero; 0 if none.
unsigned NumberAfter(std::string_view part, std::string_view prefix) {
  if (part.size() <= prefix.size() || part.size() > prefix.size() + 2 ||
      !Same(part.substr(0, prefix.size()), prefix) || part[prefix.size()] == '0') {
    return 0;
  }
  unsigned number = 0;
  for (const char c : part.substr(prefix.size())) {
    if (!IsDigit(c)) return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number <= 24 ? number : 0;
}

unsigned KeyOf(std::string_view part) {
  const char upper = static_cast<char>(Lower(part[0]) - ('a' - 'A'));
  if (part.size() == 1 && upper >= 'A' && upper <= 'Z') return static_cast<unsigned>(upper);
  if (part.size() == 1 && IsDigit(part[0])) return static_cast<unsigned>(part[0]);
  if (const unsigned f = NumberAfter(part, "F")) return kVkF1 + f - 1;
  if (part.size() == 4 && Same(part.substr(0, 3), "Num") && IsDigit(part[3])) {
    return kVkNumpad0 + static_cast<unsigned>(part[3] - '0');
  }
  return Find(std::begin(kKeys), std::end(kKeys), part);
}

// "'TEXT' PROBLEM"
std::string Quoted(std::string_view text, std::string_view problem) {
  std::string said = "'";
  said.append(text).append("'").append(problem);
  return said;
}

}  // namespace

std::string KeyNames() {
  std::string names;
  for (const Named& key : kKeys) names.append(names.empty() ? "" : ", ").append(key.name);
  return names;
}

bool IsHotkeyLine(std::string_view line, const LineScan& scan) {
  constexpr std::string_view kWord = "hotkey";
  if (scan.Comment() || scan.AnyKeyword()) return false;
  line = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
  const char after = line.size() > kWord.size() ? Lower(line[kWord.size()]) : ' ';
  return Same(line.substr(0, kWord.size()), kWord) && !(after >= 'a' && after <= 'z');
}

std::string ParseHotkey(std::string_view text, Hotkey& hotkey) {
  hotkey = {};
  const std::string_view whole = text;
  if (Trim(text).empty()) return "the line names no key combination: write it as 'Ctrl+Alt+Z'";
  for (;;) {
    const std::size_t plus = text.find('+');
    const std::string_view part = Trim(text.substr(0, plus));
    if (part.empty())
      return Quoted(whole, " has an empty part between its + signs (the + key is Plus)");
    const unsigned modifier = Find(std::begin(kModifiers), std::end(kModifiers), part);
    if (plus == std::string_view::npos) {
      hotkey.key = KeyOf(part);
      if (hotkey.key != 0) break;
      if (modifier != 0) return Quoted(whole, " names no key after its modifiers");
      return Quoted(part,
                    " is not a key name: write a letter, a digit, F1 to F24, Num0 to Num9 "
                    "or one of ") +
             KeyNames();
    }
    if (modifier == 0) {
      return Quoted(part, " is not a modifier: only Ctrl, Alt, Shift and Win go before the key");
    }
    if ((hotkey.modifiers & modifier) != 0) return Quoted(part, " is written twice");
    hotkey.modifiers |= modifier;
    text.remove_prefix(plus + 1);
  }
  const bool functionKey = hotkey.key >= kVkF1 && hotkey.key < kVkF1 + 24;
  if (!functionKey && (hotkey.modifiers & (kModCtrl | kModAlt | kModWin)) == 0) {
    return Quoted(whole, " would take the key from every program: add Ctrl, Alt or Win");
  }
  return {};
}

}  // namespace zel::menu
