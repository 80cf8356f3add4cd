#include "zelmenu/zelmenu_app.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "launch/command_line.h"
#include "launch/icon_choice.h"
#include "launch/launcher.h"
#include "tray/prompt.h"
#include "menu/argument_format.h"
#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_tree.h"

namespace zel::zelmenu {
namespace {

using menu::BuildRequest;
using menu::BuildResult;
using menu::Host;
using menu::MenuFileState;
using menu::MenuNode;
using menu::MenuTable;
using nlohmann::json;

constexpr char kUsage[] =
    "usage: zelmenu show [--form tray|shell] [--selected PATH]... [--id-first N] [--id-last N]\n"
    "                    [--json] [MENUFILE]\n"
    "       zelmenu check [MENUFILE]\n"
    "       zelmenu plan --form tray|shell [--selected PATH]... --id N [--value TEXT]... [--json]\n"
    "                    [MENUFILE]\n"
    "MENUFILE defaults to the user's own menu file. --selected, once per selected object, in\n"
    "the selection's order (at most 15).\n";

int Usage(std::string& err, const std::string& why) {
  err += "zelmenu: " + why + "\n" + kUsage;
  return 2;
}

bool ParseUnsigned(const std::string& text, unsigned& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

struct ShowOptions {
  BuildRequest request;
  bool json = false;
};

// The entry an identifier leads back to, by the numbering of its form; its index in `index`.
const menu::MenuData* EntryOf(unsigned id, const BuildRequest& request, const MenuTable& table,
                              std::size_t& index) {
  index = menu::EntryIndex(request.host == Host::Tray ? menu::kTrayIdBase : request.idCmdFirst, id);
  return table.Find(index);
}

// Why a built file says nothing, for the error stream; empty when it was read.
std::string FileProblem(const BuildRequest& request, const BuildResult& result) {
  switch (result.file) {
    case MenuFileState::Read:
      return {};
    case MenuFileState::Missing:
      return request.path + ": menu file not found";
    case MenuFileState::Unreadable:
      return request.path + ": cannot read the menu file: " + result.error;
  }
  return {};
}

// What a menu of `request`'s form shows an entry's icon from; null for none.
json IconJson(const MenuNode& node, const menu::MenuData& entry, const BuildRequest& request,
              TextKind kind, LeadByteTest lead) {
  using Kind = launch::IconChoice::Kind;
  const launch::IconChoice choice = launch::ChooseIcon(request.host, entry, node.icon, lead);
  static const std::pair<Kind, const char*> kFrom[] = {{Kind::Program, "program"},
                                                       {Kind::Dll, "dll"},
                                                       {Kind::File, "file"},
                                                       {Kind::Editor, "editor"}};
  for (const auto& [from, name] : kFrom) {
    if (from == choice.kind) {
      return {{"from", name}, {"name", JsonText(choice.name, kind)}, {"index", choice.index}};
    }
  }
  return nullptr;
}

// The items of `tree`; entries' icons chosen with `lead`, the file's characters (null: the file
// shows no icons).
json ItemsToJson(const std::vector<MenuNode>& tree, const BuildRequest& request,
                 const MenuTable& table, LeadByteTest lead) {
  json items = json::array();
  for (const MenuNode& node : tree) {
    std::size_t index = 0;
    const menu::MenuData* entry = nullptr;
    switch (node.kind) {
      case MenuNode::Kind::Separator:
        items.push_back({{"type", "separator"}});
        break;
      case MenuNode::Kind::Submenu:
        items.push_back({{"type", "submenu"},
                         {"caption", JsonText(node.caption, table.kind)},
                         {"items", ItemsToJson(node.children, request, table, lead)}});
        break;
      case MenuNode::Kind::Item:
        entry = node.id == 0 ? nullptr : EntryOf(node.id, request, table, index);
        if (entry == nullptr) {
          items.push_back({{"type", "text"}, {"caption", JsonText(node.caption, table.kind)}});
        } else {
          items.push_back({{"type", "entry"},
                           {"caption", JsonText(node.caption, table.kind)},
                           {"id", node.id},
                           {"index", index},
                           {"command", JsonText(entry->Command, table.kind)},
                           {"arguments", JsonText(entry->Arguments, table.kind)}});
          if (lead == nullptr) break;
          if (json icon = IconJson(node, *entry, request, table.kind, lead); !icon.is_null()) {
            items.back()["icon"] = std::move(icon);
          }
        }
        break;
    }
  }
  return items;
}

void PrintTree(std::string& out, const std::vector<MenuNode>& tree, const BuildRequest& request,
               const MenuTable& table, int depth) {
  for (const MenuNode& node : tree) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    std::size_t index = 0;
    const menu::MenuData* entry = nullptr;
    switch (node.kind) {
      case MenuNode::Kind::Separator:
        out += "--------\n";
        break;
      case MenuNode::Kind::Submenu:
        out += node.caption + " >\n";
        PrintTree(out, node.children, request, table, depth + 1);
        break;
      case MenuNode::Kind::Item:
        entry = node.id == 0 ? nullptr : EntryOf(node.id, request, table, index);
        if (entry == nullptr) {
          out += node.caption + "\n";
        } else {
          out += node.caption + "  [" + std::to_string(node.id) + "]  command \"" + entry->Command +
                 "\"  arguments \"" + entry->Arguments + "\"\n";
        }
        break;
    }
  }
}

// The options show and plan share, and the menu file named without an option.
struct CommonOptions {
  BuildRequest& request;
  bool& json;
  bool formGiven = false;
  bool selectedGiven = false;
};

// Takes args[i] when it is one of the common options (moving i past its value) or the menu
// file; false when it is none of them. A bad value leaves its reason in `error`.
bool TakeCommonOption(const std::vector<std::string>& args, std::size_t& i, CommonOptions& options,
                      std::string& error) {
  const std::string& arg = args[i];
  const bool hasValue = i + 1 < args.size();
  if (arg == "--json") {
    options.json = true;
  } else if (arg == "--form" && hasValue) {
    const std::string& form = args[++i];
    if (form == "tray") {
      options.request.host = Host::Tray;
    } else if (form == "shell") {
      options.request.host = Host::Shell;
    } else {
      error = "--form takes tray or shell";
    }
    options.formGiven = true;
  } else if (arg == "--selected" && hasValue) {
    // "ANSI form NUL UTF-8 form" from an entry point that has both; else one text for both.
    const std::string& value = args[++i];
    menu::Selection& selected = options.request.selected;
    if (!options.selectedGiven) selected.clear();
    selected.push_back({value.substr(0, value.find('\0')), value.substr(value.find('\0') + 1)});
    options.selectedGiven = true;
    if (selected.size() > menu::kMostSelectedObjects) {
      error = "--selected: the shell menu serves at most " +
              std::to_string(menu::kMostSelectedObjects) + " objects";
    }
  } else if (!arg.empty() && arg[0] == '-') {
    return false;
  } else if (options.request.path.empty()) {
    options.request.path = arg;
  } else {
    error = "more than one menu file given";
  }
  return true;
}

// Reads show's options into `options`; the usage error, or empty.
std::string ParseShowOptions(const std::vector<std::string>& args, ShowOptions& options) {
  CommonOptions common{options.request, options.json};
  bool idLastGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    std::string error;
    if (TakeCommonOption(args, i, common, error)) {
      if (!error.empty()) return error;
    } else if (arg == "--id-first" && hasValue) {
      if (!ParseUnsigned(args[++i], options.request.idCmdFirst)) return "--id-first takes a number";
    } else if (arg == "--id-last" && hasValue) {
      if (!ParseUnsigned(args[++i], options.request.idCmdLast)) return "--id-last takes a number";
      idLastGiven = true;
    } else {
      return "unknown option or missing value: " + arg;
    }
  }
  if (options.request.host == Host::Tray &&
      (idLastGiven || options.request.idCmdFirst != 0 || common.selectedGiven)) {
    return "--selected, --id-first and --id-last belong to the shell form";
  }
  return {};
}

// Builds the menu file the request names, the user's when it names none, into `sink` and
// `table`.
BuildResult BuildNamed(BuildRequest& request, menu::MenuFileAccess& files,
                       const std::string& defaultMenuPath, menu::MenuTreeSink& sink,
                       MenuTable& table) {
  if (request.path.empty()) request.path = defaultMenuPath;
  return menu::BuildMenu(request, files, sink, sink.Root(), table);
}

int Show(const std::vector<std::string>& args, std::string& out, std::string& err,
         menu::MenuFileAccess& files, const std::string& defaultMenuPath,
         const SystemFor& systemFor) {
  ShowOptions options;
  const std::string usage = ParseShowOptions(args, options);
  if (!usage.empty()) return Usage(err, usage);
  menu::MenuTreeSink sink;
  MenuTable table;
  const BuildResult result = BuildNamed(options.request, files, defaultMenuPath, sink, table);
  const std::vector<MenuNode> tree = sink.Tree();
  if (options.json) {
    const bool shell = options.request.host == Host::Shell;
    json doc = {{"form", shell ? "shell" : "tray"}, {"entryCount", table.EntryCount}};
    if (shell) doc["addedCount"] = result.addedCount;
    const LeadByteTest lead = sink.ShowsIcons() ? systemFor(table.kind).LeadBytes() : nullptr;
    doc["items"] = ItemsToJson(tree, options.request, table, lead);
    out += doc.dump(2, ' ', false, json::error_handler_t::strict) + "\n";
  } else {
    PrintTree(out, tree, options.request, table, 0);
  }
  const std::string problem = FileProblem(options.request, result);
  if (!problem.empty()) {
    err += "zelmenu: " + problem + "\n";
    return 1;
  }
  if (result.droppedEntries != 0) {
    err += "zelmenu: " + std::to_string(result.droppedEntries) +
           " entries left out: their identifiers would not fit the range\n";
  }
  return 0;
}

int Check(const std::vector<std::string>& args, std::string& out, std::string& err,
          menu::MenuFileAccess& files, const std::string& defaultMenuPath) {
  std::string path;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!args[i].empty() && args[i][0] == '-') return Usage(err, "unknown option: " + args[i]);
    if (!path.empty()) return Usage(err, "more than one menu file given");
    path = args[i];
  }
  if (path.empty()) path = defaultMenuPath;

  menu::Finding failure{0, menu::Finding::Severity::Error, {}};
  if (path.empty() || !files.Exists(path)) {
    failure.text = "menu file not found: " + path;
    out += menu::FormatFinding(failure) + "\n";
    return 1;
  }
  std::vector<menu::Finding> findings;
  try {
    const std::unique_ptr<menu::ByteSource> source = files.Open(path);
    findings = menu::CheckMenu(*source);
  } catch (const menu::MenuReadError& error) {
    failure.text = "cannot read the menu file " + path + ": " + error.what();
    findings.push_back(failure);
  }
  for (const menu::Finding& finding : findings) out += menu::FormatFinding(finding) + "\n";
  return findings.empty() ? 0 : 1;
}

