// holder: keeps an installed file in use for the installer test, as Explorer keeps the shell
// extension loaded or another program keeps a file open.
//   holder load|open FILE FLAG
// load: the library is loaded (its image mapped); open: the file is opened for reading,
// sharing neither writes nor deletion. FLAG is created once the file is held; the file is held
// while FLAG exists, for two minutes at most.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const bool load = std::strcmp(argv[1], "load") == 0;
  const HMODULE library = load ? ::LoadLibraryA(argv[2]) : nullptr;
  const HANDLE file = load ? INVALID_HANDLE_VALUE
                           : ::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
  if (library == nullptr && file == INVALID_HANDLE_VALUE) return 1;
  const HANDLE flag = ::CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (flag == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(flag);
  for (int waited = 0; waited < 120000 && ::GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES;
       waited += 50) {
    ::Sleep(50);
  }
  return 0;  // the system closes the file and unloads the library
}
