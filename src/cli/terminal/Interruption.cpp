#include "cli/terminal/Interruption.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace gezhuan {

namespace {

// Shared with the signal handler: lock-free, so that it may read them.
std::atomic<size_t> g_total{0};
std::atomic<size_t> g_added{0};
std::atomic<size_t> g_replaced{0};
std::atomic<bool> g_inStep{false};
std::atomic<bool> g_pending{false};
static_assert(std::atomic<size_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler reads these without locks");

// Appends text to the line (no allocation: the signal handler calls this).
void Append(char* line, size_t* end, size_t capacity, const char* text) {
  for (; *text && *end + 1 < capacity; ++text) line[(*end)++] = *text;
}

void AppendNumber(char* line, size_t* end, size_t capacity, size_t n) {
  char digits[24];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0);
  while (count > 0 && *end + 1 < capacity) line[(*end)++] = digits[--count];
}

// Says what was committed and ends the program. Only async-signal-safe
// calls: write and _exit. A transaction still open is the database's to
// roll back when the connection goes.
[[noreturn]] void ReportAndExit() {
  char line[200];
  size_t end = 0;
  const size_t added = g_added, replaced = g_replaced;
  // A progress line may be standing on the terminal: start a new one.
  Append(line, &end, sizeof line, "\ngezhuan: interrupted: ");
  if (added == 0 && replaced == 0) {
    Append(line, &end, sizeof line, "nothing was imported\n");
  } else {
    AppendNumber(line, &end, sizeof line, added + replaced);
    Append(line, &end, sizeof line, " of ");
    AppendNumber(line, &end, sizeof line, g_total);
    Append(line, &end, sizeof line, " tasks were imported");
    if (replaced > 0) {
      Append(line, &end, sizeof line, " (");
      AppendNumber(line, &end, sizeof line, replaced);
      Append(line, &end, sizeof line, " of them replaced)");
    }
    Append(line, &end, sizeof line, added + replaced < g_total ? "; the rest were not\n" : "\n");
  }
  const ssize_t written = write(STDERR_FILENO, line, end);
  (void)written;
  _exit(130);
}

extern "C" void OnInterrupt(int) {
  if (!g_inStep) ReportAndExit();
  g_pending = true;
  // Some platforms reset the handler on delivery.
  std::signal(SIGINT, OnInterrupt);
}

}  // namespace

ImportInterruption::ImportInterruption() {
  g_total = 0;
  g_added = 0;
  g_replaced = 0;
  g_inStep = false;
  g_pending = false;
  std::signal(SIGINT, OnInterrupt);
}

ImportInterruption::~ImportInterruption() { std::signal(SIGINT, SIG_DFL); }

void ImportInterruption::Planned(size_t total) { g_total = total; }

void ImportInterruption::BeginStep() { g_inStep = true; }

void ImportInterruption::EndStep(size_t added, size_t replaced) {
  g_added = added;
  g_replaced = replaced;
  g_inStep = false;
  if (g_pending) ReportAndExit();
}

}  // namespace gezhuan
