#include <windows.h>

#include "platform/DebuggerOutput.h"

namespace qz::platform {

// The debugger shows each call as it comes; the text is passed exactly as
// given, with no line end of ours, so a debugger or DebugView shows what
// the library wrote.
void WriteToDebugger(const std::wstring& text) { OutputDebugStringW(text.c_str()); }

}  // namespace qz::platform
