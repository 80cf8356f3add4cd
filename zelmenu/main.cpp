// zelmenu's entry point: the platform's default menu file, then the portable tool.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "zelmenu/zelmenu_app.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include "launch/launch_win32.h"
#include "menu/menu_win32.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"
#else
#include "menu/menu_file_std.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
  // The arguments as the system holds them, in UTF-16, each in its ANSI form (a path that the
  // code page cannot hold by its short form, as the shell extension has it); the selected
  // object also in UTF-8 for a UTF-8 menu file, after a NUL, which no argument can hold.
  int count = 0;
  LPWSTR* const wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  args.clear();
  for (int i = 1; wide != nullptr && i < count; ++i) {
    const bool selected = !args.empty() && args.back() == "--selected";
    const std::optional<std::string> ansi = zel::win::AnsiPathFor(wide[i]);
    const std::optional<std::string> utf8 = zel::win::Utf8PathFor(wide[i]);
    if (!(selected ? utf8 : ansi)) {
      ::LocalFree(wide);
      std::fputs("zelmenu: an argument holds what its code page cannot\n", stderr);
      return 2;
    }
    // With no ANSI form, an ANSI menu file's shell form filters on no extension.
    args.push_back(ansi.value_or(std::string()));
    if (selected) args.back() += '\0' + *utf8;
  }
  ::LocalFree(wide);
  // Bytes out as they are: no CR added before LF.
  _setmode(_fileno(stdout), _O_BINARY);
  zel::menu::Win32MenuFileAccess files;
  const std::string defaultPath = zel::menu::GetMenuFilePath();
  // The plan asks the real system; zelmenu ships beside the shell extension, so its folder
  // stands for the extension's.
  std::optional<zel::launch::Win32LaunchSystem> system;
  const auto systemFor = [&system](zel::TextKind kind) -> zel::launch::LaunchSystem& {
    return system.emplace(kind);
  };
  const std::string moduleFolder = zel::win::ModuleFolder();
#else
  zel::menu::StdMenuFileAccess files;
  const char* appData = std::getenv("APPDATA");
  const std::string defaultPath =
      appData != nullptr && *appData != '\0' ? std::string(appData) + "/Zelvane/Menu.txt" : "";
  const std::string self = argc > 0 ? argv[0] : "";
  const std::string moduleFolder = self.substr(0, self.find_last_of("/\\") + 1);
  zel::zelmenu::PortablePlanSystem system;
  const auto systemFor = [&system](zel::TextKind) -> zel::launch::LaunchSystem& { return system; };
#endif
  std::string out, err;
  int status = 1;
  try {
    status = zel::zelmenu::RunZelmenu(args, out, err, files, defaultPath, systemFor, moduleFolder);
  } catch (const std::exception& error) {
    err += std::string("zelmenu: ") + error.what() + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
