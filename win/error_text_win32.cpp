#include "win/error_text_win32.h"

#include "win/unique_handle_win32.h"

namespace zel::win {

std::string ErrorText(DWORD error) {
  char* message = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  // FORMAT_MESSAGE_ALLOCATE_BUFFER: the caller frees the text with LocalFree.
  const UniqueHlocal owned(message);
  std::string text = length != 0 && message != nullptr ? std::string(message, length) : "";
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "Unknown error.";
  return text + " (error " + std::to_string(error) + ")";
}

}  // namespace zel::win
