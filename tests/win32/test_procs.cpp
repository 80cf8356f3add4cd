// DLL procedures for the launch tests. Each appends what it received to the environment
// variable ZEL_PROC_LOG of the calling process ("; " between calls), which outlives the
// DLL's unloading after every call.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

void Record(const std::string& entry) {
  char old[4096] = {};
  const DWORD length = ::GetEnvironmentVariableA("ZEL_PROC_LOG", old, sizeof old);
  std::string log = (length > 0 && length < sizeof old) ? std::string(old) + "; " : "";
  log += entry;
  ::SetEnvironmentVariableA("ZEL_PROC_LOG", log.c_str());
}

// A text as received, and whether its three trailing zero bytes are there.
std::string Text(const char* text) {
  if (text == nullptr) return "(null)";
  const std::size_t length = std::strlen(text);
  const bool threeZeros = text[length + 1] == 0 && text[length + 2] == 0;
  return "[" + std::string(text) + "]" + (threeZeros ? " z3" : " z1");
}

}  // namespace

extern "C" {

void __stdcall Proc0() { Record("Proc0"); }

void __stdcall ProcInt(int value) { Record("ProcInt " + std::to_string(value)); }

// A register-sized integer: on 64-bit Windows it shows that integers arrive sign-extended.
void __stdcall ProcWide(INT_PTR value) { Record("ProcWide " + std::to_string(static_cast<long long>(value))); }

void __stdcall ProcText(const char* text) { Record("ProcText " + Text(text)); }

void __stdcall Proc3(int first, const char* second, int third) {
  Record("Proc3 " + std::to_string(first) + " " + Text(second) + " " + std::to_string(third));
}

void __stdcall ProcFolder() {
  char folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(MAX_PATH, folder);
  Record(std::string("ProcFolder ") + folder);
}

// Which file of this DLL was loaded: copies of it under one name in several folders tell apart.
void __stdcall ProcSelf() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ProcSelf), &self);
  char path[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(self, path, MAX_PATH);
  Record(std::string("ProcSelf ") + path);
}

// The caller removes the arguments of a cdecl procedure: called the stdcall way, it leaves
// them on the stack.
void __cdecl ProcCdecl(int first, int second) {
  Record("ProcCdecl " + std::to_string(first) + " " + std::to_string(second));
}

}
