// The socket steps the loopback relays of the tests and benchmarks share:
// listening on 127.0.0.1 at a port the kernel chooses (never a guessed
// one), connecting to the server behind, and sending a whole buffer.
// POSIX sockets.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <thread>

namespace qz::testing {

// A listening socket on 127.0.0.1; *port is the port the kernel chose.
// -1 on failure.
int ListenOnLoopback(int* port);

// A connection to host:port with Nagle's algorithm off, so that small
// requests leave at once; -1 on failure.
int ConnectToServer(const std::string& host, int port);

// Accepts a connection on listener, with Nagle's algorithm off; -1 when
// none came.
int AcceptClient(int listener);

// Sends all size bytes; false when the connection broke.
bool SendAll(int fd, const char* data, size_t size);

// What a relay on loopback is built on: listens on 127.0.0.1 at a port the
// kernel chooses and, on a thread of its own, connects each client that
// comes to host:port and hands both sockets to relay (which then owns
// them), until Stop.
class RelayListener {
 public:
  using Relay = std::function<void(int client, int server)>;
  RelayListener(const std::string& host, int port, Relay relay);
  // Stops, and closes the listener.
  ~RelayListener();
  RelayListener(const RelayListener&) = delete;
  RelayListener& operator=(const RelayListener&) = delete;

  // 0 when listening failed.
  int port() const { return port_; }
  // Readable once Stop was called: relays poll it to end their work.
  int stopping() const { return wake_[0]; }
  // Stops accepting; relay is not called after it returns.
  void Stop();

 private:
  void Accept();

  std::string host_;
  int server_port_;
  Relay relay_;
  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::thread acceptor_;
};

}  // namespace qz::testing
