// What the module's entry points share with the rest of zelshell.
#pragma once

#include <windows.h>

namespace zel::shellext {

// The zelshell module's own handle, recorded by DllMain.
HMODULE ModuleHandle();

}  // namespace zel::shellext
