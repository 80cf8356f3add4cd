// A stand-in zelshell.dll whose registration fails and whose unregistration export is missing:
// the tray program must report both, never claim success.
#include <windows.h>

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return E_FAIL; }