// ---- plan: what choosing an identifier would do, without doing it

// One step of a plan, kept in both printed forms at once.
struct PlanStep {
  json object;
  std::string line;
};

// Answers the dispatch's prompts from the --value list, asks `system` what the deliverables
// would find, and records what they would start, call or show instead of doing it.
class PlanRecorder final : public tray::PromptView, public launch::ForwardingSystem {
 public:
  // `system`: made for the texts of a menu file of `kind`.
  PlanRecorder(launch::LaunchSystem& system, TextKind kind, const tray::TrayPromptState& state)
      : ForwardingSystem(system), state_(state), kind_(kind) {}

  void ShowPrompt(int parameterNumber) override {
    const std::string label = tray::PromptLabel(parameterNumber);
    const std::string& argument = state_.PlaceholderArgument;
    steps.push_back({{{"action", "prompt"},
                      {"label", JsonText(label, kind_)},
                      {"argument", JsonText(argument, kind_)}},
                     "prompt \"" + label + "\" argument \"" + argument + "\""});
    promptPending = true;
  }

  void ShowError(const std::string& text, const std::string& caption) override {
    steps.push_back({{{"action", "error"},
                      {"text", JsonText(text, kind_)},
                      {"caption", JsonText(caption, kind_)}},
                     "error \"" + text + "\""});
  }

