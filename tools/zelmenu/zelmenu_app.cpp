#include "tools/zelmenu/zelmenu_app.h"

#include <charconv>
#include <ostream>

#include <nlohmann/json.hpp>

#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_tree.h"

namespace zel::tools {
namespace {

using menu::BuildRequest;
using menu::BuildResult;
using menu::Host;
using menu::MenuFileState;
using menu::MenuNode;
using menu::MenuTable;
using nlohmann::json;

constexpr char kUsage[] =
    "usage: zelmenu show [--form tray|shell] [--selected PATH] [--id-first N] [--id-last N]\n"
    "                    [--json] [MENUFILE]\n"
    "       zelmenu check [MENUFILE]\n"
    "MENUFILE defaults to the user's own menu file.\n";

int Usage(std::ostream& err, const std::string& why) {
  err << "zelmenu: " << why << "\n" << kUsage;
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

// The entry a tree item leads back to, by the numbering of its form.
const menu::MenuData* EntryOf(const MenuNode& node, const BuildRequest& request,
                              const MenuTable& table, std::size_t& index) {
  const unsigned base = request.host == Host::Tray ? menu::kTrayIdBase + 1 : request.idCmdFirst + 1;
  if (node.id < base) return nullptr;
  index = node.id - base;
  return table.Find(index);
}

json ItemsToJson(const std::vector<MenuNode>& tree, const BuildRequest& request,
                 const MenuTable& table) {
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
                         {"caption", BytesToUtf8(node.caption)},
                         {"items", ItemsToJson(node.children, request, table)}});
        break;
      case MenuNode::Kind::Item:
        entry = node.id == 0 ? nullptr : EntryOf(node, request, table, index);
        if (entry == nullptr) {
          items.push_back({{"type", "text"}, {"caption", BytesToUtf8(node.caption)}});
        } else {
          items.push_back({{"type", "entry"},
                           {"caption", BytesToUtf8(node.caption)},
                           {"id", node.id},
                           {"index", index},
                           {"command", BytesToUtf8(entry->Command)},
                           {"arguments", BytesToUtf8(entry->Arguments)}});
        }
        break;
    }
  }
  return items;
}

void PrintTree(std::ostream& out, const std::vector<MenuNode>& tree, const BuildRequest& request,
               const MenuTable& table, int depth) {
  for (const MenuNode& node : tree) {
    out << std::string(static_cast<std::size_t>(depth) * 2, ' ');
    std::size_t index = 0;
    const menu::MenuData* entry = nullptr;
    switch (node.kind) {
      case MenuNode::Kind::Separator:
        out << "--------\n";
        break;
      case MenuNode::Kind::Submenu:
        out << node.caption << " >\n";
        PrintTree(out, node.children, request, table, depth + 1);
        break;
      case MenuNode::Kind::Item:
        entry = node.id == 0 ? nullptr : EntryOf(node, request, table, index);
        if (entry == nullptr) {
          out << node.caption << "\n";
        } else {
          out << node.caption << "  [" << node.id << "]  command \"" << entry->Command
              << "\"  arguments \"" << entry->Arguments << "\"\n";
        }
        break;
    }
  }
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
         menu::MenuFileAccess& files, const std::string& defaultMenuPath) {
  ShowOptions options;
  bool idLastGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
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
        return Usage(err, "--form takes tray or shell");
      }
    } else if (arg == "--selected" && hasValue) {
      options.request.selectedPath = args[++i];
    } else if (arg == "--id-first" && hasValue) {
      if (!ParseUnsigned(args[++i], options.request.idCmdFirst)) {
        return Usage(err, "--id-first takes a number");
      }
    } else if (arg == "--id-last" && hasValue) {
      if (!ParseUnsigned(args[++i], options.request.idCmdLast)) {
        return Usage(err, "--id-last takes a number");
      }
      idLastGiven = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage(err, "unknown option or missing value: " + arg);
    } else if (options.request.path.empty()) {
      options.request.path = arg;
    } else {
      return Usage(err, "more than one menu file given");
    }
  }
  if (options.request.host == Host::Tray &&
      (idLastGiven || options.request.idCmdFirst != 0 || !options.request.selectedPath.empty())) {
    return Usage(err, "--selected, --id-first and --id-last belong to the shell form");
  }
  if (options.request.path.empty()) options.request.path = defaultMenuPath;

  menu::MenuTreeSink sink;
  MenuTable table;
  const BuildResult result = menu::BuildMenu(options.request, files, sink, sink.Root(), table);
  const std::vector<MenuNode> tree = sink.Tree();
  const bool shell = options.request.host == Host::Shell;

  if (options.json) {
    json doc = {{"form", shell ? "shell" : "tray"}, {"entryCount", table.EntryCount}};
    if (shell) doc["addedCount"] = result.AddedCount;
    doc["items"] = ItemsToJson(tree, options.request, table);
    out << doc.dump(2, ' ', false, json::error_handler_t::strict) << "\n";
  } else {
    PrintTree(out, tree, options.request, table, 0);
  }
  switch (result.file) {
    case MenuFileState::Read:
      if (result.droppedEntries != 0) {
        err << "zelmenu: " << result.droppedEntries
            << " entries left out: their identifiers would not fit the range\n";
      }
      return 0;
    case MenuFileState::Missing:
      err << "zelmenu: " << options.request.path << ": menu file not found\n";
      return 1;
    case MenuFileState::Unreadable:
      err << "zelmenu: " << options.request.path << ": cannot read the menu file: "
          << result.error << "\n";
      return 1;
  }
  return 1;
}

int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
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
    out << menu::FormatFinding(failure) << "\n";
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
  for (const menu::Finding& finding : findings) out << menu::FormatFinding(finding) << "\n";
  return findings.empty() ? 0 : 1;
}

}  // namespace

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

int RunZelmenu(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               menu::MenuFileAccess& files, const std::string& defaultMenuPath) {
  if (args.empty()) return Usage(err, "no command given");
  if (args[0] == "show") return Show(args, out, err, files, defaultMenuPath);
  if (args[0] == "check") return Check(args, out, err, files, defaultMenuPath);
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << kUsage;
    return 0;
  }
  return Usage(err, "unknown command: " + args[0]);
}

}  // namespace zel::tools
