#include "launch/launcher.h"

#include <algorithm>

#include "menu/argument_format.h"
#include "menu/menu_build.h"

namespace zel::launch {
namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// True when the name's last part has an extension, or ends in a dot that stands for none:
// the system then appends no default extension.
bool HasExtension(std::string_view name, LeadByteTest lead) {
  const std::size_t part = FindChar(name, "\\/", lead, true);
  return name.find('.', part == std::string_view::npos ? 0 : part + 1) != std::string_view::npos;
}

// `suffix` in lower case.
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         LowerAscii(text.substr(text.size() - suffix.size())) == suffix;
}

// The text with every "/" turned into "\", by character.
std::string WithBackslashes(std::string text, LeadByteTest lead) {
  for (std::size_t pos = 0, length; pos < text.size(); pos += length) {
    length = CharLength(text, pos, lead);
    if (length == 1 && text[pos] == '/') text[pos] = '\\';
  }
  return text;
}

}  // namespace

NameKind ClassifyName(std::string_view name, LeadByteTest lead) {
  if (name.size() >= 2 && IsDriveLetter(name[0]) && name[1] == ':') {
    return name.size() >= 3 && IsSlash(name[2]) ? NameKind::Absolute : NameKind::DriveRelative;
  }
  if (name.size() >= 2 && IsSlash(name[0]) && IsSlash(name[1])) return NameKind::Absolute;
  if (!name.empty() && IsSlash(name[0])) return NameKind::Rooted;
  if (FindChar(name, "\\/", lead) != std::string_view::npos) return NameKind::Relative;
  return NameKind::Bare;
}

std::vector<std::string> PathFolders(std::string_view pathValue, LeadByteTest lead) {
  std::vector<std::string> folders;
  while (!pathValue.empty()) {
    const std::size_t end = FindChar(pathValue, ";", lead);
    const std::string_view folder = pathValue.substr(0, end);
    pathValue.remove_prefix(end == std::string_view::npos ? pathValue.size() : end + 1);
    std::string unquoted;  // no double-byte character has a quote for its second byte
    for (char c : folder) {
      if (c != '"') unquoted += c;
    }
    if (ClassifyName(unquoted, lead) == NameKind::Absolute && unquoted.size() > 2) {
      folders.push_back(std::move(unquoted));
    }
  }
  return folders;
}