  void StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder) override {
    json step = {{"action", "start"}, {"commandLine", JsonText(commandLine, kind_)}};
    std::string line = "start " + commandLine;
    if (!application.empty()) {
      step["program"] = JsonText(application, kind_);
      line += "  (program " + application + ")";
    }
    if (!folder.empty()) {
      step["folder"] = JsonText(folder, kind_);
      line += "  (in " + folder + ")";
    }
    steps.push_back({step, line});
  }

  void NoteSkipped(const std::string& program) override {
    steps.push_back(
        {{{"action", "skip"}, {"program", JsonText(program, kind_)}, {"reason", "not found"}},
         "skipped: not found: " + program});
  }

  bool CallProcedure(const std::string& dll, const launch::DllCallPlan& plan) override {
    json arguments = json::array();
    std::string line = "call \"" + dll + "\" \"" + plan.procedure + "\" (";
    for (std::size_t i = 0; i < plan.arguments.size(); ++i) {
      const launch::DllArgument& argument = plan.arguments[i];
      if (i != 0) line += ", ";
      if (argument.isText) {
        arguments.push_back({{"text", JsonText(argument.text, kind_)}});
        line += "text \"" + argument.text + "\"";
      } else {
        arguments.push_back({{"int", argument.number}});
        line += "int " + std::to_string(argument.number);
      }
    }
    line += ")";
    steps.push_back({{{"action", "call"},
                      {"dll", JsonText(dll, kind_)},
                      {"procedure", JsonText(plan.procedure, kind_)},
                      {"arguments", arguments}},
                     line});
    return true;
  }

  std::vector<PlanStep> steps;
  bool promptPending = false;

 private:
  const tray::TrayPromptState& state_;
  const TextKind kind_;
};

