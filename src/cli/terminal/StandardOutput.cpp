#include "cli/terminal/StandardOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "cli/session/Diagnostics.h"
#include "cli/terminal/ConsoleText.h"

namespace gezhuan {

namespace {

// A stream buffer over a file descriptor that remembers the errno of the
// first write that failed. After a failure it takes nothing more, so the
// stream goes bad and further output costs nothing. A console that takes
// UTF-16 is given the text as UTF-16.
class CheckedBuffer : public std::streambuf {
 public:
  explicit CheckedBuffer(int fd) : m_fd(fd), m_console(IsUnicodeConsole(fd)) {
    setp(m_buffer, m_buffer + sizeof m_buffer);
  }

  int Error() const { return m_error; }

  // Writes what is buffered; false once any write has failed. The start of
  // a character cut off by the buffer's end stays for the next write.
  bool Drain() {
    const char* next = pbase();
    while (m_error == 0 && next < pptr()) {
      if (m_console) {
        const long taken = WriteConsoleText(m_fd, next, static_cast<size_t>(pptr() - next));
        if (taken < 0) m_error = EIO;
        if (taken <= 0) break;
        next += taken;
        continue;
      }
      const ssize_t written = ::write(m_fd, next, static_cast<size_t>(pptr() - next));
      if (written < 0) {
        if (errno == EINTR) continue;
        m_error = errno;
      } else if (written == 0) {
        m_error = EIO;
      } else {
        next += written;
      }
    }
    const int kept = m_error == 0 ? static_cast<int>(pptr() - next) : 0;
    std::memmove(m_buffer, next, static_cast<size_t>(kept));
    setp(m_buffer, m_buffer + sizeof m_buffer);
    pbump(kept);
    return m_error == 0;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

  int sync() override { return Drain() ? 0 : -1; }

 private:
  int m_fd;
  bool m_console;
  int m_error = 0;
  char m_buffer[1 << 16];
};

CheckedBuffer& Buffer() {
  static CheckedBuffer buffer(STDOUT_FILENO);
  return buffer;
}

// Standard error on a console that takes UTF-16; elsewhere std::cerr keeps
// its own buffer, which writes the bytes as they are.
CheckedBuffer& ErrorConsoleBuffer() {
  static CheckedBuffer buffer(STDERR_FILENO);
  return buffer;
}

std::string WriteError(int error) { return std::string("write error: ") + std::strerror(error); }

// std::cout's and std::cerr's own buffers, given back before exit: the
// streams are flushed once more after the buffers above have been destroyed.
std::streambuf* g_original = nullptr;
std::streambuf* g_originalError = nullptr;

// Whether a command has already failed with the write error, so that it is
// said once.
bool g_reported = false;

}  // namespace

void InstallCheckedStandardOutput() {
  g_original = std::cout.rdbuf(&Buffer());
  if (IsUnicodeConsole(STDERR_FILENO)) g_originalError = std::cerr.rdbuf(&ErrorConsoleBuffer());
}

void CheckStandardOutput() {
  if (Buffer().Error() == 0) return;
  g_reported = true;
  Fail(WriteError(Buffer().Error()));
}

std::string FinishStandardOutput() {
  std::cout.flush();
  Buffer().Drain();
  if (g_original) std::cout.rdbuf(g_original);
  g_original = nullptr;
  if (g_originalError) {
    std::cerr.flush();
    std::cerr.rdbuf(g_originalError);
  }
  g_originalError = nullptr;
  // Anything written through C's stdout as well (a library, a parser's
  // help text) must have arrived too.
  int error = Buffer().Error();
  if (std::fflush(stdout) != 0 && error == 0) error = errno;
  if (error == 0 && std::ferror(stdout)) error = EIO;
  // close reports what a file system only notices at the end (NFS, quota).
  if (::close(STDOUT_FILENO) != 0 && errno != EBADF && error == 0) error = errno;
  return error == 0 || g_reported ? std::string() : WriteError(error);
}

}  // namespace gezhuan
