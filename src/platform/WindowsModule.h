// The module this code was linked into: the library's DLL, or a program
// that took the code in itself (the test programs). A module's resources
// (the settings dialog's template) are found through its handle, so code
// that shows a dialog asks here which module holds it.
#pragma once

#include <windows.h>

namespace qz::platform {

// The DLL's entry point keeps its handle when Windows attaches the DLL to a
// process, and lets it go when Windows detaches it.
void KeepOwnModule(HINSTANCE module);
void ReleaseOwnModule();

// The handle kept at attach; in a program, which has no entry point of
// ours, the program's own module.
HINSTANCE OwnModule();

}  // namespace qz::platform