struct PlanOptions {
  BuildRequest request;
  bool idGiven = false;
  unsigned id = 0;
  std::vector<std::string> values;
  bool json = false;
};

// Reads plan's options into `options`; the usage error, or empty.
std::string ParsePlanOptions(const std::vector<std::string>& args, PlanOptions& options) {
  CommonOptions common{options.request, options.json};
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    std::string error;
    if (TakeCommonOption(args, i, common, error)) {
      if (!error.empty()) return error;
    } else if (arg == "--id" && hasValue) {
      if (!ParseUnsigned(args[++i], options.id)) return "--id takes a number";
      options.idGiven = true;
    } else if (arg == "--value" && hasValue) {
      options.values.push_back(args[++i]);
      // The prompt refuses an empty value ("No parameters entered") and asks again.
      if (options.values.back().empty()) return "--value takes a non-empty text";
    } else {
      return "unknown option or missing value: " + arg;
    }
  }
  const bool shell = options.request.host == Host::Shell;
  if (!common.formGiven) return "plan needs --form";
  if (!options.idGiven) return "plan needs --id";
  if (shell && !common.selectedGiven) return "the shell form needs --selected";
  if (!shell && common.selectedGiven) return "--selected belongs to the shell form";
  if (shell && !options.values.empty()) {
    return "--value belongs to the tray form: the shell extension never prompts";
  }
  return {};
}