namespace {

// The file name of `program` as CreateProcess and cmd read it: no folder or drive, no stream,
// no trailing dots and blanks.
std::string_view BaseName(std::string_view program, LeadByteTest lead) {
  const std::size_t slash = FindChar(program, "\\/", lead, true);
  std::string_view name = program.substr(slash == std::string_view::npos ? 0 : slash + 1);
  // "D:x.bat" names a file in that drive's current folder; "x.bat:stream" opens x.bat.
  if (name.size() > 1 && name[1] == ':' && IsDriveLetter(name[0])) name.remove_prefix(2);
  name = name.substr(0, FindChar(name, ":", lead));
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

// A base name (BaseName) that the system hands to cmd.exe as a batch file.
bool IsBatchName(std::string_view name) {
  return EndsWithIgnoringCase(name, ".bat") || EndsWithIgnoringCase(name, ".cmd");
}

bool IsBatchFile(std::string_view program, LeadByteTest lead) {
  return IsBatchName(BaseName(program, lead));
}

// What the programs that read their arguments as commands act on, from their documentation.
// cmd.exe: its operators, variables and escapes, inside quotes too (cmd /?). PowerShell joins
// the arguments after -Command (the default of powershell.exe; pwsh's takes a script file)
// into script text, with their quotes taken off (about_PowerShell_exe, about_Pwsh): a blank
// splits, and ; & | < > ( ) { } $ @ ' ` # , are operators, expressions, strings or comments;
// it reads the typographic quotes and dashes outside ASCII as ' " and -. The arguments of
// -File are literal strings, but which switch an entry uses is not looked into. wt splits its
// command line into subcommands at every ";", whatever quotes stand around it (Windows
// Terminal's command-line arguments). wsl.exe hands its command line to the Linux default
// shell unless -e is given, and bash (and sh) run the text after -c: blanks split, quotes,
// globs, braces, history and substitutions ("~" only at the start of a word, where no path has
// it). mshta reads its argument as a URL, and a vbscript:, javascript: or about: URL is script or
// HTML with %-escapes.
constexpr Interpreter kCmd = {"cmd", "&|<>^()%!"};
constexpr Interpreter kInterpreters[] = {
    kCmd,
    {"powershell", " ;&|<>(){}$@'`#,", true},
    {"pwsh", " ;&|<>(){}$@'`#,", true},
    {"wt", ";"},
    {"bash", " ;&|<>()$`'*?[]{}#!"},
    {"wsl", " ;&|<>()$`'*?[]{}#!"},
    {"sh", " ;&|<>()$`'*?[]{}#!"},
    {"mshta", "%'<>&`"},
};

// The interpreter's characters for a message: "& | < > ^ ( ) % !".
std::string ListOf(const Interpreter& interpreter) {
  std::string list;
  for (const char c : interpreter.actsOn) {
    if (!list.empty()) list += ' ';
    list += c == ' ' ? std::string("blank") : std::string(1, c);
  }
  return interpreter.nonAscii ? list + " and characters outside ASCII" : list;
}

}  // namespace

const Interpreter* InterpreterOf(std::string_view program, LeadByteTest lead) {
  const std::string_view name = BaseName(program, lead);
  if (IsBatchName(name)) return &kCmd;
  for (const Interpreter& interpreter : kInterpreters) {
    const std::string_view whole = interpreter.name;
    if ((name.size() == whole.size() || name.size() == whole.size() + 4) &&
        LowerAscii(name.substr(0, whole.size())) == whole &&
        (name.size() == whole.size() || EndsWithIgnoringCase(name, ".exe"))) {
      return &interpreter;
    }
  }
  return nullptr;
}

bool RunsThroughCmd(std::string_view program, LeadByteTest lead) {
  const Interpreter* interpreter = InterpreterOf(program, lead);
  return interpreter != nullptr && interpreter->name == kCmd.name;
}

bool ActsOn(const Interpreter& interpreter, std::string_view text, LeadByteTest lead) {
  for (std::size_t pos = 0, length; pos < text.size(); pos += length) {
    length = CharLength(text, pos, lead);
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c >= 0x80 ? interpreter.nonAscii
                  : length == 1 && (c < 0x20 || c == 0x7F || c == '"' ||
                                    interpreter.actsOn.find(char(c)) != std::string_view::npos)) {
      return true;
    }
  }
  return false;
}

Launcher::Resolved Launcher::Resolve(const std::string& name, const char* defaultExtension) {
  const LeadByteTest lead = system_.LeadBytes();
  // Found here, a name goes to the system as the file itself, which gets no default extension.
  const auto withExtension = [&](std::string file) {
    return HasExtension(file, lead) ? file : file + defaultExtension;
  };
  switch (ClassifyName(name, lead)) {
    case NameKind::Absolute:
    case NameKind::DriveRelative:
      return {};
    case NameKind::Relative:
      // Without a working folder the system finds it from the current folder, as written.
      return {true, folder_.empty() ? std::string() : withExtension(folder_ + name)};
    case NameKind::Rooted:
      return {true, ClassifyName(folder_, lead) == NameKind::Absolute && folder_[1] == ':'
                        ? withExtension(folder_.substr(0, 2) + name)
                        : std::string()};
    case NameKind::Bare:
      break;
  }
  const std::string file = withExtension(name);
  for (std::string folder : system_.SearchFolders()) {
    if (!folder.empty() && !IsSlash(folder.back())) folder += '\\';
    if (system_.Find(folder + file) == Object::File) return {true, folder + file};
  }
  return {false, {}};
}

