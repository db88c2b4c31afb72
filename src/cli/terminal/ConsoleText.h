// Text for a console window. A Windows console takes UTF-16 (WriteConsoleW):
// the UTF-8 the tool writes, sent to it as bytes, would be read in the
// console's code page and a Chinese path would show as other letters.
// Pipes, files and POSIX terminals take the bytes as they are. One
// implementation per platform (PosixConsoleText.cpp, WindowsConsoleText.cpp).
#pragma once

#include <cstddef>

namespace gezhuan {

// True when file descriptor fd (1 or 2) is a console that takes UTF-16.
bool IsUnicodeConsole(int fd);

// Writes the whole UTF-8 characters at the start of utf8 to the console fd.
// Returns how many bytes it took: the bytes of a character cut off at the
// end stay for the next call. -1 when the console took nothing.
long WriteConsoleText(int fd, const char* utf8, size_t size);

}  // namespace gezhuan
