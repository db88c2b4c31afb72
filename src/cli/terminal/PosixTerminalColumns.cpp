#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "cli/formats/Output.h"

namespace gezhuan {

int TerminalColumns() {
  if (isatty(STDOUT_FILENO) != 1) return 0;
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = std::getenv("COLUMNS");
  return columns ? std::atoi(columns) : 0;
}

}  // namespace gezhuan
