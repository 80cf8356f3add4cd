#include "editor/editor_logic.h"

#include <algorithm>

#include "launch/launcher.h"
#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_file.h"
#include "menu/menu_tree.h"

namespace zel::editor {

const char kExampleMenu[] =
    "// Zelvane menu. Each line is one item of the tray menu and the shell menu:\r\n"
    "//   item 'Caption','program.exe','arguments'\r\n"
    "// For example, without the two slashes:\r\n"
    "//   item 'Notepad','notepad.exe'\r\n"
    "//   item 'Windows folder','explorer.exe','C:\\Windows'\r\n"
    "// Lines that contain two slashes anywhere are comments.\r\n";

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The keywords that must not appear anywhere in a line of the given form. An "item" line for
// both programs is read as an entry before "sub" and "end" are looked at, but "sep" comes
// first, and a host letter in front of "item" anywhere makes it one program's only. A "citem"
// line is not an entry in the tray program (nor in the shell menu of other files), and there
// every later test sees its whole text.
const std::vector<std::string>& ForbiddenIn(ObjectKind kind) {
  static const std::vector<std::string> kItem = {"sep", "titem", "citem", "//"};
  static const std::vector<std::string> kCitem = {"sep", "sub", "end", "//"};
  return kind == ObjectKind::Document ? kCitem : kItem;
}

// Why `value` cannot go into a field of a line with the `forbidden` keywords; empty when it
// can. Percent signs are refused too: the tray program expands %NAME% references in commands
// and arguments, and the shell extension formats arguments with them.
std::string FieldProblem(std::string_view value, const std::vector<std::string>& forbidden) {
  std::string field;
  if (!FieldText(value, field)) {
    return "a quote at its start or end, or two quotes in a row, cannot be written in a field";
  }
  const std::string lowered = LowerAscii(value);
  for (const std::string& keyword : forbidden) {
    if (Contains(lowered, keyword)) {
      return "it holds \"" + keyword +
             "\", which the menu file reads as a keyword anywhere in "
             "a line";
    }
  }
  if (Contains(value, "%")) {
    return "a percent sign would be read as an environment reference or a placeholder";
  }
  return {};
}

// The first form of a path that a field can carry; `problem` says why none can.
bool ChoosePath(const std::vector<std::string>& forms, const std::vector<std::string>& forbidden,
                const std::string& what, std::string& chosen, std::string& problem) {
  std::string firstProblem;
  for (const std::string& form : forms) {
    if (form.empty()) continue;
    const std::string why = FieldProblem(form, forbidden);
    if (why.empty()) {
      chosen = form;
      return true;
    }
    if (firstProblem.empty()) firstProblem = why;
  }
  if (forms.empty() || forms.front().empty()) {
    problem = "The " + what + " has no path.";
  } else {
    problem = "The " + what + " \"" + forms.front() + "\" cannot be written into the menu file" +
              (forms.size() > 1 ? ", not even in its short form" : "") + ": " + firstProblem + ".";
  }
  return false;
}

std::string Quoted(std::string_view value) {
  std::string field;
  FieldText(value, field);
  return "'" + field + "'";
}

// Both programs must read the line as one entry with exactly these fields, and the checker
// must find nothing: the final word on every trap the format has.
std::string VerifyLine(const std::string& line, ObjectKind kind, const std::string& command,
                       const std::string& arguments, const std::string& selectedPath,
                       TextKind text) {
  const std::string file = (text == TextKind::Utf8 ? std::string(kUtf8Mark) : "") + line;
  menu::MemorySource source(file);
  const std::vector<menu::Finding> findings = menu::CheckMenu(source);
  if (!findings.empty()) return findings.front().text;

  for (const menu::Host host : {menu::Host::Tray, menu::Host::Shell}) {
    menu::BuildRequest request;
    request.host = host;
    request.selected = {{selectedPath, selectedPath}};  // in the file's kind, which picks one
    menu::MenuTreeSink sink;
    menu::MenuTable table;
    menu::MenuBuilder builder(request, sink, sink.Root(), table, text);
    const menu::LineAction action = builder.Feed(line);
    const bool wanted = host == menu::Host::Shell || kind != ObjectKind::Document;
    if (!wanted) {
      if (action != menu::LineAction::Ignored) return "the tray program would not ignore it";
      continue;
    }
    const menu::MenuData* entry = table.Find(0);
    if (action != menu::LineAction::Entry || entry == nullptr || entry->Command != command ||
        entry->Arguments != arguments) {
      return "a program would read it as something else";
    }
  }
  return {};
}

}  // namespace

TextProblem CheckMenuBytes(std::string_view bytes) {
  if (bytes.size() > kMaxMenuFileBytes) return TextProblem::TooLarge;
  if (Contains(bytes, std::string_view("\0", 1))) return TextProblem::NulByte;
  return TextProblem::None;
}

