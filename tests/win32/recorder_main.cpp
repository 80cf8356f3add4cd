// Records how it was started: its full command line and its current folder, one a line, in
// <ZEL_RECORD_DIR>\<own base name>.txt (beside itself when ZEL_RECORD_DIR is not set). Copies
// under other names (a.exe, Editor.exe) record into files of their own. The file appears
// complete: it is written under a temporary name and then renamed.
#include <windows.h>

#include <fstream>
#include <string>

int main() {
  char self[MAX_PATH + 1] = {}, recordDir[MAX_PATH + 1] = {}, current[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string path = self;
  const std::size_t slash = path.find_last_of('\\');
  const std::string name = path.substr(slash + 1, path.find_last_of('.') - slash - 1);
  const DWORD length = ::GetEnvironmentVariableA("ZEL_RECORD_DIR", recordDir, MAX_PATH);
  const std::string folder = length > 0 && length < MAX_PATH ? std::string(recordDir) + "\\" : path.substr(0, slash + 1);
  ::GetCurrentDirectoryA(MAX_PATH, current);
  const std::string target = folder + name + ".txt";
  if (!(std::ofstream(target + ".part", std::ios::binary) << ::GetCommandLineA() << "\n" << current << "\n")) return 1;
  return ::MoveFileExA((target + ".part").c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
