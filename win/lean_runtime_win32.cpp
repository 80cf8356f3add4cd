// What the deliverables take from the C++ runtime, without what they never use. Linked into
// the deliverables only, where its definitions take the place of the runtime's own:
// - The default terminate handler prints the uncaught exception's demangled type name: the
//   demangler and the printf behind it weigh more than the rest of the shell extension, and
//   nothing may escape to terminate anyway. This one ends the process at once.
// - The containers' failures (a length beyond max_size, a null string, an index out of range)
//   throw exceptions that carry no std::string: the runtime's own would bring std::logic_error
//   and with it a second, copy-on-write string implementation. A length beyond reach is a
//   failed allocation; the others are faults that the COM methods and window procedures turn
//   into a failure code like any other exception.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

class LibraryFailure final : public std::exception {
 public:
  const char* what() const noexcept override { return "C++ library failure"; }
};

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw LibraryFailure(); }
void __throw_out_of_range(const char*) { throw LibraryFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { throw LibraryFailure(); }
void __throw_invalid_argument(const char*) { throw LibraryFailure(); }
}  // namespace std
