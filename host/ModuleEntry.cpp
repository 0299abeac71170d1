// The DLL entry routine on Windows. The registration record is built by the static
// initialisers, which the C runtime runs before this routine; all that is left here is to tell
// Windows the module keeps no per-thread state, so the host's threads need not call in.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
