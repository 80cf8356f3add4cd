// Runs the case files of tests/cases, one test per row, named by its "why". A file is one JSON
// object: its key "zelmenu" holds groups of zelmenu runs, every other key names a function of
// kFunctions and holds rows ["why", input, expected].
//   group: {"why", "menu" (the default menu file: a text, or lines that each end in CR LF),
//     "unreadable" [path], "system" (FakeSystem fields), "moduleFolder", "runs": [run...]}
//   run: ["why", args, expected lines (null: not looked at), {"status", "err" (a part)}]
// Strings carry bytes: U+0000..U+00FF are the bytes 0..255. An expected {"contains": S} stands
// for any text that holds S.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "launch/icon_choice.h"
#include "menu/hotkey.h"
#include "menu/line_scan.h"
#include "menu/menu_check.h"
#include "menu/placeholder.h"
#include "menu/menu_icons.h"
#include "shellext/handler_rules.h"
#include "shellext/registration.h"
#include "tests/unit/fake_files.h"
#include "tests/unit/fake_system.h"
#include "editor/editor_layout.h"
#include "editor/editor_logic.h"
#include "tray/prompt_layout.h"
#include "zelmenu/zelmenu_app.h"

namespace zel::test {
namespace {

using nlohmann::json;
using In = const json&;

std::string B(In text) {
  if (text.is_null()) return {};
  const std::string& utf8 = text.get_ref<const std::string&>();
  std::string bytes;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead > 0xC3) throw std::invalid_argument("a case string holds a character above U+00FF");
    bytes += lead < 0x80 ? utf8[i] : static_cast<char>((lead & 3) << 6 | (utf8[++i] & 0x3F));
  }
  return bytes;
}

std::vector<std::string> Strings(In list) {
  std::vector<std::string> strings;
  for (In text : list) strings.push_back(B(text));
  return strings;
}

json T(std::string_view bytes) { return zelmenu::BytesToUtf8(bytes); }
json T(bool value) { return value; }
json T(const std::vector<std::string>& texts) {
  json out = json::array();
  for (const std::string& text : texts) out.push_back(T(text));
  return out;
}

// The name of an enum value, by explicit pairs: a reordered enum cannot mislabel.
template <typename Enum>
json Named(Enum value, std::initializer_list<std::pair<Enum, const char*>> names) {
  for (const auto& [known, name] : names) {
    if (known == value) return name;
  }
  return "unnamed";
}

// Hands out at most `chunk` bytes a read, so line ends fall across buffer refills.
struct ChunkedSource final : menu::ByteSource {
  ChunkedSource(std::string_view bytes, std::size_t chunk) : bytes(bytes), chunk(chunk) {}
  std::size_t Read(char* buffer, std::size_t capacity) override {
    return bytes.Read(buffer, std::min(capacity, chunk));
  }
  menu::MemorySource bytes;
  std::size_t chunk;
};

// The lines of a text, which must not depend on how the source hands out its bytes.
json Lines(In in) {
  const std::string bytes = B(in);
  json first;
  for (const std::size_t chunk : {1, 2, 3, 1 << 16}) {
    ChunkedSource source(bytes, chunk);
    menu::LineReader reader(source);
    std::vector<std::string> lines(1);
    for (reader.ReadLine(lines.back()); !reader.AtEnd(); reader.ReadLine(lines.back())) {
      lines.emplace_back();
    }
    if (first.is_null()) first = T(lines);
    if (T(lines) != first) return {{"chunk", chunk}, {"lines", T(lines)}};
  }
  return first;
}

json T(const ui::Box& box) { return {box.left, box.top, box.width, box.height}; }
template <typename Item, std::size_t n>
json T(const std::array<Item, n>& items) {
  json out = json::array();
  for (const Item& item : items) out.push_back(T(item));
  return out;
}

// Paths are read in code page 932, which leaves ASCII as it is: "\u0083\\" is ソ.
const LeadByteTest kCp = Cp932LeadByte;

using Function = std::function<json(In)>;

