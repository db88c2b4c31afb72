#include <windows.h>

#include "cli/terminal/EchoOff.h"

namespace gezhuan {

struct EchoOff::Saved {
  HANDLE input = nullptr;
  DWORD mode = 0;
};

// GetConsoleMode fails when standard input is a pipe or file: nothing to do.
EchoOff::EchoOff() {
  auto saved = std::make_unique<Saved>();
  saved->input = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(saved->input, &saved->mode)) return;
  if (SetConsoleMode(saved->input, saved->mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) m_saved = std::move(saved);
}

EchoOff::~EchoOff() {
  if (m_saved) SetConsoleMode(m_saved->input, m_saved->mode);
}

}  // namespace gezhuan
