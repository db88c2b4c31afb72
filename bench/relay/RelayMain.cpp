// qz_delay_relay HOST PORT DELAY_MICROSECONDS
//
// Relays connections on 127.0.0.1 to HOST:PORT, holding every chunk
// DELAY_MICROSECONDS in each direction (support/DelayRelay.h), so that a
// benchmark sees a round trip of a site's network. Prints the port it
// listens on, on a line of its own, then relays until SIGTERM or SIGINT.
#include <sched.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/DelayRelay.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s HOST PORT DELAY_MICROSECONDS\n", argv[0]);
    return 2;
  }
  // Blocked before any thread starts, so that every thread inherits the
  // mask and only sigwait below takes them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  // On a loaded machine a woken thread of normal priority waits its turn
  // for milliseconds, which would add to every delay. The relay's threads
  // do next to nothing, so they may run first; where the system refuses
  // (no privilege), the delays are merely less exact.
  sched_param priority{};
  priority.sched_priority = 10;
  if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
    std::fprintf(stderr, "qz_delay_relay: no real-time priority; on a loaded machine the delays run long\n");
  const qz::testing::DelayRelay relay(argv[1], std::atoi(argv[2]), std::chrono::microseconds(std::atol(argv[3])));
  if (relay.port() == 0) {
    std::fprintf(stderr, "qz_delay_relay: cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::printf("%d\n", relay.port());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  return 0;
}
