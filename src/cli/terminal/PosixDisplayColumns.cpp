#include <locale.h>

#include <clocale>
#include <cwchar>

#include "cli/terminal/DisplayColumns.h"

namespace gezhuan {
namespace {

// A locale whose wcwidth knows the wide characters whatever the user's
// locale is: in the "C" locale glibc answers -1 for every CJK character.
locale_t WidthLocale() {
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    return l;
  }();
  return locale;
}

}  // namespace

int DisplayColumns(const std::u32string& code_points) {
  const locale_t locale = WidthLocale();
  const locale_t previous = locale ? uselocale(locale) : static_cast<locale_t>(0);
  int width = 0;
  for (char32_t c : code_points) {
    int w = -1;
    if constexpr (sizeof(wchar_t) == 4) w = wcwidth(static_cast<wchar_t>(c));
    if (w < 0) w = c < 0x20 || c == 0x7F ? 0 : (IsEastAsianWide(c) ? 2 : 1);
    width += w;
  }
  if (locale) uselocale(previous);
  return width;
}

}  // namespace gezhuan
