// The system's words for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace zel::win {

// "Access is denied. (error 5)": FormatMessage's text for the code, and the code.
std::string ErrorText(DWORD error);

}  // namespace zel::win
