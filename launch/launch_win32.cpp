#include "launch/launch_win32.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "launch/command_line.h"
#include "menu/path_call_win32.h"
#include "menu/unique_handle_win32.h"

namespace zel::launch {
namespace {

// ExpandEnvironmentStringsA: the documented maximum size of the destination buffer.
constexpr DWORD kExpandCapacity = 32767;
constexpr std::size_t kFormatCapacity = 1024;

// The result of a message box reporting a failure is not examined: the user can only
// acknowledge it.
void ShowError(const char* text, const char* caption) {
  ::MessageBoxA(nullptr, text, caption, MB_ICONHAND);
}

// Makes a folder current again when it goes out of scope, on every path out.
class CurrentFolderRestorer {
 public:
  CurrentFolderRestorer()
      : saved_(PathCall([](char* buffer, DWORD size) {
          return ::GetCurrentDirectoryA(size, buffer);
        })) {}
  ~CurrentFolderRestorer() {
    // Nothing more can be done when the saved folder has gone meanwhile.
    if (!saved_.empty()) ::SetCurrentDirectoryA(saved_.c_str());
  }
  CurrentFolderRestorer(const CurrentFolderRestorer&) = delete;
  CurrentFolderRestorer& operator=(const CurrentFolderRestorer&) = delete;

 private:
  std::string saved_;
};

}  // namespace

std::string ExpandEnvironment(const std::string& text) {
  // The source travels through a counted UNICODE_STRING whose length cannot exceed 32767
  // characters either: a longer source comes back garbled rather than refused (seen under
  // Wine), so it is left as it is without asking.
  if (text.size() >= kExpandCapacity) return text;
  std::vector<char> buffer(kExpandCapacity + 1, '\0');
  // The count includes the terminator; a count above the capacity is the size the expansion
  // would need (the buffer then holds nothing usable), 0 is a failure.
  const DWORD count = ::ExpandEnvironmentStringsA(text.c_str(), buffer.data(), kExpandCapacity);
  if (count == 0 || count > kExpandCapacity) return text;
  // With multi-byte code pages the count need not be the stored length: the terminator decides.
  return std::string(buffer.data(), ::strnlen(buffer.data(), count));
}

std::string GetModulePath(HMODULE module) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    // The count excludes the terminator; a full buffer means the path was cut.
    const DWORD count =
        ::GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (count == 0) return {};
    if (count < buffer.size()) return std::string(buffer.data(), count);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string ShortPath(const std::string& path) {
  const std::string shortForm = PathCall([&](char* buffer, DWORD size) {
    return ::GetShortPathNameA(path.c_str(), buffer, size);
  });
  return shortForm.empty() ? path : shortForm;
}

void RunPrograms(const std::string& programs, const std::string& arguments) {
  static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "the 32-bit start record");
  for (std::size_t k = 0;; ++k) {
    const std::string program = GetListItem(programs, '|', k);
    if (program.empty()) return;

    std::string line = BuildCommandLine(ExpandEnvironment(program), ExpandEnvironment(arguments));
    // CreateProcessA may write into the command line: it gets a modifiable copy.
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // The result is not examined: a program that cannot be started is skipped silently, and
    // PROCESS_INFORMATION then holds no handles.
    ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process);
    // Closed at once, process first: the started program is never waited for.
    UniqueHandleObject processHandle(process.hProcess);
    UniqueHandleObject threadHandle(process.hThread);
  }
}

namespace {

#if defined(__x86_64__)
// A procedure called with kMaxArguments register-sized values: the 64-bit convention has the
// caller reserve and remove the argument area, so a procedure that takes fewer reads the
// first of them and leaves the stack as it found it.
constexpr std::size_t kMaxArguments = 32;

template <std::size_t... I>
void CallWithValues(FARPROC procedure, const std::uintptr_t* values,
                    std::index_sequence<I...>) {
  using Procedure = void(WINAPI*)(decltype(I, std::uintptr_t{})...);
  reinterpret_cast<Procedure>(reinterpret_cast<void*>(procedure))(values[I]...);
}
#endif

}  // namespace

