#include <windows.h>

#include <string>

#include "cli/terminal/ConsoleText.h"

namespace gezhuan {

namespace {

HANDLE HandleOf(int fd) { return GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE); }

// The length of the longest start of utf8 that ends with a whole character.
size_t WholeCharacters(const char* utf8, size_t size) {
  size_t start = size;
  // A character is at most four bytes: look back for the lead byte of the last one.
  while (start > 0 && size - start < 4 && (static_cast<unsigned char>(utf8[start - 1]) & 0xC0) == 0x80) --start;
  if (start == 0) return size;  // no lead byte: not UTF-8, let the conversion mark it
  const unsigned char lead = static_cast<unsigned char>(utf8[start - 1]);
  const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return size - (start - 1) >= length ? size : start - 1;
}

}  // namespace

bool IsUnicodeConsole(int fd) {
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(fd), &mode) != 0;
}

long WriteConsoleText(int fd, const char* utf8, size_t size) {
  const size_t whole = WholeCharacters(utf8, size);
  if (whole == 0) return 0;
  const int length = static_cast<int>(whole);
  std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8, length, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, length, wide.data(), static_cast<int>(wide.size()));
  const HANDLE console = HandleOf(fd);
  size_t done = 0;
  while (done < wide.size()) {
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(wide.size() - done), &written, nullptr) ||
        written == 0)
      return -1;
    done += written;
  }
  return length;
}

}  // namespace gezhuan