// A function of one text (and the code page), with its result as case data.
template <typename Result, typename Text>
Function OfText(Result (*function)(Text)) {
  return [function](In in) { return T(function(B(in))); };
}
template <typename Result>
Function OfPath(Result (*function)(std::string_view, LeadByteTest)) {
  return [function](In in) { return T(function(B(in), kCp)); };
}

const std::map<std::string, Function> kFunctions = {
    {"Lines", Lines},
    {"QuietLines",  // [lines, bytes] from both builds, or "builds differ"
     [](In in) {
       const std::string text = B(in);
       const menu::QuietLines quiet = menu::FindQuietLines(text.data(), text.size());
       const menu::QuietLines portable = menu::PortableFindQuietLines(text.data(), text.size());
       const bool same = quiet.lines == portable.lines && quiet.size == portable.size;
       return same ? json{quiet.lines, quiet.size} : json("builds differ");
     }},
    {"QuotedFields",  // fields 0 to 3
     [](In in) {
       std::vector<std::string> fields;
       for (std::size_t n = 0; n < 4; ++n) fields.push_back(menu::GetQuotedField(B(in), n));
       return T(fields);
     }},
    {"ParseHotkey",  // [modifiers, virtual key], or why not
     [](In in) {
       menu::Hotkey key;
       const std::string why = menu::ParseHotkey(B(in), key);
       return why.empty() ? json{key.modifiers, key.key} : T(why);
     }},
    {"GetListItem",
     [](In in) { return T(launch::GetListItem(B(in[0]), B(in[1])[0], in[2], kCp)); }},
    {"RunsThroughCmd", OfPath(launch::RunsThroughCmd)},
    {"InterpreterActsOn",  // [program, text] -> the interpreter that acts on the text, or null
     [](In in) {
       const launch::Interpreter* interpreter = launch::InterpreterOf(B(in[0]), kCp);
       const bool acts = interpreter && launch::ActsOn(*interpreter, B(in[1]), kCp);
       return acts ? T(interpreter->name) : json();
     }},
    {"TryStrToInt",  // the value, or null when refused and the value is left as it was
     [](In in) {
       std::int32_t value = 99;
       return launch::TryStrToInt(B(in), value) ? json(value) : value == 99 ? json() : json("set");
     }},
    {"ExtractFolder", OfPath(launch::ExtractFolder)},
    {"NeedsQuotes",  // a list of paths
     [](In in) {
       json needs = json::array();
       for (const std::string& path : Strings(in)) needs.push_back(launch::NeedsQuotes(path, kCp));
       return needs;
     }},
    {"PlacePath",  // [arguments with \u0001 for the path, path]: the arguments, or null
     [](In in) {
       const auto placed = launch::PlacePath(B(in[0]), B(in[1]), kCp);
       return placed ? T(*placed) : json();
     }},
    {"FindPlaceholder",  // [start, length, argument, closed], or null
     [](In in) {
       const auto found = menu::FindPlaceholder(B(in));
       return found ? json{found->start, found->length, T(found->argument), found->closed} : json();
     }},
    {"PlanDllCall",  // [dll, procedure, arguments...]: integers as numbers, texts as strings
     [](In in) {
       const launch::DllCallPlan plan = launch::PlanDllCall(B(in));
       json call = {T(plan.dll), T(plan.procedure)};
       for (const auto& a : plan.arguments) call.push_back(a.isText ? T(a.text) : json(a.number));
       return call;
     }},
    {"TextArgumentBytes",
     [](In in) {
       const std::vector<char> bytes = launch::TextArgumentBytes(B(in));
       return T({bytes.data(), bytes.size()});
     }},
    {"ClassifyName",
     [](In in) {
       using K = launch::NameKind;
       return Named(launch::ClassifyName(B(in), kCp), {{K::Bare, "Bare"},
                                                       {K::Relative, "Relative"},
                                                       {K::Rooted, "Rooted"},
                                                       {K::Absolute, "Absolute"},
                                                       {K::DriveRelative, "DriveRelative"}});
     }},
    {"PathFolders", OfPath(launch::PathFolders)},
    {"IconField",  // [kind, file, index]
     [](In in) {
       const std::string text = B(in);
       const menu::IconField field = menu::ReadIconField(text);
       using K = menu::IconField::Kind;
       return json{Named(field.kind, {{K::Default, "Default"},
                                      {K::None, "None"},
                                      {K::File, "File"},
                                      {K::Malformed, "Malformed"}}),
                   T(field.file), field.index};
     }},
    {"ChooseIcon",  // [host, command, arguments, fifth field] -> [kind, name, index]
     [](In in) {
       const menu::MenuData entry{B(in[1]), B(in[2])};
       const std::string field = B(in[3]);
       const auto choice = launch::ChooseIcon(
           in[0] == "tray" ? menu::Host::Tray : menu::Host::Shell, entry, field, kCp);
       using K = launch::IconChoice::Kind;
       return json{Named(choice.kind, {{K::None, "None"},
                                       {K::Program, "Program"},
                                       {K::Dll, "Dll"},
                                       {K::File, "File"},
                                       {K::Editor, "Editor"}}),
                   T(choice.name), choice.index};
     }},
    {"IsIconsOffLine", OfText(menu::IsIconsOffLine)},
    {"WantsSubmenu", [](In in) { return T(shellext::WantsSubmenu(in)); }},
    {"ServesSelection", [](In in) { return T(shellext::ServesSelection(in[0], in[1])); }},
    {"ReportedCount", [](In in) { return shellext::ReportedCount(in[0], in[1], in[2]); }},
    {"EntryForOffset",  // in a table of a.exe, b.exe whose shorter rebuild left c.exe behind
     [](In in) {
       const menu::MenuTable table{{{"a.exe", ""}, {"b.exe", ""}, {"c.exe", ""}}, 2};
       const menu::MenuData* entry = shellext::EntryForOffset(table, in);
       return entry ? T(entry->Command) : json();
     }},
    {"CopyHelpText",  // [copied, the first 16 bytes of a buffer of '#'], null: no buffer
     [](In in) {
       std::string buffer(80, '#');
       const bool copied = shellext::CopyHelpText(in.is_null() ? nullptr : buffer.data(),
                                                  in.is_null() ? 64 : in.get<std::size_t>());
       return json{copied, T(buffer.substr(0, 16))};
     }},
    {"ServerPath", [](In in) { return T(shellext::ServerPath(B(in[0]), B(in[1]))); }},
    {"ArgumentFormat",  // around the path P.TXT
     [](In in) { return T(menu::FormatWithText(B(in), "P.TXT").text); }},
    {"ArgumentFormatSize",
     [](In in) {
       const menu::Formatted formatted = menu::FormatWithText(B(in), "x");
       return json{formatted.text.size(), formatted.cut};
     }},
    {"RefusedConversion",  // a list of formats
     [](In in) {
       json found = json::array();
       for (const std::string& format : Strings(in)) {
         const auto conversion = menu::FirstRefusedConversion(format);
         found.push_back(conversion ? T(conversion->In(format)) : json());
       }
       return found;
     }},
    {"PortableExpand",  // with ZEL_PLAN_VAR set to "val" and ZEL_PLAN_UNSET unset
     [](In in) {
       ::setenv("ZEL_PLAN_VAR", "val", 1);
       ::unsetenv("ZEL_PLAN_UNSET");
       return T(zelmenu::PortablePlanSystem().ExpandEnvironment(B(in)));
     }},
    {"ToCrLf", OfText(editor::ToCrLf)},
    {"MenuBytesProblem",  // of a text, or of a number of bytes
     [](In in) {
       const std::string bytes = in.is_number() ? std::string(in.get<std::size_t>(), 'x') : B(in);
       return T(editor::DescribeProblem(editor::CheckMenuBytes(bytes)));
     }},
    {"ArgumentText", OfText(editor::ArgumentText)},
    {"PathFromArgument", OfText(editor::PathFromArgument)},
    {"IsProgramPath", OfPath(editor::IsProgramPath)},
    {"LastPart", OfPath(editor::LastPart)},
    {"NameWithoutExtension", OfPath(editor::NameWithoutExtension)},
    {"ExtensionList",  // a path of an ANSI file, or [a path] of a UTF-8 one
     [](In in) {
       return in.is_array() ? T(editor::ExtensionList(B(in[0]), NoLeadBytes, TextKind::Utf8))
                            : T(editor::ExtensionList(B(in), kCp, TextKind::Ansi));
     }},
    {"SafeCaption", [](In in) { return T(editor::SafeCaption(B(in[0]), Strings(in[1]))); }},
    {"FieldText",  // the field, or null where none can hold the value
     [](In in) {
       std::string field;
       return editor::FieldText(B(in), field) ? T(field) : json();
     }},
    {"EntryLine",  // [kind, paths, program paths] -> the line or why none can be made
     [](In in) {
       using K = editor::ObjectKind;
       const std::map<json, K> kinds{
           {"Program", K::Program}, {"Folder", K::Folder}, {"Document", K::Document}};
       const editor::EntryLine entry =
           editor::BuildEntryLine({kinds.at(in[0]), Strings(in[1]), Strings(in[2]), kCp});
       if (entry.line.empty() == entry.problem.empty()) return json("not exactly one of them");
       return T(entry.line + entry.problem);
     }},
    {"EndsInsideSubmenu", OfText(editor::EndsInsideSubmenu)},
    {"Scaled", [](In in) { return json(ui::Scaled(in[0], in[1])); }},  // [pixels, dpi]
    {"FitInside",  // [window, area], each [left, top, width, height]
     [](In in) {
       const auto box = [](In b) { return ui::Box{b[0], b[1], b[2], b[3]}; };
       return T(ui::FitInside(box(in[0]), box(in[1])));
     }},
    {"PromptLayout",  // dpi -> the window in a work area of 1280 by 1024, controls, font
     [](In in) {
       return json{{"window", T(tray::PromptWindowBox(1280, 1024, in))},
                   {"controls", T(tray::PromptControlBoxes(in))},
                   {"font", tray::PromptFontHeight(in)}};
     }},
    {"EditorLayout",  // [width, height, dpi, caption widths] -> buttons, status, text, findings
     [](In in) {
       const editor::EditorLayout layout = editor::LayOutEditor(
           in[0], in[1], in[2], in[3].get<std::array<int, editor::kEditorButtons>>());
       return json{{"buttons", T(layout.buttons)},
                   {"status", T(layout.status)},
                   {"text", T(layout.text)},
                   {"findings", T(layout.findings)}};
     }},
    {"EditorSizes",  // dpi -> window, smallest window, findings' extent, font heights
     [](In in) {
       return json{{"window", T(editor::EditorWindowSize(in))},
                   {"smallest", T(editor::SmallestEditorSize(in))},
                   {"findingsExtent", editor::FindingsExtent(in)},
                   {"fonts", {editor::EditorUiFontHeight(in), editor::EditorTextFontHeight(in)}}};
     }},
    {"AppendLine",  // [the text with the line, the line's index]
     [](In in) {
       std::size_t index = 99;
       const std::string text = editor::AppendLine(B(in[0]), B(in[1]), index);
       return json{T(text), index};
     }},
};