void CallProcedure(FARPROC procedure, const std::vector<std::uintptr_t>& values) {
#if defined(__x86_64__)
  // Zeros after the arguments, as in the 32-bit call: a procedure that takes more reads zeros.
  std::uintptr_t padded[kMaxArguments] = {};
  std::copy_n(values.begin(), std::min(values.size(), kMaxArguments), padded);
  CallWithValues(procedure, padded, std::make_index_sequence<kMaxArguments>());
#elif defined(__i386__)
  const std::uint32_t* data = values.data();
  std::size_t count = values.size();
  // EDI (callee-saved, so a procedure keeps it) holds the stack pointer across the call. Below
  // the arguments lie 16 zero words: a procedure that takes more arguments than are passed
  // reads zeros there. Whatever the procedure removes, ESP comes back from EDI.
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      // Room for the arguments such that the call site is 16-byte aligned.
      "movl %%ecx, %%edx\n\t"
      "shll $2, %%edx\n\t"
      "subl %%edx, %%esp\n\t"
      "andl $-16, %%esp\n\t"
      "addl %%edx, %%esp\n\t"
      // 64 bytes of zeros, right above the arguments (the alignment stays).
      "pushl $0\n\tpushl $0\n\tpushl $0\n\tpushl $0\n\t"
      "pushl $0\n\tpushl $0\n\tpushl $0\n\tpushl $0\n\t"
      "pushl $0\n\tpushl $0\n\tpushl $0\n\tpushl $0\n\t"
      "pushl $0\n\tpushl $0\n\tpushl $0\n\tpushl $0\n\t"
      // The arguments from the last to the first.
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%esi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%eax\n\t"
      "movl %%edi, %%esp\n\t"
      : "+a"(procedure), "+c"(count), "+S"(data)
      :
      : "edx", "edi", "memory", "cc");
#else
#error "DLL procedures are called the x86 or x64 way"
#endif
}

void CallDllProcedure(const std::string& procedureLine) {
  const DllCallPlan plan = PlanDllCall(procedureLine);
  const UniqueHmodule library(::LoadLibraryA(plan.dll.c_str()));
  const FARPROC procedure =
      library ? ::GetProcAddress(library.get(), plan.procedure.c_str()) : nullptr;
  if (procedure == nullptr) {
    ShowError("Error: Unable to load dll or find export", "Error");
    return;  // FreeLibrary through `library`, when it was loaded
  }

  // Every text lives until the procedure has returned.
  std::vector<std::vector<char>> texts;
  texts.reserve(plan.arguments.size());
  // One register-sized value each: integers sign-extended from their 32-bit value (on 32-bit
  // Windows that is the value itself), texts as their address.
  std::vector<std::uintptr_t> values;
  for (const DllArgument& argument : plan.arguments) {
    if (argument.isText) {
      texts.push_back(TextArgumentBytes(argument.text));
      values.push_back(reinterpret_cast<std::uintptr_t>(texts.back().data()));
    } else {
      values.push_back(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(argument.number)));
    }
  }
#if defined(__x86_64__)
  if (values.size() > kMaxArguments) {
    ShowError("Error: Too many arguments for a DLL procedure", "Error");
    return;
  }
#endif
  CallProcedure(procedure, values);
}

std::string FormatArguments(const std::string& format, const std::string& selectedPath) {
  // The path with four zero bytes after it: a wide conversion (%S, %ls) reads it as 16-bit
  // units and meets a zero unit within them whatever the path's length.
  std::vector<char> path(selectedPath.begin(), selectedPath.end());
  path.insert(path.end(), 4, '\0');
  // One value per character of the format: no conversion takes more than one value per
  // character it is written with, so wvsprintfA can never read past the list, and every
  // conversion that takes a value gets the path.
  const std::vector<DWORD_PTR> values(format.size() + 1, reinterpret_cast<DWORD_PTR>(path.data()));

  std::vector<char> buffer(kFormatCapacity + 1, '\0');
  // wvsprintfA writes at most 1024 characters, terminator included; its count is not needed.
  ::wvsprintfA(buffer.data(), format.c_str(),
               reinterpret_cast<va_list>(const_cast<DWORD_PTR*>(values.data())));
  return std::string(buffer.data(), ::strnlen(buffer.data(), kFormatCapacity - 1));
}

void RunShellEntry(const menu::MenuData& entry, std::string& selectedPath, HMODULE module) {
  try {
    // A copy: a DLL procedure with a message loop may see the entry table rebuilt under it.
    const menu::MenuData chosen = entry;
    const CurrentFolderRestorer restorer;
    if (!::SetCurrentDirectoryA(ExtractFolder(selectedPath).c_str())) {
      ShowError("Error setting current directory", "ERROR");
    }
    selectedPath = ShortPath(selectedPath);

    if (chosen.Command == "Add") {
      RunPrograms(ExtractFolder(GetModulePath(module)) + "Editor.exe|", selectedPath);
    } else if (chosen.Command == "DllProc") {
      CallDllProcedure(FormatArguments(chosen.Arguments, selectedPath) + ",");
    } else {
      RunPrograms(chosen.Command + "|", FormatArguments(chosen.Arguments, selectedPath));
    }
  } catch (...) {
    // Nothing may reach the shell; the folder was restored on the way out, and a launch that
    // failed (out of memory) has nothing more to report than a failed start would.
  }
}

}  // namespace zel::launch
