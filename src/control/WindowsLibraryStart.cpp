// The DLL's entry point. The programs that load this library load it as an
// extension of their windowing framework; what such an extension must do at
// load comes down, here, to keeping the module handle through which the
// library finds its own resources (the settings dialog's template), and
// letting it go at unload. The library has no other start-up work and no
// other global state. Keeping a handle cannot fail, so the DLL never refuses
// to load.
#include <windows.h>

#include "platform/WindowsModule.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      qz::platform::KeepOwnModule(module);
      DisableThreadLibraryCalls(module);  // nothing to do per thread
      break;
    case DLL_PROCESS_DETACH:
      qz::platform::ReleaseOwnModule();
      break;
    default:
      break;
  }
  return TRUE;
}
