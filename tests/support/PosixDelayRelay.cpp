#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>

#include "support/DelayRelay.h"
#include "support/LoopbackSockets.h"

namespace qz::testing {
namespace {

using Clock = std::chrono::steady_clock;

// One direction of a connection: what was read from `from`, each chunk
// with the time it is due at `to`.
class DelayLine {
 public:
  DelayLine(int from, int to, std::chrono::microseconds delay) : from_(from), to_(to), delay_(delay) {}

  // Reads until the sender closes or the connection breaks; the end is
  // queued like a chunk, so it too arrives a delay late.
  void Read() {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      const ssize_t got = recv(from_, buffer.data(), buffer.size(), 0);
      if (got < 0 && errno == EINTR) continue;
      const Clock::time_point due = Clock::now() + delay_;
      std::lock_guard<std::mutex> hold(mutex_);
      chunks_.push_back(Chunk{due, std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0), got <= 0});
      ready_.notify_one();
      if (got <= 0) return;
    }
  }

  // Passes each chunk on when it is due; at the end closes the sending
  // side of `to`, and on a broken link both sides of `from` too, so that
  // Read ends.
  void Send() {
    // The default timer slack (50 µs) would blur a delay of a few hundred.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
      Chunk chunk;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        ready_.wait(hold, [&] { return !chunks_.empty(); });
        chunk = std::move(chunks_.front());
        chunks_.pop_front();
      }
      std::this_thread::sleep_until(chunk.due);
      if (chunk.end) {
        shutdown(to_, SHUT_WR);
        return;
      }
      if (!SendAll(to_, chunk.bytes.data(), chunk.bytes.size())) {
        shutdown(from_, SHUT_RDWR);
        shutdown(to_, SHUT_RDWR);
        return;
      }
    }
  }

 private:
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
    bool end = false;
  };

  int from_, to_;
  std::chrono::microseconds delay_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Chunk> chunks_;
};

}  // namespace

// Both directions of one relayed connection and their four threads.
class DelayRelay::Link {
 public:
  Link(int client, int server, std::chrono::microseconds delay)
      : client_(client), server_(server), up_(client, server, delay), down_(server, client, delay) {
    threads_.emplace_back([this] { Run([this] { up_.Read(); }); });
    threads_.emplace_back([this] { Run([this] { up_.Send(); }); });
    threads_.emplace_back([this] { Run([this] { down_.Read(); }); });
    threads_.emplace_back([this] { Run([this] { down_.Send(); }); });
  }
  ~Link() {
    Cut();
    for (std::thread& thread : threads_) thread.join();
    close(client_);
    close(server_);
  }
  bool done() const { return running_ == 0; }
  void Cut() {
    shutdown(client_, SHUT_RDWR);
    shutdown(server_, SHUT_RDWR);
  }

 private:
  template <typename Body>
  void Run(Body body) {
    body();
    --running_;
  }

  int client_, server_;
  DelayLine up_, down_;
  std::atomic<int> running_{4};
  std::vector<std::thread> threads_;
};

DelayRelay::DelayRelay(const std::string& host, int port, std::chrono::microseconds delay)
    : delay_(delay), listener_(host, port, [this](int client, int server) { StartRelay(client, server); }) {}

DelayRelay::~DelayRelay() {
  listener_.Stop();
  JoinFinished(true);
}

void DelayRelay::StartRelay(int client, int server) {
  JoinFinished(false);
  std::lock_guard<std::mutex> hold(links_mutex_);
  links_.push_back(std::make_unique<Link>(client, server, delay_));
}

void DelayRelay::JoinFinished(bool all) {
  std::lock_guard<std::mutex> hold(links_mutex_);
  for (auto link = links_.begin(); link != links_.end();) {
    if (all || (*link)->done())
      link = links_.erase(link);  // the Link's destructor cuts and joins
    else
      ++link;
  }
}

}  // namespace qz::testing
