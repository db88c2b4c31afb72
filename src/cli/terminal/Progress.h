// A progress line for long imports and exports, on standard error and only
// when that is a terminal: "imported 4000/10000 tasks (2100/s)". Redrawn at
// most a few times a second; a pipe or a log file never sees it.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace gezhuan {

class Progress {
 public:
  // verb: what is counted, as in "checked" or "exported"; total 0 if unknown.
  Progress(std::string verb, size_t total);
  ~Progress();  // ends the line

  void Update(size_t done);

 private:
  std::string m_verb;
  size_t m_total;
  bool m_shown;
  bool m_drawn = false;
  std::chrono::steady_clock::time_point m_start, m_last;
};

}  // namespace gezhuan
