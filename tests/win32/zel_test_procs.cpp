// DLL procedures for the tests. Each call is logged, "; " between calls, in a list that the
// test takes with TakeLog; the test holds the DLL loaded, so the log outlives the FreeLibrary
// after every call. Copied as zelshell.dll it is a library whose registration fails and that
// has no unregistration export.
#include <windows.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_lock;
std::string g_log;

void Record(const std::string& entry) {
  const std::lock_guard<std::mutex> lock(g_lock);
  g_log += (g_log.empty() ? "" : "; ") + entry;
}

// A text as received, and whether its three trailing zero bytes are there.
std::string Text(const char* text) {
  if (text == nullptr) return "(null)";
  const std::size_t length = std::strlen(text);
  return "[" + std::string(text) + "]" +
         (text[length + 1] == 0 && text[length + 2] == 0 ? " z3" : "");
}

}  // namespace

extern "C" {

void __stdcall Proc0() { Record("Proc0"); }
// A register-sized integer: on 64-bit Windows it shows that integers arrive sign-extended.
void __stdcall ProcWide(INT_PTR value) {
  Record("ProcWide " + std::to_string(static_cast<long long>(value)));
}
void __stdcall Proc3(int first, const char* second, int third) {
  Record("Proc3 " + std::to_string(first) + " " + Text(second) + " " + std::to_string(third));
}
void __stdcall ProcFolder() {
  char folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(MAX_PATH, folder);
  Record("ProcFolder " + std::string(folder));
}
// The caller removes the arguments of a cdecl procedure: called the stdcall way, it leaves
// them on the stack.
void __cdecl ProcCdecl(int first, int second) {
  Record("ProcCdecl " + std::to_string(first) + " " + std::to_string(second));
}

// Returned in st(0) on 32-bit Windows, where a caller that takes nothing never pops it; and
// with the x87 precision cut to 24 bits, as some libraries leave it.
float __stdcall ProcFloat() {
#if defined(__i386__)
  _control87(_PC_24, _MCW_PC);
#endif
  return 1.5f;
}

// Which file of this DLL was loaded, in the caller's variable ZEL_PROC_SELF: copies of it under
// one name in several folders tell apart, each with a log of its own.
void __stdcall ProcSelf() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ProcSelf), &self);
  char path[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(self, path, MAX_PATH);
  ::SetEnvironmentVariableA("ZEL_PROC_SELF", path);
}

// Writes into the file `path` how the system treats the windows the calling thread makes:
// "stretched" from 96 DPI, or "aware" of the DPI.
void __stdcall ProcAwareness(const char* path) {
  using GetContext = HANDLE(WINAPI*)();
  using AwarenessOf = int(WINAPI*)(HANDLE);
  const HMODULE user32 = ::GetModuleHandleA("user32.dll");
  const auto context = reinterpret_cast<GetContext>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
  const auto awareness = reinterpret_cast<AwarenessOf>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  const bool stretched = context == nullptr || awareness == nullptr || awareness(context()) == 0;
  if (std::FILE* out = std::fopen(path, "wb")) {
    std::fputs(stretched ? "stretched" : "aware", out);
    std::fclose(out);
  }
}

// Copies the log into `buffer` (at most `capacity` bytes), empties it, returns the copied length.
int __stdcall TakeLog(char* buffer, int capacity) {
  const std::lock_guard<std::mutex> lock(g_lock);
  const std::string log = g_log.substr(0, static_cast<std::size_t>(capacity));
  g_log.clear();
  std::memcpy(buffer, log.data(), log.size());
  return static_cast<int>(log.size());
}

HRESULT __stdcall DllRegisterServer() { return E_FAIL; }
}
