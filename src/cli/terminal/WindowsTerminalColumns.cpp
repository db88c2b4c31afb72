#include <windows.h>

#include "cli/formats/Output.h"

namespace gezhuan {

// The visible window, not the screen buffer, which is often far wider.
// GetConsoleScreenBufferInfo fails when standard output is a pipe or file.
int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace gezhuan