std::string DescribeProblem(TextProblem problem) {
  switch (problem) {
    case TextProblem::None:
      return {};
    case TextProblem::NulByte:
      return "The menu file holds a NUL byte. A menu file is text, and the editor would lose "
             "everything after that byte, so it does not open the file. Remove the byte with "
             "another editor, or delete the file to start afresh.";
    case TextProblem::TooLarge:
      return "The menu file is larger than " + std::to_string(kMaxMenuFileBytes / 1024) +
             " KB, far beyond any menu; it may not be a menu file at all. The editor does not "
             "open it.";
  }
  return {};
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view ArgumentText(std::string_view commandLine) {
  std::size_t pos = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    // A quoted program name ends at the next quote; the C runtime allows no escapes there.
    const std::size_t close = commandLine.find('"', 1);
    pos = close == std::string_view::npos ? commandLine.size() : close + 1;
  }
  while (pos < commandLine.size() && !IsBlank(commandLine[pos])) ++pos;
  while (pos < commandLine.size() && IsBlank(commandLine[pos])) ++pos;
  return commandLine.substr(pos);
}

std::string PathFromArgument(std::string_view argumentText) {
  std::size_t begin = 0;
  std::size_t end = argumentText.size();
  while (begin < end && IsBlank(argumentText[begin])) ++begin;
  while (end > begin && IsBlank(argumentText[end - 1])) --end;
  if (end - begin >= 2 && argumentText[begin] == '"' && argumentText[end - 1] == '"') {
    ++begin;
    --end;
    while (begin < end && IsBlank(argumentText[begin])) ++begin;
    while (end > begin && IsBlank(argumentText[end - 1])) --end;
  }
  return std::string(argumentText.substr(begin, end - begin));
}

ObjectInfo InspectObject(const std::string& path, launch::LaunchSystem& system) {
  using launch::Object;
  ObjectInfo info;
  const Object found = path.empty() ? Object::None : system.Find(path);
  if (found == Object::None) return info;
  info.folder = found == Object::Folder;
  const std::string full = system.FullPath(path);
  const std::string base = full.empty() ? path : full;
  for (const std::string& form : {system.LongPath(base), base, system.ShortPath(base)}) {
    if (form.empty() || system.Find(form) == Object::None) continue;
    if (std::find(info.paths.begin(), info.paths.end(), form) == info.paths.end()) {
      info.paths.push_back(form);
    }
  }
  return info;
}

bool IsProgramPath(std::string_view path, LeadByteTest lead) {
  const std::string lowered = LowerAscii(LastPart(path, lead));
  for (const char* ext : {".exe", ".com", ".bat", ".cmd"}) {
    if (lowered.size() > 4 && lowered.compare(lowered.size() - 4, 4, ext) == 0) return true;
  }
  return false;
}

std::string LastPart(std::string_view path, LeadByteTest lead) {
  const auto lastSlash = [lead](std::string_view text) {
    return FindChar(text, "\\/", lead, /*last=*/true);
  };
  while (path.size() > 1 && lastSlash(path) == path.size() - 1) path.remove_suffix(1);
  const std::size_t slash = lastSlash(path);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string NameWithoutExtension(std::string_view path, LeadByteTest lead) {
  std::string name = LastPart(path, lead);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string ExtensionList(std::string_view path, LeadByteTest lead, TextKind kind) {
  const std::string name = LastPart(path, lead);
  const std::size_t dot = name.rfind('.');
  const auto last = [kind](std::string_view text, std::size_t count) {
    return kind == TextKind::Utf8 ? LastCharacters(text, count)
                                  : text.substr(text.size() - std::min(count, text.size()));
  };
  const std::string_view extension = std::string_view(name).substr(std::min(dot, name.size()));
  if (dot == std::string::npos || dot == 0 || last(extension, 2) == extension) return {};
  const std::string exact(last(name, 3));
  const std::string lowered = LowerAscii(exact);
  return lowered == exact ? exact : lowered + "," + exact;
}

std::string SafeCaption(std::string_view name, const std::vector<std::string>& forbidden) {
  // Quote runs become one quote, and quotes at the ends go: a field can hold neither.
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\'' && !text.empty() && text.back() == '\'') continue;
    text += name[i];
  }
  const auto strip = [](char c) { return c == '\'' || IsBlank(c); };
  while (!text.empty() && strip(text.front())) text.erase(0, 1);
  while (!text.empty() && strip(text.back())) text.pop_back();
  if (text.empty()) text = "New entry";

  std::string caption;
  for (const char c : text) {
    caption += c;
    if (c == '&') caption += '&';
  }
  // An "&" is no letter, so each one inserted removes one keyword and can make none.
  for (bool changed = true; changed;) {
    changed = false;
    const std::string lowered = LowerAscii(caption);
    for (const std::string& keyword : forbidden) {
      const std::size_t at = lowered.find(keyword);
      if (at == std::string::npos) continue;
      caption.insert(at + 1, "&");
      changed = true;
      break;
    }
  }
  return caption;
}

