// The socket steps the loopback relays of the tests and benchmarks share:
// listening on 127.0.0.1 at a port the kernel chooses (never a guessed
// one), connecting to the server behind, and sending a whole buffer.
// POSIX sockets.
#pragma once

#include <cstddef>
#include <string>

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

}  // namespace qz::testing
