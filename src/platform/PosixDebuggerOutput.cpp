#include <cstdio>

#include "platform/DebuggerOutput.h"
#include "platform/TextEncoding.h"

namespace qz::platform {

// Standard error takes UTF-8; the line end is ours, not part of the text.
void WriteToDebugger(const std::wstring& text) {
  std::string line = WideToUtf8(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace qz::platform
