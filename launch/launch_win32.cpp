#include "launch/launch_win32.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "launch/command_line.h"
#include "menu/argument_format.h"
#include "win/code_page_win32.h"
#include "win/paths_win32.h"
#include "win/unique_handle_win32.h"

namespace zel::launch {
namespace {

// ExpandEnvironmentStringsA: the documented maximum size of the destination buffer.
constexpr DWORD kExpandCapacity = 32767;

}  // namespace

std::string ExpandEnvironment(const std::string& text, TextKind kind) {
  const std::wstring wide = win::Widen(text, kind);
  // The source travels through a counted UNICODE_STRING whose length cannot exceed 32767
  // characters either: a longer source comes back garbled rather than refused (seen under
  // Wine), so it is left as it is without asking.
  if (wide.size() >= kExpandCapacity) return text;
  std::vector<wchar_t> buffer(kExpandCapacity + 1, L'\0');
  // The count includes the terminator; a count above the capacity is the size the expansion
  // would need (the buffer then holds nothing usable), 0 is a failure.
  const DWORD count = ::ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), kExpandCapacity);
  if (count == 0 || count > kExpandCapacity) return text;
  return win::Narrow(std::wstring_view(buffer.data(), ::wcsnlen(buffer.data(), count)), kind);
}

namespace {

#if defined(__x86_64__)
// A procedure called with kMaxDllArguments register-sized values: the 64-bit convention has
// the caller reserve and remove the argument area, so a procedure that takes fewer reads the
// first of them and leaves the stack as it found it.
template <std::size_t... I>
void CallWithValues(FARPROC procedure, const std::uintptr_t* values, std::index_sequence<I...>) {
  using Procedure = void(WINAPI*)(decltype(I, std::uintptr_t{})...);
  reinterpret_cast<Procedure>(reinterpret_cast<void*>(procedure))(values[I]...);
}
#endif

}  // namespace

void CallProcedure(FARPROC procedure, const std::vector<std::uintptr_t>& values) {
#if defined(__x86_64__)
  // Zeros after the arguments, as in the 32-bit call: a procedure that takes more reads zeros.
  std::uintptr_t padded[kMaxDllArguments] = {};
  std::copy_n(values.begin(), std::min(values.size(), kMaxDllArguments), padded);
  CallWithValues(procedure, padded, std::make_index_sequence<kMaxDllArguments>());
#elif defined(__i386__)
  const std::uint32_t* data = values.data();
  std::size_t count = values.size();
  // The x87 environment (control word, status with the stack top, tags), saved before the call
  // and loaded after it: a procedure that returns a float leaves it in st(0) for a caller that
  // never pops it (eight such calls fill the stack, and every later load gives NaN), and one
  // may change the precision or the rounding. The registers' contents need no saving: the
  // stack is empty at a call (the i386 calling conventions), and the tags say so again after.
  std::uint8_t fpuEnvironment[28];  // FNSTENV's 32-bit protected-mode layout
  // EDI (callee-saved, so a procedure keeps it) holds the stack pointer across the call. Below
  // the arguments lie 16 zero words: a procedure that takes more arguments than are passed
  // reads zeros there. Whatever the procedure removes, ESP comes back from EDI. The
  // environment is addressed only while ESP is the compiler's own.
  __asm__ volatile(
      "fnstenv %[fpu]\n\t"
      // FNSTENV masks every x87 exception: the procedure gets the caller's control word.
      "fldcw %[fpu]\n\t"
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
      "fldenv %[fpu]\n\t"
      : "+a"(procedure), "+c"(count), "+S"(data), [fpu] "+m"(fpuEnvironment)
      :
      : "edx", "edi", "memory", "cc");
#else
#error "DLL procedures are called the x86 or x64 way"
#endif
}

