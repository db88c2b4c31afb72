#include "cli/terminal/DisplayColumns.h"

namespace gezhuan {

// Windows' C library has no wcwidth; the console draws the East Asian wide
// characters two columns wide, as the Unicode blocks say.
int DisplayColumns(const std::u32string& code_points) {
  int width = 0;
  for (char32_t c : code_points) width += c < 0x20 || c == 0x7F ? 0 : (IsEastAsianWide(c) ? 2 : 1);
  return width;
}

}  // namespace gezhuan
