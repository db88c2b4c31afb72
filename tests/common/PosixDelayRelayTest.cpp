// The relay the benchmarks put between the library and a server: each
// direction is delayed, bytes keep their order, requests sent back to back
// overlap instead of waiting for each other, and a close passes through.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/DelayRelay.h"
#include "support/LoopbackSockets.h"

namespace qz::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Echoes everything the one connection it accepts sends, until it closes.
class EchoServer {
 public:
  EchoServer() : listener_(ListenOnLoopback(&port_)) {
    thread_ = std::thread([this] {
      const int client = AcceptClient(listener_);
      if (client < 0) return;
      char buffer[4096];
      for (ssize_t got; (got = recv(client, buffer, sizeof buffer, 0)) > 0;)
        if (!SendAll(client, buffer, static_cast<size_t>(got))) break;
      close(client);
    });
  }
  ~EchoServer() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  int port_ = 0;
  int listener_;
  std::thread thread_;
};

// Reads exactly size bytes; fewer when the connection ends first.
std::string ReadExactly(int fd, size_t size) {
  std::string text(size, '\0');
  size_t have = 0;
  while (have < size) {
    const ssize_t got = recv(fd, &text[have], size - have, 0);
    if (got <= 0) break;
    have += static_cast<size_t>(got);
  }
  text.resize(have);
  return text;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(DelayRelayTest, DelaysEachWayKeepsOrderOverlapsRequestsAndPassesTheClose) {
  constexpr int kDelayMs = 50;
  EchoServer echo;
  ASSERT_NE(echo.port(), 0);
  DelayRelay relay("127.0.0.1", echo.port(), milliseconds(kDelayMs));
  ASSERT_NE(relay.port(), 0);
  const int fd = ConnectToServer("127.0.0.1", relay.port());
  ASSERT_GE(fd, 0);

  // One round trip: a delay there and one back.
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(SendAll(fd, "ping", 4));
  EXPECT_EQ(ReadExactly(fd, 4), "ping");
  EXPECT_GE(MillisecondsSince(start), 2 * kDelayMs);

  // Five requests 10 ms apart, none waiting for an answer: they travel
  // together, about 2 delays plus 40 ms in all, where waiting for each
  // answer would take 5 round trips (500 ms).
  std::string sent;
  start = Clock::now();
  for (int i = 0; i < 5; ++i) {
    const std::string request = "request " + std::to_string(i) + ";";
    ASSERT_TRUE(SendAll(fd, request.data(), request.size()));
    sent += request;
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(ReadExactly(fd, sent.size()), sent);
  const double took = MillisecondsSince(start);
  EXPECT_GE(took, 2 * kDelayMs + 40);
  EXPECT_LT(took, 4 * 2 * kDelayMs) << "requests waited for each other";

  // Our close reaches the server, whose close comes back.
  shutdown(fd, SHUT_WR);
  char byte;
  EXPECT_EQ(recv(fd, &byte, 1, 0), 0);
  close(fd);
}

}  // namespace
}  // namespace qz::testing
