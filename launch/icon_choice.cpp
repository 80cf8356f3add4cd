#include "launch/icon_choice.h"

#include "launch/launcher.h"
#include "menu/menu_build.h"
#include "menu/menu_icons.h"

namespace zel::launch {
namespace {

// The first item of a delimiter-terminated list (GetListItem's item 0).
std::string_view FirstItem(std::string_view list, char delimiter) {
  return list.substr(0, list.find(delimiter));
}

}  // namespace

IconChoice ChooseIcon(menu::Host host, const menu::MenuData& entry, std::string_view iconField) {
  const menu::IconField field = menu::ReadIconField(iconField);
  switch (field.kind) {
    case menu::IconField::Kind::None:
    case menu::IconField::Kind::Malformed:
      return {};
    case menu::IconField::Kind::File:
      return {IconChoice::Kind::File, field.file, field.index};
    case menu::IconField::Kind::Default:
      break;
  }
  // As the entry runs (RunShellEntry, RunEntry): only the shell menu starts the editor for "Add".
  if (host == menu::Host::Shell && entry.Command == menu::kAddCommand) {
    return {IconChoice::Kind::Editor, {}, 0};
  }
  const bool dll = entry.Command == kDllProcCommand;
  const std::string_view name =
      dll ? FirstItem(entry.Arguments, ',') : FirstItem(entry.Command, '|');
  if (name.empty()) return {};
  return {dll ? IconChoice::Kind::Dll : IconChoice::Kind::Program, name, 0};
}

}  // namespace zel::launch
