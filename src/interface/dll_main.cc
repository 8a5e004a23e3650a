// Entry point of the Windows DLL. Other platforms need none.
#ifdef _WIN32
#include <windows.h>

// The library keeps no per-thread state, so thread notifications are only cost.
BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
