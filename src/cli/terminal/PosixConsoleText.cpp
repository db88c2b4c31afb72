#include "cli/terminal/ConsoleText.h"

namespace gezhuan {

bool IsUnicodeConsole(int) { return false; }

long WriteConsoleText(int, const char*, size_t) { return -1; }

}  // namespace gezhuan
