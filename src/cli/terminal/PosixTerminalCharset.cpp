#include <iconv.h>
#include <langinfo.h>

#include <cerrno>

#include "cli/terminal/TerminalText.h"

namespace gezhuan {

std::string TerminalCharset() {
  const char* charset = nl_langinfo(CODESET);
  return charset ? charset : "";
}

bool CharsetToUtf8(const std::string& charset, const std::string& text, std::string* utf8) {
  iconv_t converter = iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  bool ok = true;
  while (ok) {
    char* next = buffer;
    size_t outLeft = sizeof buffer;
    // With no input left the call flushes the converter's state.
    const size_t done = inLeft > 0 ? iconv(converter, &in, &inLeft, &next, &outLeft)
                                   : iconv(converter, nullptr, nullptr, &next, &outLeft);
    out.append(buffer, static_cast<size_t>(next - buffer));
    if (done == static_cast<size_t>(-1) && errno != E2BIG) ok = false;
    if (done != static_cast<size_t>(-1) && inLeft == 0) break;
  }
  iconv_close(converter);
  if (ok) *utf8 = std::move(out);
  return ok;
}

bool UnicodeArguments(int, std::vector<std::string>*) { return false; }

void PrepareConsoleOutput() {}

}  // namespace gezhuan