// The member `key` of an object, or null, which iterates as empty.
In At(In object, const char* key) {
  static const json none;
  return object.contains(key) ? object[key] : none;
}

FakeSystem SystemOf(In config) {
  FakeSystem system;
  if (config.contains("searchFolders")) system.searchFolders = Strings(config["searchFolders"]);
  for (const std::string& file : Strings(At(config, "files"))) system.files.insert(file);
  for (const std::string& folder : Strings(At(config, "folders"))) system.folders.insert(folder);
  for (const auto& [k, v] : At(config, "shortNames").items()) system.shortNames[B(k)] = B(v);
  for (const auto& [k, v] : At(config, "variables").items()) system.variables[B(k)] = B(v);
  system.everyFileExists = At(config, "everyFileExists") == true;
  return system;
}

// A finding matches "LINE: SEVERITY: part" when it starts with the first two and holds the part.
bool FindingMatches(const std::string& want, const std::string& line) {
  const std::size_t cut = want.find(": ", want.find(": ") + 2) + 2;
  return line.compare(0, cut, want, 0, cut) == 0 &&
         line.find(want.substr(cut), cut) != std::string::npos;
}

// One run of zelmenu on a group's menu: [why, args, expected, {"status", "err"}]. With --json
// the output is compared as JSON; from check, lines are findings; otherwise lines are exact.
void RunZelmenu(In group, In run) {
  In menu = At(group, "menu");
  std::string text = menu.is_string() ? B(menu) : "";
  for (const std::string& line : Strings(menu.is_array() ? menu : json())) text += line + "\r\n";
  FakeFiles files;
  files.Put("Menu.txt", text);
  for (const std::string& path : Strings(At(group, "unreadable"))) files.PutUnreadable(path);
  FakeSystem system = SystemOf(At(group, "system"));
  const std::vector<std::string> args = Strings(run[1]);
  In expected = run[2];
  const json options = run.size() > 3 ? run[3] : json::object();
  std::string out, err;
  const auto systemFor = [&system](TextKind kind) -> launch::LaunchSystem& {
    system.kind = kind;
    return system;
  };
  const int status = zelmenu::RunZelmenu(args, out, err, files, "Menu.txt", systemFor,
                                         B(At(group, "moduleFolder")));
  const bool check = !args.empty() && args[0] == "check";
  EXPECT_EQ(status, options.value("status", check && !expected.empty() ? 1 : 0)) << err;
  EXPECT_TRUE(options.contains("err") ? err.find(B(options["err"])) != std::string::npos
                                      : err.empty())
      << err;
  if (expected.is_null()) return;
  if (std::count(args.begin(), args.end(), "--json") != 0) {
    EXPECT_EQ(json::parse(out, nullptr, false), expected);
    return;
  }
  std::vector<std::string> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  if (!check) {
    EXPECT_EQ(T(lines), expected);
    return;
  }
  EXPECT_EQ(lines.size(), expected.size()) << out;
  for (std::size_t i = 0; i < std::min(lines.size(), expected.size()); ++i) {
    EXPECT_TRUE(FindingMatches(B(expected[i]), lines[i])) << B(expected[i]) << " / " << lines[i];
  }
}

