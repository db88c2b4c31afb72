// The library's one log: the debugger output. On Windows that is
// OutputDebugStringW, elsewhere standard error, one line per text.
// Hosts and tests replace the sink to see exactly the texts written.
#pragma once

#include <functional>
#include <string>

namespace qz::platform {

using DebugSink = std::function<void(const std::wstring&)>;

// Writes text, exactly as given, to the current sink.
void WriteDebugOutput(const std::wstring& text);

// Replaces the sink; an empty function restores standard error.
void SetDebugOutputSink(DebugSink sink);

}  // namespace qz::platform
