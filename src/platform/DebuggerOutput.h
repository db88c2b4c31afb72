// Where a debug line goes when no host has replaced the sink: the debugger
// output on Windows (WindowsDebuggerOutput.cpp), standard error elsewhere
// (PosixDebuggerOutput.cpp).
#pragma once

#include <string>

namespace qz::platform {

// Writes text as one line of the debugger output.
void WriteToDebugger(const std::wstring& text);

}  // namespace qz::platform
