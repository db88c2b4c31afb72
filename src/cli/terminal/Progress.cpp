#include "cli/terminal/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace gezhuan {

Progress::Progress(std::string verb, size_t total)
    : m_verb(std::move(verb)),
      m_total(total),
      m_shown(isatty(STDERR_FILENO) == 1),
      m_start(std::chrono::steady_clock::now()),
      m_last(m_start) {}

Progress::~Progress() {
  if (m_drawn) std::fputc('\n', stderr);
}

void Progress::Update(size_t done) {
  if (!m_shown) return;
  const auto now = std::chrono::steady_clock::now();
  const bool last = m_total > 0 && done == m_total;
  if (!last && now - m_last < std::chrono::milliseconds(200)) return;
  m_last = now;
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  if (m_total > 0)
    std::fprintf(stderr, "\r%s %zu/%zu tasks (%.0f/s)", m_verb.c_str(), done, m_total, rate);
  else
    std::fprintf(stderr, "\r%s %zu tasks (%.0f/s)", m_verb.c_str(), done, rate);
  std::fflush(stderr);
  m_drawn = true;
}

}  // namespace gezhuan
