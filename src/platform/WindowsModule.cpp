#include "platform/WindowsModule.h"

namespace qz::platform {

namespace {
// Written under the loader lock before anything can call into the DLL, and
// after the last call has returned: no other synchronisation is needed.
HINSTANCE g_module = nullptr;
}  // namespace

void KeepOwnModule(HINSTANCE module) { g_module = module; }

void ReleaseOwnModule() { g_module = nullptr; }

HINSTANCE OwnModule() { return g_module != nullptr ? g_module : GetModuleHandleW(nullptr); }

}  // namespace qz::platform
