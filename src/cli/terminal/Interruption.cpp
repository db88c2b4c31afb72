#include "cli/terminal/Interruption.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace gezhuan {

namespace {

// Read by the signal handler: lock-free, so reading them there is safe.
std::atomic<size_t> g_added{0};
std::atomic<size_t> g_replaced{0};
static_assert(std::atomic<size_t>::is_always_lock_free, "the handler reads these without locks");

// Appends text to the buffer at *end (the handler may call no allocator).
void Append(char* buffer, size_t* end, size_t capacity, const char* text) {
  for (; *text && *end + 1 < capacity; ++text) buffer[(*end)++] = *text;
}

void AppendNumber(char* buffer, size_t* end, size_t capacity, size_t n) {
  char digits[24];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0);
  while (count > 0 && *end + 1 < capacity) buffer[(*end)++] = digits[--count];
}

// Only async-signal-safe calls here: write and _exit. The commit of a step
// in flight is the database's to finish or undo; the counts are those the
// program saw committed. (A commit that completes in the instant between
// the database's answer and the count being raised is not counted.)
extern "C" void ReportInterruption(int) {
  char line[200];
  size_t end = 0;
  const size_t added = g_added.load(), replaced = g_replaced.load();
  // A progress line may be standing on the terminal: start a new one.
  Append(line, &end, sizeof line, "\ngezhuan: interrupted: ");
  if (added == 0 && replaced == 0) {
    Append(line, &end, sizeof line, "nothing was imported\n");
  } else {
    AppendNumber(line, &end, sizeof line, added);
    Append(line, &end, sizeof line, added == 1 ? " task was imported" : " tasks were imported");
    if (replaced > 0) {
      Append(line, &end, sizeof line, " and ");
      AppendNumber(line, &end, sizeof line, replaced);
      Append(line, &end, sizeof line, " replaced");
    }
    Append(line, &end, sizeof line, " before the interruption; the rest were not\n");
  }
  const ssize_t ignored = write(STDERR_FILENO, line, end);
  (void)ignored;
  _exit(130);
}

}  // namespace

ImportInterruption::ImportInterruption() {
  g_added = 0;
  g_replaced = 0;
  std::signal(SIGINT, ReportInterruption);
}

ImportInterruption::~ImportInterruption() { std::signal(SIGINT, SIG_DFL); }

void ImportInterruption::Committed(size_t added, size_t replaced) {
  g_added = added;
  g_replaced = replaced;
}

}  // namespace gezhuan