std::string Launcher::FileFor(const std::string& name, const char* defaultExtension) {
  const NameKind kind = ClassifyName(name, system_.LeadBytes());
  if (kind == NameKind::Absolute) return name;
  if (kind != NameKind::Bare) return {};
  return Resolve(name, defaultExtension).path;
}

namespace {

// Whether cmd takes the quotes around the text at `at` of `line` off: after a /c, /k or /r
// (anywhere: "/d/c", and a cmd that the command starts again) and blanks or ",;=", a quote makes
// cmd drop it and the line's last quote (cmd /?), and an even number of quotes from there to
// the text leaves it outside quotes.
bool LosesQuotes(std::string_view line, std::size_t at) {
  for (std::size_t slash = line.find('/'); slash != std::string_view::npos;
       slash = line.find('/', slash + 1)) {
    const char letter = slash + 1 < line.size() ? char(line[slash + 1] | 0x20) : '\0';
    if (letter != 'c' && letter != 'k' && letter != 'r') continue;
    const std::size_t first = line.find_first_not_of(" \t,;=", slash + 2);
    const std::size_t last = line.rfind('"');
    if (first == std::string_view::npos || line[first] != '"' || at < first || at > last) continue;
    if (std::count(line.begin() + first + 1, line.begin() + at, '"') % 2 == 0) return true;
  }
  return false;
}

}  // namespace

std::string Launcher::WithNamedInterpreters(const std::string& programs,
                                            std::string_view arguments) {
  const LeadByteTest lead = system_.LeadBytes();
  std::string list;
  for (std::size_t k = 0;; ++k) {
    const std::string program = GetListItem(programs, '|', k, lead);
    if (program.empty()) break;
    list += program + '|';
  }
  for (std::size_t pos = 0; pos < arguments.size();) {
    const std::size_t end = std::min(
        FindChar(arguments.substr(pos), " \t\"&|<>();,=\x01\x02", lead), arguments.size() - pos);
    const std::string word = system_.ExpandEnvironment(std::string(arguments.substr(pos, end)));
    if (!word.empty() && InterpreterOf(word, lead) != nullptr) list += word + '|';
    pos += end + 1;
  }
  bool runsAny = false;
  for (std::size_t k = 0;; ++k) {
    const std::string program = GetListItem(list, '|', k, lead);
    if (program.empty()) break;
    const Interpreter* interpreter = InterpreterOf(system_.ExpandEnvironment(program), lead);
    runsAny = runsAny || (interpreter != nullptr && interpreter->name == "wt");
  }
  if (runsAny) {
    for (const Interpreter& interpreter : kInterpreters) list.append(interpreter.name) += '|';
  }
  return list;
}

bool Launcher::PassesToCmd(const std::string& listed, const std::string& text,
                           std::string_view arguments, std::string_view line,
                           const std::vector<std::size_t>& at) {
  // CreateProcessW hands the text on whole; a program that reads it in ANSI gets the code
  // page's best-fit reading, where a fullwidth quote is a quote.
  if (const std::string reading = system_.AnsiReading(text); reading != text) {
    system_.ShowError("Error: \"" + text +
                          "\" would reach a program that reads its command line "
                          "in the ANSI code page as \"" +
                          reading + "\"; the entry was not run",
                      "Error");
    return false;
  }
  const LeadByteTest lead = system_.LeadBytes();
  const std::string programs = WithNamedInterpreters(listed, arguments);
  const bool losesQuotes =
      NeedsQuotes(text, lead) &&
      std::any_of(at.begin(), at.end(), [line](std::size_t pos) { return LosesQuotes(line, pos); });
  for (std::size_t k = 0;; ++k) {
    const std::string program = GetListItem(programs, '|', k, lead);
    if (program.empty()) return true;
    const std::string name = system_.ExpandEnvironment(program);
    const Interpreter* interpreter = InterpreterOf(name, lead);
    if (interpreter != nullptr && interpreter->name == kCmd.name && !IsBatchFile(name, lead) &&
        losesQuotes) {
      system_.ShowError("Error: \"" + text +
                            "\" would lose its quotes: cmd takes the first and "
                            "last quote off a command that starts with one after /c or /k (write "
                            "/c start \"\" %s, or put the command first); the entry was not run",
                        "Error");
      return false;
    }
    if (interpreter != nullptr && ActsOn(*interpreter, text, lead)) {
      system_.ShowError("Error: \"" + text + "\" holds a character that " +
                            std::string(interpreter->name) + ".exe would act on (" +
                            ListOf(*interpreter) + "); the entry was not run",
                        "Error");
      return false;
    }
  }
}

