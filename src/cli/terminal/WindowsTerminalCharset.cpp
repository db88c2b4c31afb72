#include <windows.h>
// shellapi.h uses the types of windows.h
#include <shellapi.h>

#include <cstdlib>

#include "cli/terminal/TerminalText.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

// Text typed at a console arrives in the console's input code page (the
// OEM page unless changed: 437 or 850 where the ANSI page is 1252, both 936
// on Chinese systems); text piped in is taken to be in the ANSI page, as
// the programs that write it use. 65001 is UTF-8, which the callers check
// for themselves. (The arguments come as Unicode: UnicodeArguments.)
std::string TerminalCharset() {
  DWORD mode = 0;
  const UINT page = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? GetConsoleCP() : GetACP();
  return page == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(page);
}

bool CharsetToUtf8(const std::string& charset, const std::string& text, std::string* utf8) {
  if (text.empty()) {
    utf8->clear();
    return true;
  }
  const UINT page = charset.rfind("CP", 0) == 0 ? static_cast<UINT>(std::atoi(charset.c_str() + 2)) : CP_ACP;
  const int size = static_cast<int>(text.size());
  // MB_ERR_INVALID_CHARS: a byte that is not of the page fails the call
  // instead of turning into a question mark.
  const int wideSize = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (wideSize <= 0) return false;
  std::wstring wide(static_cast<size_t>(wideSize), L'\0');
  MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), wideSize);
  const int outSize = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (outSize <= 0) return false;
  std::string out(static_cast<size_t>(outSize), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, out.data(), outSize, nullptr, nullptr);
  *utf8 = std::move(out);
  return true;
}

bool UnicodeArguments(int argc, std::vector<std::string>* utf8) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return false;
  const bool same = count == argc;  // else argv was not made from this line
  if (same) {
    utf8->clear();
    for (int i = 0; i < count; ++i) utf8->push_back(ToUtf8(wide[i]));
  }
  LocalFree(wide);
  return same;
}

namespace {
UINT g_savedOutputPage = 0;
void RestoreOutputPage() { SetConsoleOutputCP(g_savedOutputPage); }
}  // namespace

void PrepareConsoleOutput() {
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;  // a pipe or a file: bytes as they are
  g_savedOutputPage = GetConsoleOutputCP();
  if (g_savedOutputPage == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
  std::atexit(RestoreOutputPage);
}

}  // namespace gezhuan
