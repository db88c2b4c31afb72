#include "cli/terminal/TerminalText.h"

#include <cstdio>

#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

bool IsUtf8Charset(const std::string& charset) {
  return charset == "UTF-8" || charset == "ANSI_X3.4-1968" || charset == "ASCII" || charset.empty();
}

// The bytes of text with those outside printable ASCII as \xNN, for a
// message about text that could not be read.
std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 40)) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return text.size() > 40 ? out + "..." : out;
}

// The option an argument belongs to: its own name in "--name=value", else
// the option before it, else its place.
std::string ArgumentName(int index, const char* const* argv) {
  const std::string arg = argv[index];
  if (arg.size() > 1 && arg[0] == '-') return arg.substr(0, arg.find('='));
  if (index > 1 && argv[index - 1][0] == '-' && std::string(argv[index - 1]).find('=') == std::string::npos)
    return argv[index - 1];
  return "argument " + std::to_string(index);
}

}  // namespace

bool TerminalTextToUtf8(const std::string& text, std::string* utf8) {
  const std::string charset = TerminalCharset();
  if (IsUtf8Charset(charset)) {
    if (!IsUtf8(text)) return false;
    *utf8 = text;
    return true;
  }
  return CharsetToUtf8(charset, text, utf8);
}

std::string ArgumentsToUtf8(int argc, const char* const* argv, std::vector<std::string>* out) {
  if (UnicodeArguments(argc, out)) return std::string();
  out->assign(argv, argv + argc);
  for (int i = 1; i < argc; ++i) {
    if (TerminalTextToUtf8(argv[i], &(*out)[static_cast<size_t>(i)])) continue;
    const std::string charset = IsUtf8Charset(TerminalCharset()) ? "UTF-8" : TerminalCharset();
    return ArgumentName(i, argv) + ": \"" + Escaped(argv[i]) + "\" is not " + charset +
           " text; give names in the terminal's character set (the locale says " + charset + ")";
  }
  return std::string();
}

}  // namespace gezhuan