Object Win32LaunchSystem::Find(const std::string& path) {
  if (localOnly_ && !fixedDrives_.Hold(path)) return Object::None;
  const DWORD attributes = ::GetFileAttributesW(win::Widen(path, kind_).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Object::None;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Object::Folder : Object::File;
}

std::vector<std::string> Win32LaunchSystem::SearchFolders() {
  // The order of CreateProcess's and LoadLibrary's own search, without the current folder.
  // A program folder no ANSI path can name is left out: an empty folder would mean the current.
  std::vector<std::string> folders;
  if (std::string own = win::ModuleFolder(nullptr, kind_); !own.empty())
    folders.push_back(std::move(own));
  // In the entry's code page.
  const auto narrow = [this](auto call) {
    return win::Narrow(win::PathCall<wchar_t>(call), kind_);
  };
  folders.push_back(
      narrow([](wchar_t* buffer, DWORD size) { return ::GetSystemDirectoryW(buffer, size); }));
  folders.push_back(
      narrow([](wchar_t* buffer, DWORD size) { return ::GetWindowsDirectoryW(buffer, size); }));
  const std::string path = narrow(
      [](wchar_t* buffer, DWORD size) { return ::GetEnvironmentVariableW(L"PATH", buffer, size); });
  for (std::string& folder : PathFolders(path, LeadBytes())) folders.push_back(std::move(folder));
  return folders;
}

void Win32LaunchSystem::ShowError(const std::string& text, const std::string& caption) {
  complained_ = true;
  if (quiet_) return;
  // No owner, and the answer is not examined: the user can only acknowledge it.
  // Wide: the text may name objects in any language (a UTF-8 menu file's entries and paths).
  ::MessageBoxW(nullptr, win::Widen(text, kind_).c_str(), win::Widen(caption, kind_).c_str(),
                MB_ICONHAND);
}

void Win32LaunchSystem::StartProgram(const std::string& application, const std::string& commandLine,
                                     const std::string& folder) {
  static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOW) == 68, "the 32-bit start record");
  // CreateProcessW may write into the command line: it gets a modifiable copy.
  std::wstring line = win::Widen(commandLine, kind_);
  const std::wstring file = win::Widen(application, kind_);
  const std::wstring where = win::Widen(folder, kind_);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  // The result is not examined: a program that cannot be started is skipped silently, and
  // PROCESS_INFORMATION then holds no handles. The host's current folder is never changed:
  // the program gets its folder of its own.
  ::CreateProcessW(file.empty() ? nullptr : file.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                   nullptr, where.empty() ? nullptr : where.c_str(), &startup, &process);
  // Closed at once, process first: the started program is never waited for.
  win::UniqueHandleObject processHandle(process.hProcess);
  win::UniqueHandleObject threadHandle(process.hThread);
}

bool Win32LaunchSystem::CallProcedure(const std::string& dll, const DllCallPlan& plan) {
  // A DLL named by its full path finds its own dependencies beside it first
  // (LOAD_WITH_ALTERED_SEARCH_PATH, which is for absolute paths only).
  const DWORD flags =
      ClassifyName(dll, LeadBytes()) == NameKind::Absolute ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  const win::UniqueHmodule library(
      ::LoadLibraryExW(win::Widen(dll, kind_).c_str(), nullptr, flags));
  // The procedure's name and its text arguments stay ANSI: that is the text procedures take.
  const FARPROC procedure =
      library ? ::GetProcAddress(library.get(), win::ToAnsiText(plan.procedure, kind_).c_str())
              : nullptr;
  if (procedure == nullptr) return false;  // FreeLibrary through `library`, when it was loaded

  // Every text lives until the procedure has returned.
  std::vector<std::vector<char>> texts;
  texts.reserve(plan.arguments.size());
  // One register-sized value each: integers sign-extended from their 32-bit value (on 32-bit
  // Windows that is the value itself), texts as their address.
  std::vector<std::uintptr_t> values;
  for (const DllArgument& argument : plan.arguments) {
    if (argument.isText) {
      texts.push_back(TextArgumentBytes(win::ToAnsiText(argument.text, kind_)));
      values.push_back(reinterpret_cast<std::uintptr_t>(texts.back().data()));
    } else {
      values.push_back(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(argument.number)));
    }
  }
  launch::CallProcedure(procedure, values);
  return true;
}

std::string FormatArguments(const std::string& format, const std::string& selectedPath) {
  // The path as 8-bit and as 16-bit text, each ending in four zero bytes: whatever width a
  // conversion reads it in, it meets a zero within them.
  const std::string narrow = selectedPath + std::string(4, '\0');
  const std::wstring wide = win::Widen(selectedPath, TextKind::Ansi) + std::wstring(2, L'\0');
  const auto narrowValue = reinterpret_cast<DWORD_PTR>(narrow.c_str());
  // A value per conversion that takes one, the path in the width the conversion reads; then
  // more of them, one per character of the format: no conversion takes more than one value per
  // character it is written with, so wvsprintfA can never read past the list.
  std::vector<DWORD_PTR> values;
  for (std::size_t pos = format.find('%'); pos != std::string::npos; pos = format.find('%', pos)) {
    const menu::Conversion conversion = menu::ParseConversion(format, pos);
    pos = conversion.end;
    if (conversion.type == menu::Conversion::Type::WideText) {
      values.push_back(reinterpret_cast<DWORD_PTR>(wide.c_str()));
    } else if (conversion.type != menu::Conversion::Type::Percent &&
               conversion.type != menu::Conversion::Type::Unknown) {
      values.push_back(narrowValue);
    }
  }
  values.resize(values.size() + format.size() + 1, narrowValue);

  std::vector<char> buffer(menu::kFormatCapacity + 1, '\0');
  // wvsprintfA writes at most 1024 characters, terminator included; its count is not needed.
  ::wvsprintfA(buffer.data(), format.c_str(), reinterpret_cast<va_list>(values.data()));
  return std::string(buffer.data(), ::strnlen(buffer.data(), menu::kFormatCapacity - 1));
}

}  // namespace zel::launch