bool Launcher::PassesExpansion(const std::string& programs, const std::string& text) {
  const LeadByteTest lead = system_.LeadBytes();
  // Every "%" is taken as the start of a reference, whatever the expansion makes of it: a
  // value is looked at once too often rather than once too few.
  for (std::size_t open = FindChar(text, "%", lead); open != std::string::npos;) {
    const std::size_t rest = open + 1;
    const std::size_t close = FindChar(std::string_view(text).substr(rest), "%", lead);
    if (close == std::string_view::npos) return true;
    const std::string reference = text.substr(open, close + 2);
    const std::string value = system_.ExpandEnvironment(reference);
    if (value != reference && !PassesToCmd(programs, value, text)) return false;
    open = rest + close;
  }
  return true;
}

void Launcher::StartPrograms(const std::string& programs, const std::string& arguments) {
  const LeadByteTest lead = system_.LeadBytes();
  for (std::size_t k = 0;; ++k) {
    const std::string program = GetListItem(programs, '|', k, lead);
    if (program.empty()) return;
    const std::string name = system_.ExpandEnvironment(program);
    // A program found nowhere is skipped silently, like one that cannot be started.
    const Resolved resolved = Resolve(name, ".exe");
    if (!resolved.found) {
      system_.NoteSkipped(name);
      continue;
    }
    // The command line names the program as the entry wrote it; the file to start is the one
    // resolved here, so the system searches nothing. Except for a batch file: CreateProcess
    // hands the command line to cmd.exe, which looks the first word up again, in the folder
    // the program starts in first, where a planted copy could stand. Its line names the file
    // found, whose own name cmd must not act on.
    std::string named = name;
    if (IsBatchFile(name, lead) && !resolved.path.empty()) {
      if (!PassesToCmd(name, resolved.path)) continue;
      named = resolved.path;
    }
    system_.StartProgram(resolved.path, BuildCommandLine(named, arguments), folder_);
  }
}

void Launcher::RunPrograms(const std::string& programs, const std::string& arguments) {
  if (!PassesExpansion(programs, arguments)) return;
  StartPrograms(programs, system_.ExpandEnvironment(arguments));
}

void Launcher::RunProgramsOn(const std::string& programs, const std::string& arguments,
                             const std::string& path) {
  const LeadByteTest lead = system_.LeadBytes();
  std::string why;
  std::vector<std::size_t> at;
  const std::optional<std::string> placed = PlacePath(arguments, path, lead, &why, &at);
  if (!placed) {
    system_.ShowError(
        "Error: \"" + path + "\" cannot be passed to the program as one argument: " + why, "Error");
    return;
  }
  // cmd.exe reads "&", "%" and the like in a name as commands and variables, even in quotes;
  // other interpreters their own characters.
  if (PassesToCmd(programs, path, arguments, *placed, at)) StartPrograms(programs, *placed);
}

void Launcher::Refuse(const std::string& why) {
  system_.ShowError("Error: " + why + "; the entry was not run", "Error");
}

void Launcher::CallDllProcedure(const std::string& procedureLine) {
  CallDllProcedure(PlanDllCall(procedureLine));
}

