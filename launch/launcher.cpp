#include "launch/launcher.h"

#include "menu/menu_build.h"

namespace zel::launch {
namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// True when the name's last part has an extension, or ends in a dot that stands for none:
// the system then appends no default extension.
bool HasExtension(std::string_view name) {
  const std::size_t part = name.find_last_of("\\/");
  return name.find('.', part == std::string_view::npos ? 0 : part + 1) != std::string_view::npos;
}

}  // namespace

NameKind ClassifyName(std::string_view name) {
  if (name.size() >= 2 && IsDriveLetter(name[0]) && name[1] == ':') return NameKind::Absolute;
  if (name.size() >= 2 && IsSlash(name[0]) && IsSlash(name[1])) return NameKind::Absolute;
  if (!name.empty() && IsSlash(name[0])) return NameKind::Rooted;
  if (name.find_first_of("\\/") != std::string_view::npos) return NameKind::Relative;
  return NameKind::Bare;
}

std::vector<std::string> PathFolders(std::string_view pathValue) {
  std::vector<std::string> folders;
  while (!pathValue.empty()) {
    const std::size_t end = pathValue.find(';');
    std::string folder(pathValue.substr(0, end));
    pathValue.remove_prefix(end == std::string_view::npos ? pathValue.size() : end + 1);
    std::string unquoted;
    for (char c : folder) {
      if (c != '"') unquoted += c;
    }
    if (ClassifyName(unquoted) == NameKind::Absolute && unquoted.size() > 2) {
      folders.push_back(std::move(unquoted));
    }
  }
  return folders;
}

Launcher::Resolved Launcher::Resolve(const std::string& name, const char* defaultExtension) {
  switch (ClassifyName(name)) {
    case NameKind::Absolute:
      return {};
    case NameKind::Relative:
      // Without a working folder the system finds it from the current folder, as written.
      return {true, folder_.empty() ? std::string() : folder_ + name};
    case NameKind::Rooted:
      return {true, ClassifyName(folder_) == NameKind::Absolute && folder_[1] == ':'
                        ? folder_.substr(0, 2) + name
                        : std::string()};
    case NameKind::Bare:
      break;
  }
  const std::string file = HasExtension(name) ? name : name + defaultExtension;
  for (std::string folder : system_.SearchFolders()) {
    if (!folder.empty() && !IsSlash(folder.back())) folder += '\\';
    if (system_.Find(folder + file) == LaunchSystem::Object::File) return {true, folder + file};
  }
  return {false, {}};
}

std::string Launcher::FileFor(const std::string& name, const char* defaultExtension) {
  if (ClassifyName(name) == NameKind::Absolute) return name;
  if (ClassifyName(name) != NameKind::Bare) return {};
  return Resolve(name, defaultExtension).path;
}

void Launcher::RunPrograms(const std::string& programs, const std::string& arguments) {
  for (std::size_t k = 0;; ++k) {
    const std::string program = GetListItem(programs, '|', k);
    if (program.empty()) return;
    const std::string name = system_.ExpandEnvironment(program);
    // A program found nowhere is skipped silently, like one that cannot be started.
    const Resolved resolved = Resolve(name, ".exe");
    if (!resolved.found) continue;
    // The command line names the program as the entry wrote it; the file to start is the one
    // resolved here, so the system searches nothing.
    system_.StartProgram(resolved.path,
                         BuildCommandLine(name, system_.ExpandEnvironment(arguments)), folder_);
  }
}

void Launcher::CallDllProcedure(const std::string& procedureLine) {
  DllCallPlan plan = PlanDllCall(procedureLine);
  if (plan.arguments.size() > kMaxDllArguments) {
    system_.ShowError("Error: Too many arguments for a DLL procedure", "Error");
    return;
  }
  const Resolved resolved = Resolve(plan.dll, ".dll");
  if (resolved.found && !resolved.path.empty()) plan.dll = resolved.path;
  if (!resolved.found || !system_.CallProcedure(plan.dll, plan)) {
    system_.ShowError("Error: Unable to load dll or find export", "Error");
  }
}

void RunShellEntry(const menu::MenuData& entry, std::string& selectedPath,
                   const std::string& moduleFolder, LaunchSystem& system) {
  // A copy: a DLL procedure with a message loop may see the entry table rebuilt under it.
  const menu::MenuData chosen = entry;
  std::string folder = ExtractFolder(selectedPath);
  if (folder.empty() || system.Find(folder) != LaunchSystem::Object::Folder) {
    system.ShowError("Error setting current directory", "ERROR");
    folder.clear();  // the programs start where the caller stands
  }
  selectedPath = system.ShortPath(selectedPath);

  Launcher launcher(system, folder);
  if (chosen.Command == menu::kAddCommand) {
    launcher.RunPrograms(moduleFolder + kEditorProgram + "|", selectedPath);
  } else if (chosen.Command == kDllProcCommand) {
    launcher.CallDllProcedure(system.FormatArguments(chosen.Arguments, selectedPath) + ",");
  } else {
    launcher.RunPrograms(chosen.Command + "|", system.FormatArguments(chosen.Arguments, selectedPath));
  }
}

}  // namespace zel::launch