bool FieldText(std::string_view value, std::string& field) {
  if (!value.empty() && (value.front() == '\'' || value.back() == '\'')) return false;
  if (Contains(value, "''")) return false;
  field.clear();
  for (const char c : value) {
    field += c;
    if (c == '\'') field += '\'';
  }
  return true;
}

EntryLine BuildEntryLine(const AddRequest& request) {
  EntryLine result;
  const std::vector<std::string>& forbidden = ForbiddenIn(request.kind);
  const std::string objectPath = request.paths.empty() ? std::string() : request.paths.front();

  std::string path;
  std::string command;
  std::string arguments;
  std::string caption;
  std::string list;
  switch (request.kind) {
    case ObjectKind::Program:
      if (!ChoosePath(request.paths, forbidden, "program", path, result.problem)) return result;
      command = path;
      caption = SafeCaption(NameWithoutExtension(objectPath, request.lead), forbidden);
      result.line = "item " + Quoted(caption) + "," + Quoted(command);
      break;
    case ObjectKind::Folder: {
      if (!ChoosePath(request.paths, forbidden, "folder", path, result.problem)) return result;
      command = "explorer.exe";
      // Explorer splits its command line at commas; quoting keeps the path whole.
      const bool quote = path.find_first_of(" ,") != std::string::npos;
      arguments = quote ? "\"" + path + "\"" : path;
      caption = SafeCaption(LastPart(objectPath, request.lead), forbidden);
      result.line = "item " + Quoted(caption) + "," + Quoted(command) + "," + Quoted(arguments);
      break;
    }
    case ObjectKind::Document: {
      if (!ChoosePath(request.programPaths, forbidden, "program", path, result.problem)) {
        return result;
      }
      command = path;
      // cmd.exe runs a batch file and splits its arguments at blanks and ",;=": quoted, the
      // path stays one argument (the shell refuses names with what cmd acts on in any case).
      // Byte by byte is enough for the ".bat" at the end: no ASCII letter or dot opens a
      // double-byte character.
      arguments = launch::RunsThroughCmd(path, NoLeadBytes) ? "\"%s\"" : "%s";
      list = ExtensionList(objectPath, request.lead, request.text);
      const std::string why = FieldProblem(list, forbidden);
      if (!why.empty()) {
        result.problem = "The extension of \"" + objectPath +
                         "\" cannot be written into the menu file: " + why + ".";
        return result;
      }
      caption =
          SafeCaption(NameWithoutExtension(request.programPaths.front(), request.lead), forbidden);
      result.line = "citem " + Quoted(caption) + "," + Quoted(command) + "," + Quoted(arguments);
      if (!list.empty()) result.line += "," + Quoted(list);
      break;
    }
  }

  const std::string why =
      VerifyLine(result.line, request.kind, command, arguments, objectPath, request.text);
  if (!why.empty()) {
    result.problem = "No safe menu line can be made for \"" + objectPath + "\": " + why + ".";
    result.line.clear();
  }
  return result;
}

bool EndsInsideSubmenu(std::string_view text) {
  for (const menu::Host host : {menu::Host::Tray, menu::Host::Shell}) {
    menu::BuildRequest request;
    request.host = host;
    menu::MenuTreeSink sink;
    menu::MenuTable table;
    menu::MemorySource source(text);
    menu::LineReader reader(source);
    menu::MenuBuilder builder(request, sink, sink.Root(), table, reader.Kind());
    menu::FeedLines(builder, reader);
    if (builder.Depth() > 0 || builder.Skipping()) return true;
  }
  return false;
}

std::string AppendLine(std::string_view text, std::string_view line, std::size_t& lineIndex) {
  std::string out(text);
  if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
  lineIndex = static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n'));
  out += line;
  out += "\r\n";
  return out;
}

std::string ReplaceKeepingBackup(FileReplacer& files, const std::string& path,
                                 const std::string& replacement, const std::string& backup,
                                 LeadByteTest lead) {
  const FileReplacer::Result replaced = files.Replace(path, replacement, backup);
  if (replaced.outcome == FileReplacer::Outcome::Replaced) return {};
  const std::string failed = "The menu file " + path + " cannot be replaced: " + replaced.why;
  if (replaced.outcome == FileReplacer::Outcome::Failed) return failed;
  const std::string stuck = files.Move(backup, path);
  if (stuck.empty()) return failed;
  return failed + "\n\nYour menu is now only in " + backup + ": it could not be moved back (" +
         stuck + "). Rename it to " + LastPart(path, lead) + " to have it again.";
}

}  // namespace zel::editor