void Launcher::CallDllProcedure(DllCallPlan plan) {
  if (plan.arguments.size() > kMaxDllArguments) {
    system_.ShowError("Error: Too many arguments for a DLL procedure", "Error");
    return;
  }
  // LoadLibrary takes "\" only: with "/" a path may load another module or none.
  plan.dll = WithBackslashes(plan.dll, system_.LeadBytes());
  const Resolved resolved = Resolve(plan.dll, ".dll");
  if (resolved.found && !resolved.path.empty()) plan.dll = resolved.path;
  if (!resolved.found || !system_.CallProcedure(plan.dll, plan)) {
    system_.ShowError("Error: Unable to load dll or find export", "Error");
  }
}

namespace {

// The shell menu's formatting of an entry's arguments, with kPathMarker for the path; nothing,
// with the user told, when the format holds what the shell refuses or does not fit.
std::optional<std::string> FormatShellArguments(const std::string& arguments, LaunchSystem& system,
                                                Launcher& launcher) {
  const auto refuse = [&launcher](const std::string& why) {
    launcher.Refuse(why);
    return std::nullopt;
  };
  if (arguments.find(kPathMarker) != std::string::npos) {
    return refuse("the entry's arguments hold a control character");
  }
  if (const auto conversion = menu::FirstRefusedConversion(arguments)) {
    return refuse("\"" + std::string(conversion->In(arguments)) +
                  "\" in the entry's arguments is a conversion of the shell menu's format "
                  "that does not stand for the selected path (write %% for a percent sign)");
  }
  const std::string marker(1, kPathMarker);
  if (menu::FormatWithText(arguments, marker).cut) {
    return refuse("the entry's arguments are longer than 1023 characters once formatted");
  }
  return system.FormatArguments(arguments, marker);
}

}  // namespace

void RunShellEntry(const menu::MenuData& entry, const std::string& selected,
                   const std::string& moduleFolder, LaunchSystem& system) {
  // Copies: a message box's or a DLL procedure's message loop may see the entry table rebuilt
  // and the selection read again under them.
  const menu::MenuData chosen = entry;
  const std::string selectedPath = selected;
  std::string folder = ExtractFolder(selectedPath, system.LeadBytes());
  if (folder.empty() || system.Find(folder) != Object::Folder) {
    system.ShowError("Error setting current directory", "ERROR");
    folder.clear();  // the programs start where the caller stands
  }
  const std::string shortPath = system.ShortPath(selectedPath);

  Launcher launcher(system, folder);
  const std::string marker(1, kPathMarker);
  if (chosen.Command == menu::kAddWord) {
    // Without its folder the editor would be a bare name, searched for elsewhere.
    if (moduleFolder.empty()) {
      system.ShowError(
          "Error: Zelvane's folder has a name this system's code page cannot hold, "
          "and no short name: the editor cannot be started",
          "Error");
      return;
    }
    launcher.RunProgramsOn(moduleFolder + menu::kEditorProgram + "|", marker, shortPath);
    return;
  }
  const std::optional<std::string> formatted =
      FormatShellArguments(chosen.Arguments, system, launcher);
  if (!formatted) {
    return;
  } else if (chosen.Command == kDllProcCommand) {
    // Split before the path is in: a comma in the path cannot make more arguments.
    DllCallPlan plan = PlanDllCall(*formatted + ",");
    FillMarkers(plan, kPathMarker, [&shortPath] { return shortPath; });
    launcher.CallDllProcedure(std::move(plan));
  } else {
    if (!launcher.PassesExpansion(chosen.Command + "|", *formatted)) return;
    const std::string expanded = system.ExpandEnvironment(*formatted);
    if (std::count(expanded.begin(), expanded.end(), kPathMarker) !=
        std::count(formatted->begin(), formatted->end(), kPathMarker)) {
      system.ShowError("Error: an environment variable of the entry holds a control character",
                       "Error");
      return;
    }
    launcher.RunProgramsOn(chosen.Command + "|", expanded, shortPath);
  }
}

}  // namespace zel::launch
