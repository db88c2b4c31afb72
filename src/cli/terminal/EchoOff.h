// Typing that is not shown: the terminal dialog asks for passwords with it.
// One implementation per platform (PosixEchoOff.cpp, WindowsEchoOff.cpp).
#pragma once

#include <memory>

namespace gezhuan {

// Turns the echo of standard input off for as long as it lives, when
// standard input is a terminal; otherwise does nothing.
class EchoOff {
 public:
  EchoOff();
  ~EchoOff();
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  struct Saved;  // the terminal's settings before, to put back
  std::unique_ptr<Saved> m_saved;
};

}  // namespace gezhuan
