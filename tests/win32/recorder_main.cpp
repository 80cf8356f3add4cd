// Records how it was started: its full command line and its current folder (in UTF-8, as the
// system holds them), one a line, in
// <ZEL_RECORD_DIR>\<own base name>.txt (beside itself when ZEL_RECORD_DIR is not set). Copies
// under other names (a.exe, Editor.exe) record into files of their own. The file appears
// complete: it is written under a temporary name and then renamed. Exits with the number in
// ZEL_RECORD_EXIT (0 when it is not set), or 1 when it could not record.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  static char utf8[4 * 32768];  // a command line holds at most 32767 characters
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
  return utf8;
}

}  // namespace

int main() {
  wchar_t self[MAX_PATH + 1] = {}, recordDir[MAX_PATH + 1] = {}, current[MAX_PATH + 1] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path = self;
  const std::size_t slash = path.find_last_of(L'\\');
  const std::wstring name = path.substr(slash + 1, path.find_last_of(L'.') - slash - 1);
  const DWORD length = ::GetEnvironmentVariableW(L"ZEL_RECORD_DIR", recordDir, MAX_PATH);
  const std::wstring folder =
      length > 0 && length < MAX_PATH ? std::wstring(recordDir) + L"\\" : path.substr(0, slash + 1);
  ::GetCurrentDirectoryW(MAX_PATH, current);
  const std::wstring target = folder + name + L".txt", part = target + L".part";
  const HANDLE file =
      ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string record = Utf8(::GetCommandLineW()) + "\n" + Utf8(current) + "\n";
  DWORD written = 0;
  const bool ok =
      file != INVALID_HANDLE_VALUE &&
      ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (!ok || !::MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return 1;
  wchar_t exitCode[16] = {};
  return ::GetEnvironmentVariableW(L"ZEL_RECORD_EXIT", exitCode, 16) > 0 ? _wtoi(exitCode) : 0;
}
