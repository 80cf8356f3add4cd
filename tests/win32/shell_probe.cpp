// A DLL procedure for the shell extension's tests: every call of Probe is kept, with the
// current folder and thread at the time, in a list guarded for calls from several threads.
// The test holds the DLL loaded, so the list outlives the FreeLibrary after every call.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

CRITICAL_SECTION g_lock;
std::string g_log;

}  // namespace

extern "C" {

// One line per call: "<id>|<text>|<current folder>|<thread id>\n".
void __stdcall Probe(int id, const char* text) {
  char folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(MAX_PATH, folder);
  const std::string line = std::to_string(id) + "|" + (text ? text : "(null)") + "|" + folder +
                           "|" + std::to_string(::GetCurrentThreadId()) + "\n";
  ::EnterCriticalSection(&g_lock);
  g_log += line;
  ::LeaveCriticalSection(&g_lock);
}

// Copies the log into `buffer` (at most `capacity` bytes with the NUL), empties it and
// returns the log's full length.
int __stdcall TakeProbes(char* buffer, int capacity) {
  ::EnterCriticalSection(&g_lock);
  const std::string log = g_log;
  g_log.clear();
  ::LeaveCriticalSection(&g_lock);
  if (capacity > 0) {
    const std::size_t copied = log.size() < static_cast<std::size_t>(capacity - 1)
                                   ? log.size()
                                   : static_cast<std::size_t>(capacity - 1);
    std::memcpy(buffer, log.data(), copied);
    buffer[copied] = '\0';
  }
  return static_cast<int>(log.size());
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ::InitializeCriticalSection(&g_lock);
  if (reason == DLL_PROCESS_DETACH) ::DeleteCriticalSection(&g_lock);
  return TRUE;
}

}