// One row of a case file: a function's [why, input, expected], or one run of a zelmenu group.
struct Row {
  std::string name, file, function;
  json group, row;
};

// Where the row stands, for ctest's list of tests.
void PrintTo(const Row& row, std::ostream* os) { *os << row.file; }

class Case : public ::testing::TestWithParam<Row> {};

TEST_P(Case, Holds) {
  const Row& c = GetParam();
  if (c.function == "zelmenu") return RunZelmenu(c.group, c.row);
  ASSERT_EQ(kFunctions.count(c.function), 1u) << "no function " << c.function;
  const json actual = kFunctions.at(c.function)(c.row[1]);
  In expected = c.row[2];
  const bool holds =
      expected.is_object() && expected.contains("contains")
          ? actual.is_string() && B(actual).find(B(expected["contains"])) != std::string::npos
          : expected == actual;
  EXPECT_TRUE(holds) << c.row << "\n  actual " << actual;
}

// "a file's folder" as AFilesFolder: a test name says the behaviour that failed.
std::string NameOf(const std::string& why) {
  std::string name;
  bool upper = true;
  for (const char c : why) {
    const bool letter = std::isalnum(static_cast<unsigned char>(c)) != 0;
    if (letter) name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = !letter && (upper || c != '\'');
  }
  return name;
}

std::vector<Row> Rows() {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(ZEL_CASES_DIR)) {
    if (entry.path().extension() == ".json") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<Row> rows;
  std::map<std::string, int> seen;
  const auto add = [&](const std::string& name, Row row) {
    const int n = ++seen[name];
    row.name = n == 1 ? name : name + std::to_string(n);
    rows.push_back(std::move(row));
  };
  for (const std::filesystem::path& path : paths) {
    std::ifstream stream(path);
    const std::string file = path.filename().string();
    const json cases = json::parse(stream);
    for (const auto& [function, entries] : cases.items()) {
      for (In entry : entries) {
        if (function != "zelmenu") {
          add(function + "_" + NameOf(entry[0]), {"", file, function, {}, entry});
          continue;
        }
        for (In run : entry.at("runs")) {
          add(NameOf(entry.at("why")) + "_" + NameOf(run[0]), {"", file, function, entry, run});
        }
      }
    }
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zel::test
