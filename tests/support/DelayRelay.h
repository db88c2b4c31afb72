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

  int port() const { return port_; }

 private:
  class Link;

  void Accept();
  // Joins the links whose both directions ended; all of them once stopping.
  void JoinFinished(bool all);

  std::string host_;
  int server_port_ = 0;
  std::chrono::microseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};  // readable once the relay stops
  std::thread acceptor_;
  std::mutex links_mutex_;
  std::vector<std::unique_ptr<Link>> links_;
};

}  // namespace qz::testing
