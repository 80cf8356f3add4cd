// Records how it was started: its full command line and its current folder, one a line, in
// <ZEL_RECORD_DIR>\<own base name>.txt (beside itself when ZEL_RECORD_DIR is not set). Copies
// under other names (a.exe, Editor.exe) record into files of their own. The file appears
// complete: it is written under a temporary name and then renamed.
#include <windows.h>

#include <string>

int main() {
  char self[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string name = self;
  const std::size_t slash = name.find_last_of('\\');
  std::string folder = name.substr(0, slash + 1);
  name = name.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);

  char recordDir[MAX_PATH + 1] = {};
  const DWORD length = ::GetEnvironmentVariableA("ZEL_RECORD_DIR", recordDir, MAX_PATH);
  if (length > 0 && length < MAX_PATH) folder = std::string(recordDir) + "\\";

  char current[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(MAX_PATH, current);
  const std::string record = std::string(::GetCommandLineA()) + "\n" + current + "\n";

  const std::string target = folder + name + ".txt";
  const std::string partial = target + ".part";
  HANDLE file = ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  ::CloseHandle(file);
  if (!ok) return 1;
  return ::MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
