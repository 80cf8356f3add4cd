// zelmenu's entry point: the platform's default menu file, then the portable tool.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/zelmenu/zelmenu_app.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "launch/command_line.h"
#include "launch/launch_win32.h"
#include "menu/menu_win32.h"

namespace {

// The plan's view of this system: what the deliverables themselves would use.
class Win32PlanSystem final : public zel::tools::PlanSystem {
 public:
  std::string ExpandEnvironment(const std::string& text) override {
    return zel::launch::ExpandEnvironment(text);
  }
  std::string ShortPath(const std::string& path) override { return zel::launch::ShortPath(path); }
  std::string FormatArguments(const std::string& format, const std::string& path) override {
    return zel::launch::FormatArguments(format, path);
  }
  // zelmenu ships beside the shell extension, so its folder stands for the extension's.
  std::string ModuleFolder() override {
    return zel::launch::ExtractFolder(zel::launch::GetModulePath());
  }
};

}  // namespace
#else
#include "menu/menu_file_std.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
  // Bytes out as they are: no CR added before LF.
  _setmode(_fileno(stdout), _O_BINARY);
  zel::menu::Win32MenuFileAccess files;
  const std::string defaultPath = zel::menu::GetMenuFilePath();
  Win32PlanSystem system;
#else
  zel::menu::StdMenuFileAccess files;
  const char* appData = std::getenv("APPDATA");
  const std::string defaultPath =
      appData != nullptr && *appData != '\0' ? std::string(appData) + "/Zelvane/Menu.txt" : "";
  const std::string self = argc > 0 ? argv[0] : "";
  zel::tools::PortablePlanSystem system(self.substr(0, self.find_last_of("/\\") + 1));
#endif
  try {
    return zel::tools::RunZelmenu(args, std::cout, std::cerr, files, defaultPath, system);
  } catch (const std::exception& error) {
    std::cerr << "zelmenu: " << error.what() << "\n";
    return 1;
  }
}