// Runs the chosen entry as its deliverable would, into the recorder: the shell's run on the
// selected object, or the tray's dispatch answered from the --value list. The values used.
std::size_t RunPlanned(const PlanOptions& options, MenuTable& table, std::size_t index,
                       const std::string& moduleFolder, PlanRecorder& recorder,
                       tray::TrayPromptState& state) {
  if (options.request.host == Host::Shell) {
    launch::RunShellEntryOnEach(*table.Find(index),
                                menu::PathsIn(options.request.selected, table.kind), moduleFolder,
                                recorder);
    return 0;
  }
  state.CurrentEntry = index;
  state.ParameterNumber = 1;
  launch::Launcher launcher(recorder);
  tray::RunEntry(table, state, recorder, launcher);
  std::size_t used = 0;
  while (recorder.promptPending && used < options.values.size()) {
    recorder.promptPending = false;
    const std::string& value = options.values[used++];
    tray::AcceptPromptValue(table, state, value.substr(0, tray::kPromptValueLimit), recorder,
                            launcher);
  }
  return used;
}

int Plan(const std::vector<std::string>& args, std::string& out, std::string& err,
         menu::MenuFileAccess& files, const std::string& defaultMenuPath,
         const SystemFor& systemFor, const std::string& moduleFolder) {
  PlanOptions options;
  const std::string usage = ParsePlanOptions(args, options);
  if (!usage.empty()) return Usage(err, usage);
  menu::MenuTreeSink sink;
  MenuTable table;
  const BuildResult result = BuildNamed(options.request, files, defaultMenuPath, sink, table);
  const std::string problem = FileProblem(options.request, result);
  if (!problem.empty()) {
    err += "zelmenu: " + problem + "\n";
    return 1;
  }
  std::size_t index = 0;
  if (EntryOf(options.id, options.request, table, index) == nullptr) {
    err += "zelmenu: identifier " + std::to_string(options.id) + " selects no entry of the " +
           (options.request.host == Host::Shell ? "shell" : "tray") + " form\n";
    return 1;
  }

  tray::TrayPromptState state;
  PlanRecorder recorder(systemFor(table.kind), table.kind, state);
  const std::size_t used = RunPlanned(options, table, index, moduleFolder, recorder, state);
  if (options.json) {
    json steps = json::array();
    for (const PlanStep& step : recorder.steps) steps.push_back(step.object);
    out += steps.dump(2, ' ', false, json::error_handler_t::strict) + "\n";
  } else {
    for (const PlanStep& step : recorder.steps) out += step.line + "\n";
  }
  if (recorder.promptPending) {
    err += "zelmenu: the entry waits for a value; give one more --value to go on\n";
  }
  if (used < options.values.size()) {
    err += "zelmenu: " + std::to_string(options.values.size() - used) + " --value left unused\n";
  }
  return 0;
}

}  // namespace

std::string PortablePlanSystem::ExpandEnvironment(const std::string& text) {
  return launch::ExpandReferences(text, [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  });
}

std::string PortablePlanSystem::FormatArguments(const std::string& format,
                                                const std::string& path) {
  return menu::FormatWithText(format, path).text;
}

std::string JsonText(std::string_view text, TextKind kind) {
  if (kind == TextKind::Ansi) return BytesToUtf8(text);
  // What the system hands back (an expanded variable, a cut format) may not be UTF-8.
  std::string repaired;
  return RepairUtf8(text, repaired) ? repaired : std::string(text);
}

std::string BytesToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

launch::Object PortablePlanSystem::Find(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/') ? launch::Object::Folder
                                                                      : launch::Object::File;
}

int RunZelmenu(const std::vector<std::string>& args, std::string& out, std::string& err,
               menu::MenuFileAccess& files, const std::string& defaultMenuPath,
               const SystemFor& systemFor, const std::string& moduleFolder) {
  if (args.empty()) return Usage(err, "no command given");
  if (args[0] == "show") return Show(args, out, err, files, defaultMenuPath, systemFor);
  if (args[0] == "check") return Check(args, out, err, files, defaultMenuPath);
  if (args[0] == "plan") {
    return Plan(args, out, err, files, defaultMenuPath, systemFor, moduleFolder);
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out += kUsage;
    return 0;
  }
  return Usage(err, "unknown command: " + args[0]);
}

}  // namespace zel::zelmenu
