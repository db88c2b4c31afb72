#include <termios.h>
#include <unistd.h>

#include "cli/terminal/EchoOff.h"

namespace gezhuan {

struct EchoOff::Saved {
  termios settings{};
};

EchoOff::EchoOff() {
  auto saved = std::make_unique<Saved>();
  if (tcgetattr(STDIN_FILENO, &saved->settings) != 0) return;
  termios quiet = saved->settings;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0) m_saved = std::move(saved);
}

EchoOff::~EchoOff() {
  if (m_saved) tcsetattr(STDIN_FILENO, TCSANOW, &m_saved->settings);
}

}  // namespace gezhuan
