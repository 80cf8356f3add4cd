#include "menu/menu_check.h"

#include <algorithm>
#include <string_view>

#include "menu/argument_format.h"
#include "menu/hotkey.h"
#include "menu/line_scan.h"
#include "menu/menu_build.h"
#include "menu/menu_icons.h"
#include "menu/placeholder.h"

namespace zel::menu {
namespace {

// Builds nothing: the checker only wants to know what each line does.
class NullSink final : public MenuSink {
 public:
  Handle CreateSubmenu() override { return ++next_; }
  void AppendItem(Handle, unsigned, const std::string&) override {}
  void AppendSubmenu(Handle, Handle, const std::string&) override {}
  void AppendSeparator(Handle) override {}
  bool InsertSubmenu(Handle, unsigned, Handle, const std::string&) override { return true; }
  void DestroySubmenu(Handle) override {}

 private:
  Handle next_ = 0;
};

enum class Kind { Blank, Comment, Item, Sub, Sep, End, Add, Hotkey, Icons, Other };

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// What the line looks meant as, from its first word: "titem", "Sub", "cend" ...
Kind IntendedKind(std::string_view line, char& hostLetter) {
  hostLetter = 0;
  if (line == kAddWord) return Kind::Add;
  if (IsBlank(line)) return Kind::Blank;
  const std::size_t start = line.find_first_not_of(" \t");
  if (line.compare(start, 2, "//") == 0) return Kind::Comment;
  std::size_t end = start;
  while (end < line.size() && ((line[end] | 0x20) >= 'a' && (line[end] | 0x20) <= 'z')) ++end;
  std::string word = LowerAscii(line.substr(start, end - start));
  if (word == "add") return Kind::Add;
  if (word == "icons") return Kind::Icons;
  if (word.size() > 1 && (word[0] == 't' || word[0] == 'c') &&
      (word.substr(1) == "item" || word.substr(1) == "sub" || word.substr(1) == "sep" ||
       word.substr(1) == "end")) {
    hostLetter = word[0];
    word.erase(0, 1);
  }
  if (word == "item") return Kind::Item;
  if (word == "sub") return Kind::Sub;
  if (word == "sep") return Kind::Sep;
  if (word == "end") return Kind::End;
  if (word == "hotkey") return Kind::Hotkey;
  return Kind::Other;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

class Checker {
 public:
  explicit Checker(TextKind kind)
      : trayBuilder_(trayRequest_, traySink_, 0, trayTable_, kind),
        shellBuilder_(shellRequest_, shellSink_, 0, shellTable_, kind),
        kind_(kind) {
    trayRequest_.host = Host::Tray;
    shellRequest_.host = Host::Shell;
  }

  void Line(std::size_t number, std::string_view line);
  void Warn(std::size_t line, std::string text) {
    findings_.push_back({line, Finding::Severity::Warning, std::move(text)});
  }
  void Finish(bool bytesAfterCtrlZ);
  std::vector<Finding> Take() { return std::move(findings_); }

 private:
  struct OpenSub {
    std::size_t line;
    std::string caption;
    bool conditional;  // skipped by some form or some selection
  };

  void CheckBytes(std::size_t number, std::string_view line);
  void CheckItem(std::size_t number, std::string_view line, std::string_view lowered, char letter);
  void CheckSub(std::size_t number, std::string_view line, std::string_view lowered, char letter);
  // A line meant as an entry, a submenu or an end is read as a separator when it holds "sep":
  // said, and true, when it is.
  bool ReadAsSeparator(std::size_t number, Kind kind, std::string_view lowered);
  void CheckEnd(std::size_t number);
  // `ignored`: what to say when the line holds no keyword.
  void CheckOther(std::size_t number, std::string_view lowered,
                  const char* ignored =
                      "the line is not an entry, a submenu, a separator or an "
                      "end, and is ignored");
  void CheckHotkey(std::size_t number, std::string_view lowered);
  void CheckFields(std::size_t number, std::string_view line);
  void CheckExtensions(std::size_t number, const std::string& list);
  // The arguments of an entry the shell menu runs, which it reads as a format.
  // `placeholder`: where a "%input(" keyword starts, or npos; `shellOnly`: a citem.
  void CheckShellFormat(std::size_t number, const std::string& arguments, std::size_t placeholder,
                        bool shellOnly);
  // Extensions are compared as three bytes in an ANSI file, three characters in a UTF-8 one.
  bool ThreeCharacters(std::string_view ext) const {
    if (kind_ == TextKind::Ansi) return ext.size() == 3;
    return LastCharacters(ext, 3) == ext && LastCharacters(ext, 2) != ext;
  }
  void CheckIcon(std::size_t number, std::string_view line);
  bool InsideConditional() const {
    for (const OpenSub& sub : subs_) {
      if (sub.conditional) return true;
    }
    return false;
  }

  BuildRequest trayRequest_;
  BuildRequest shellRequest_;
  NullSink traySink_;
  NullSink shellSink_;
  MenuTable trayTable_;
  MenuTable shellTable_;
  MenuBuilder trayBuilder_;
  MenuBuilder shellBuilder_;
  std::vector<OpenSub> subs_;
  std::vector<Finding> findings_;
  TextKind kind_ = TextKind::Ansi;
  bool lfReported_ = false;
  bool trayOverflowReported_ = false;
};

void Checker::CheckFields(std::size_t number, std::string_view line) {
  bool inside = false;
  bool vanishing = false;
  for (std::size_t pos = 0; pos < line.size(); ++pos) {
    if (line[pos] != '\'') continue;
    if (IsFieldQuote(line, pos)) {
      inside = !inside;
      continue;
    }
    std::size_t run = pos;
    while (run < line.size() && line[run] == '\'') ++run;
    if (!inside) vanishing = true;
    pos = run - 1;
  }
  if (vanishing) {
    Warn(number,
         "'' is not an empty field: two quotes in a row are a literal quote, so the fields "
         "after it move down by one");
  }
  if (inside) Warn(number, "a field's closing quote is missing: that field reads as empty");
}

void Checker::CheckShellFormat(std::size_t number, const std::string& arguments,
                               std::size_t placeholder, bool shellOnly) {
  if (const auto refused = FirstRefusedConversion(arguments)) {
    const std::string sequence(refused->In(arguments));
    findings_.push_back(
        {number, Finding::Severity::Error,
         refused->start == placeholder
             ? "the shell menu asks for no values and refuses to run the entry: \"" + sequence +
                   "\" of %input( is a conversion of its format (make the "
                   "entry a titem)"
             : "the shell menu refuses to run the entry: \"" + sequence +
                   "\" is a conversion of its format that does not stand for the "
                   "selected path (write %% for a percent sign)"});
    return;
  }
  // A reference to a variable loses its percent signs to the format before it is expanded.
  for (std::size_t pos = arguments.find('%'); pos != std::string::npos;) {
    const Conversion conversion = ParseConversion(arguments, pos);
    const std::size_t close = arguments.find('%', pos + 1);
    const std::string name = arguments.substr(pos + 1, close - pos - 1);
    const bool text =
        conversion.type == Conversion::Type::Text || conversion.type == Conversion::Type::WideText;
    // %SystemRoot% is %S, the selected path, then "ystemRoot%".
    const bool variable =
        name.size() >= 2 && name.find_first_not_of(
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                "0123456789_()") == std::string::npos;
    if ((text || conversion.type == Conversion::Type::Unknown) && close != std::string::npos &&
        variable) {
      const std::string twice = "%%" + name + "%%";
      Warn(number, "the shell menu's format takes the percent signs of %" + name + "%" +
                       (text ? " (and puts the selected path in for its first letters)" : "") +
                       " before variables are expanded: " +
                       (shellOnly ? "write " + twice + " for it"
                                  : "make the entry a citem with " + twice + " and a titem with %" +
                                        name + "%"));
      return;
    }
    pos = arguments.find('%', conversion.end);
  }
}

void Checker::CheckExtensions(std::size_t number, const std::string& list) {
  if (list.empty()) return;
  std::vector<std::string> elements;
  for (std::string_view rest(list);;) {
    const std::size_t comma = rest.find(',');
    elements.emplace_back(rest.substr(0, comma));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  std::string_view rest(list);
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string ext(rest.substr(0, comma));
    const std::string quoted = "extension '" + ext + "'";
    if (ext.empty()) {
      Warn(number, "the extension list '" + list + "' has an empty element");
    } else if (Contains(ext, " ") || Contains(ext, "\t")) {
      Warn(number, quoted + " holds a blank and never matches: write the list without blanks");
    } else if (!ThreeCharacters(ext)) {
      Warn(number, quoted +
                       " is not three characters: lists are compared with the last three "
                       "characters of the path (write .gz for gz, and the last three letters "
                       "of a longer extension)");
    } else if (LowerAscii(ext) != ext &&
               std::find(elements.begin(), elements.end(), LowerAscii(ext)) == elements.end()) {
      // Beside its lower-case form, a capitalised element is deliberate: it serves files
      // whose names carry the extension in capitals (PHOTO.JPG).
      Warn(number, quoted +
                       " has capitals: extensions are compared case-sensitively, so it "
                       "does not match '" +
                       LowerAscii(ext) + "'");
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

void Checker::CheckBytes(std::size_t number, std::string_view line) {
  if (Contains(line, "\n") && !lfReported_) {
    lfReported_ = true;
    Warn(number,
         "the line holds LF line ends without CR: both programs read the whole text as one "
         "line (save the file with CR LF line ends)");
  }
  if (Contains(line, std::string_view("\0", 1))) {
    Warn(number, "the line holds a NUL byte: menus and command lines end their text there");
  }
}

void Checker::CheckItem(std::size_t number, std::string_view line, std::string_view lowered,
                        char letter) {
  const std::string list = GetQuotedField(line, 3);
  // Where the line is not an entry (the other host's, an unmatched extension list, inside a
  // skipped submenu), the submenu tests see its whole text.
  const bool sometimesSkipped = letter != 0 || !list.empty() || InsideConditional();
  if (sometimesSkipped && Contains(lowered, "end")) {
    Warn(number,
         "the line contains \"end\": where it is not shown as an entry (the other "
         "program, an unmatched extension list, a skipped submenu) it closes a "
         "submenu");
  }
  if (sometimesSkipped && Contains(lowered, "sub")) {
    Warn(number,
         "the line contains \"sub\": where it is not shown as an entry (the other "
         "program, an unmatched extension list, a skipped submenu) it opens a "
         "submenu");
  }
  if (GetQuotedField(line, 1).empty()) {
    Warn(number, "the entry has no command (field 2) and runs nothing");
  }
  const std::string arguments = GetQuotedField(line, 2);
  const std::optional<Placeholder> placeholder = FindPlaceholder(arguments);
  if (placeholder && !placeholder->closed) Warn(number, "\"%input(\" has no closing \")%\"");
  const std::size_t input = placeholder ? placeholder->start : std::string::npos;
  // The tray never reads a titem's list: it may hold anything, a placeholder before an icon.
  if (letter != 't') CheckExtensions(number, list);
  if (letter != 't' && GetQuotedField(line, 1) != kAddWord) {
    CheckShellFormat(number, arguments, input, letter == 'c');
  }
  CheckIcon(number, line);
}

void Checker::CheckIcon(std::size_t number, std::string_view line) {
  const std::string field = GetQuotedField(line, 4);
  if (ReadIconField(field).kind == IconField::Kind::Malformed) {
    Warn(number, "the icon field '" + field +
                     "' is not FILE, FILE,INDEX (a whole number) or -: "
                     "the entry shows no icon");
  }
}

void Checker::CheckSub(std::size_t number, std::string_view line, std::string_view lowered,
                       char letter) {
  const std::string list = GetQuotedField(line, 1);
  if (Contains(lowered, "end")) {
    Warn(number,
         "the line contains \"end\": inside a skipped submenu it closes the skip "
         "instead of opening a level");
  }
  CheckExtensions(number, list);
  subs_.push_back({number, GetQuotedField(line, 0), letter != 0 || !list.empty()});
}

bool Checker::ReadAsSeparator(std::size_t number, Kind kind, std::string_view lowered) {
  const char* meant = kind == Kind::Item  ? "an entry"
                      : kind == Kind::Sub ? "a submenu"
                      : kind == Kind::End ? "an end"
                                          : nullptr;
  if (meant == nullptr || !Contains(lowered, "sep")) return false;
  Warn(number, std::string("the line contains \"sep\" and is read as a separator, not ") + meant);
  return true;
}

void Checker::CheckEnd(std::size_t number) {
  if (subs_.empty()) {
    Warn(number, "\"end\" with no submenu open has no effect");
  } else {
    subs_.pop_back();
  }
}

void Checker::CheckOther(std::size_t number, std::string_view lowered, const char* ignored) {
  if (Contains(lowered, "sep")) {
    Warn(number, "the line contains \"sep\" and is read as a separator");
  } else if (Contains(lowered, "item")) {
    Warn(number, "the line contains \"item\" and is read as an entry");
  } else if (Contains(lowered, "sub")) {
    Warn(number, "the line contains \"sub\" and is read as a submenu");
  } else if (Contains(lowered, "end")) {
    Warn(number, "the line contains \"end\" and closes the current submenu");
  } else {
    Warn(number, ignored);
  }
}

void Checker::CheckHotkey(std::size_t number, std::string_view lowered) {
  if (trayBuilder_.HotkeyLine() == number) {
    Hotkey hotkey;
    const std::string why = ParseHotkey(trayBuilder_.HotkeyText(), hotkey);
    if (!why.empty()) {
      findings_.push_back({number, Finding::Severity::Error, "the hotkey cannot be read: " + why});
    }
    return;
  }
  static constexpr const char* kReadAs[][2] = {
      {"sep", "a separator"}, {"item", "an entry"}, {"sub", "a submenu"}, {"end", "an end"}};
  for (const auto& [keyword, meaning] : kReadAs) {
    if (Contains(lowered, keyword)) {
      Warn(number, std::string("the hotkey line contains \"") + keyword + "\" and is read as " +
                       meaning + ", not as a hotkey: no key name holds a keyword (the End key " +
                       "has none)");
      return;
    }
  }
  Warn(number, "only the first hotkey line counts (line " +
                   std::to_string(trayBuilder_.HotkeyLine()) + "): this one is ignored");
}

void Checker::Line(std::size_t number, std::string_view line) {
  CheckBytes(number, line);
  char letter = 0;
  const Kind kind = IntendedKind(line, letter);
  const std::string lowered = LowerAscii(line);

  const LineAction tray = trayBuilder_.Feed(line);
  shellBuilder_.Feed(line);
  if (tray == LineAction::EntryDropped && !trayOverflowReported_) {
    trayOverflowReported_ = true;
    Warn(number,
         "too many entries: the tray menu numbers entries up to 65535, later ones are "
         "left out");
  }

  if (kind == Kind::Blank || kind == Kind::Comment) return;
  if (Contains(line, "//")) {
    Warn(number, "\"//\" makes the whole line a comment (a web address?): the line is ignored");
    return;
  }
  // A line read as a separator is checked as one.
  switch (ReadAsSeparator(number, kind, lowered) ? Kind::Sep : kind) {
    case Kind::Item:
      CheckItem(number, line, lowered, letter);
      break;
    case Kind::Sub:
      CheckSub(number, line, lowered, letter);
      break;
    case Kind::End:
      CheckEnd(number);
      break;
    case Kind::Add:
      if (line != kAddWord) {
        Warn(number,
             "not the Add line: it must be exactly \"Add\", with that case and nothing "
             "else on the line");
      }
      break;
    case Kind::Icons:
      if (!IsIconsOffLine(line)) {
        CheckOther(number, lowered,
                   "not the icons line: it must read \"icons off\", and is ignored");
      }
      break;
    case Kind::Other:
      CheckOther(number, lowered);
      break;
    case Kind::Hotkey:
      CheckHotkey(number, lowered);
      break;
    case Kind::Sep:
    case Kind::Blank:
    case Kind::Comment:
      break;
  }
  if (kind == Kind::Item || kind == Kind::Sub || kind == Kind::Other) CheckFields(number, line);
}

void Checker::Finish(bool bytesAfterCtrlZ) {
  for (const OpenSub& sub : subs_) {
    Warn(sub.line, "the submenu '" + sub.caption + "' is never closed with \"end\"");
  }
  if (bytesAfterCtrlZ) {
    Warn(0, "the file holds a Ctrl-Z byte: nothing after it is read");
  }
}

}  // namespace

std::vector<Finding> CheckMenu(ByteSource& source) {
  LineReader reader(source);
  Checker checker(reader.Kind());
  std::string line;
  std::size_t number = 0;
  do {
    reader.ReadLine(line);
    if (reader.Repaired()) {
      checker.Warn(number + 1,
                   "the line holds bytes that are not UTF-8 (the file starts with "
                   "the UTF-8 mark): they are shown as U+FFFD");
    }
    checker.Line(++number, line);
  } while (!reader.AtEnd());
  checker.Finish(reader.HasBytesAfterCtrlZ());
  std::vector<Finding> findings = checker.Take();
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return findings;
}

std::string FormatFinding(const Finding& finding) {
  return std::to_string(finding.line) +
         (finding.severity == Finding::Severity::Error ? ": error: " : ": warning: ") +
         finding.text;
}

}  // namespace zel::menu
