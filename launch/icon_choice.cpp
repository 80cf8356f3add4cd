#include "launch/icon_choice.h"

#include "launch/launcher.h"
#include "menu/menu_build.h"
#include "menu/menu_icons.h"

namespace zel::launch {
namespace {

// The first item of a delimiter-terminated list, scanned by character (as GetListItem's item 0).
std::string_view FirstItem(std::string_view list, char delimiter, LeadByteTest lead) {
  return list.substr(0, FindChar(list, std::string_view(&delimiter, 1), lead));
}

}  // namespace

IconChoice ChooseIcon(menu::Host host, const menu::MenuData& entry, std::string_view iconField,
                      LeadByteTest lead) {
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
  if (host == menu::Host::Shell && entry.Command == menu::kAddWord) {
    return {IconChoice::Kind::Editor, {}, 0};
  }
  const bool dll = entry.Command == kDllProcCommand;
  const std::string_view name =
      dll ? FirstItem(entry.Arguments, ',', lead) : FirstItem(entry.Command, '|', lead);
  if (name.empty()) return {};
  return {dll ? IconChoice::Kind::Dll : IconChoice::Kind::Program, name, 0};
}

}  // namespace zel::launch
