// A TCP relay on loopback that makes the link to a database server as slow
// as a site's network: every chunk of bytes is held for a fixed delay in
// each direction before it is passed on, in order. It is a delay line, not
// a stop-and-wait: chunks sent while earlier ones are held travel behind
// them, each leaving its delay after it came, so a round trip costs two
// delays and requests sent together still overlap. (Loopback has no netem
// here to do this in the kernel.) POSIX sockets, one reading and one
// sending thread per direction of each connection.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackSockets.h"

namespace qz::testing {

class DelayRelay {
 public:
  // Listens on 127.0.0.1, on a port the kernel chooses, and relays each
  // connection to host:port, delay each way. port() is 0 when that failed.
  DelayRelay(const std::string& host, int port, std::chrono::microseconds delay);
  // Stops listening and cuts every connection.
  ~DelayRelay();
  DelayRelay(const DelayRelay&) = delete;
  DelayRelay& operator=(const DelayRelay&) = delete;

  int port() const { return listener_.port(); }

 private:
  class Link;

  // Starts relaying a connection the listener accepted.
  void StartRelay(int client, int server);
  // Joins the links whose both directions ended; all of them once stopping.
  void JoinFinished(bool all);

  std::chrono::microseconds delay_;
  std::mutex links_mutex_;
  std::vector<std::unique_ptr<Link>> links_;
  RelayListener listener_;  // last: made when all its relays use is
};

}  // namespace qz::testing
